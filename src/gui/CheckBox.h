#pragma once
// Check boxes and radio buttons. Checked is read from the button itself. Radio buttons form
// groups as the system does: a button made with startsGroup opens a group that runs until
// the next such button on the same parent; checking one from code unchecks the others.

#include "gui/Control.h"

namespace gui {

class TCheckBox : public TControl {
  public:
    TCheckBox(TParent parent, std::string name, TBounds bounds, const std::string& caption);

    std::string Caption() const { return TextOfWindow(); }
    void SetCaption(const std::string& caption) { SetTextOfWindow(caption); }
    bool Checked() const { return SendMessageA(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    virtual void SetChecked(bool checked);

    bool AcceptsMnemonic(char key) const override { return CaptionHasMnemonic(Caption(), key); }
    void ActivateMnemonic() override;

  protected:
    TCheckBox(TParent parent, std::string name, TBounds bounds, const std::string& caption, DWORD style);
    bool Notified(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

class TRadioButton : public TCheckBox {
  public:
    TRadioButton(TParent parent, std::string name, TBounds bounds, const std::string& caption,
                 bool startsGroup = false);
    void SetChecked(bool checked) override;
};

} // namespace gui
