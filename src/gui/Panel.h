#pragma once
// Containers: a panel (own window class, raised bevel, optional centred caption) and a group
// box. Both pass their children's notifications on, so controls work the same inside them.

#include "gui/Control.h"

namespace gui {

class TPanel : public TControl {
  public:
    TPanel(TParent parent, std::string name, TBounds bounds, const std::string& caption = {},
           bool bevel = true);

    std::string Caption() const { return TextOfWindow(); }
    void SetCaption(const std::string& caption);
    // Width never goes below it, whoever sets the bounds (a splitter, a resize).
    int MinWidth = 0;

  protected:
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void Paint(HDC dc);
    bool bevel_;
};

class TGroupBox : public TControl {
  public:
    TGroupBox(TParent parent, std::string name, TBounds bounds, const std::string& caption);
    std::string Caption() const { return TextOfWindow(); }
    void SetCaption(const std::string& caption) { SetTextOfWindow(caption); }

  protected:
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

} // namespace gui
