#pragma once
// Push buttons. A click, whether the user's or the program's, sets the form's modal result
// when the button has one and then runs the linked action or OnClick. Default and Cancel
// buttons answer Enter and Esc through the keyboard hook.

#include "gui/Control.h"

namespace gui {

class TAction;

class TButton : public TControl {
  public:
    TButton(TParent parent, std::string name, TBounds bounds, const std::string& caption);
    ~TButton() override;

    std::string Caption() const { return TextOfWindow(); }
    void SetCaption(const std::string& caption) { SetTextOfWindow(caption); }
    int ModalResult = 0;
    bool Default() const { return (GetWindowLongA(Handle(), GWL_STYLE) & BS_DEFPUSHBUTTON) != 0; }
    void SetDefault(bool isDefault);
    bool Cancel = false;

    void SetAction(TAction* action);
    TAction* Action() const { return action_; }
    void Click();

    bool AcceptsMnemonic(char key) const override { return CaptionHasMnemonic(Caption(), key); }
    void ActivateMnemonic() override { Click(); }

  protected:
    TButton(TParent parent, std::string name, TBounds bounds, const std::string& caption, DWORD style);
    bool Notified(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

  private:
    TAction* action_ = nullptr;
};

// A flat button outside the tab order, as on tool bars.
class TSpeedButton : public TButton {
  public:
    TSpeedButton(TParent parent, std::string name, TBounds bounds, const std::string& caption);
};

} // namespace gui
