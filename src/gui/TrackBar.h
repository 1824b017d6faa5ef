#pragma once
// Slider. OnChange runs when the user moves the thumb to a new position, not when code sets it.

#include "gui/Control.h"

#include <commctrl.h>

namespace gui {

class TTrackBar : public TControl {
  public:
    TTrackBar(TParent parent, std::string name, TBounds bounds);

    int Min() const { return static_cast<int>(SendMessageA(Handle(), TBM_GETRANGEMIN, 0, 0)); }
    int Max() const { return static_cast<int>(SendMessageA(Handle(), TBM_GETRANGEMAX, 0, 0)); }
    void SetRange(int min, int max);
    int Position() const { return static_cast<int>(SendMessageA(Handle(), TBM_GETPOS, 0, 0)); }
    void SetPosition(int position);

    std::function<void()> OnChange;

  protected:
    bool Notified(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  private:
    int lastPosition_ = 0;
};

} // namespace gui
