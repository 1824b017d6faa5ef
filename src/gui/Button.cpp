#include "gui/Button.h"

#include "gui/Action.h"
#include "gui/Form.h"

namespace gui {

TButton::TButton(TParent parent, std::string name, TBounds bounds, const std::string& caption)
    : TButton(parent, std::move(name), bounds, caption, BS_PUSHBUTTON | WS_TABSTOP) {}

TButton::TButton(TParent parent, std::string name, TBounds bounds, const std::string& caption, DWORD style)
    : TControl(parent, std::move(name)) {
    CreateHandle("BUTTON", style | WS_VISIBLE, 0, caption, bounds);
}

TButton::~TButton() {
    if (action_) action_->Unlink(this);
}

void TButton::SetDefault(bool isDefault) {
    SendMessageA(Handle(), BM_SETSTYLE, isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::SetAction(TAction* action) {
    if (action_) action_->Unlink(this);
    action_ = action;
    if (action_)
        action_->Link(this, [this](TAction* linked) {
            if (!linked) {
                action_ = nullptr;
                return;
            }
            SetCaption(linked->Caption());
            SetEnabled(linked->Enabled());
            SetVisible(linked->Visible());
            SetHint(linked->Hint());
        });
}

void TButton::Click() {
    if (!Enabled()) return;
    if (ModalResult != mrNone) Form().ModalResult = ModalResult;
    if (action_)
        action_->Execute();
    else if (OnClick)
        OnClick();
}

bool TButton::Notified(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return false;
    Click();
    result = 0;
    return true;
}

TSpeedButton::TSpeedButton(TParent parent, std::string name, TBounds bounds, const std::string& caption)
    : TButton(parent, std::move(name), bounds, caption, BS_PUSHBUTTON | BS_FLAT) {}

} // namespace gui
