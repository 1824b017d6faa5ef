#include "gui/CheckBox.h"

namespace gui {

TCheckBox::TCheckBox(TParent parent, std::string name, TBounds bounds, const std::string& caption)
    : TCheckBox(parent, std::move(name), bounds, caption, BS_AUTOCHECKBOX | WS_TABSTOP) {}

TCheckBox::TCheckBox(TParent parent, std::string name, TBounds bounds, const std::string& caption,
                     DWORD style)
    : TControl(parent, std::move(name)) {
    // BS_NOTIFY: focus changes are reported, which OnExit relies on.
    CreateHandle("BUTTON", style | BS_NOTIFY | WS_VISIBLE, 0, caption, bounds);
}

void TCheckBox::SetChecked(bool checked) {
    SendMessageA(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TCheckBox::ActivateMnemonic() {
    SetFocus();
    SendMessageA(Handle(), BM_CLICK, 0, 0);
}

bool TCheckBox::Notified(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return false;
    if (OnClick) OnClick();
    result = 0;
    return true;
}

TRadioButton::TRadioButton(TParent parent, std::string name, TBounds bounds, const std::string& caption,
                           bool startsGroup)
    : TCheckBox(parent, std::move(name), bounds, caption,
                BS_AUTORADIOBUTTON | (startsGroup ? WS_GROUP | WS_TABSTOP : 0u)) {}

namespace {
bool IsRadio(HWND window) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    return lstrcmpiA(className, "BUTTON") == 0 &&
           (GetWindowLongA(window, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON;
}
bool StartsGroup(HWND window) {
    return (GetWindowLongA(window, GWL_STYLE) & WS_GROUP) != 0;
}
} // namespace

void TRadioButton::SetChecked(bool checked) {
    TCheckBox::SetChecked(checked);
    if (!checked) return;
    // Back to the start of the group, then across it.
    HWND first = Handle();
    while (!StartsGroup(first)) {
        HWND previous = GetWindow(first, GW_HWNDPREV);
        if (!previous) break;
        first = previous;
    }
    for (HWND window = first; window; window = GetWindow(window, GW_HWNDNEXT)) {
        if (window != first && StartsGroup(window)) break;
        if (window != Handle() && IsRadio(window)) SendMessageA(window, BM_SETCHECK, BST_UNCHECKED, 0);
    }
}

} // namespace gui
