#pragma once
// Multi-line text for logs and notes. The text limit is raised well past the system's
// 32K default, since a detail log grows for the whole run; with MaxLines set, adding a line
// drops the oldest ones so the control never grows without bound.

#include "gui/Edit.h"

#include <string>

namespace gui {

class TMemo : public TEdit {
  public:
    TMemo(TParent parent, std::string name, TBounds bounds, bool readOnly = true);

    // Lines: no trailing line end is kept, so an empty memo has none.
    int LineCount() const;
    std::string Line(int index) const;
    void AddLine(const std::string& line);
    void Clear() { SetText({}); }
    // 0: no cap.
    int MaxLines = 0;
    size_t TextLimit() const { return static_cast<size_t>(SendMessageA(Handle(), EM_GETLIMITTEXT, 0, 0)); }

    static constexpr size_t textLimit = 0x7FFFFFFE;

  private:
    void DropOldestLines(int count);
};

} // namespace gui
