#include "gui/KeyboardHook.h"

#include "gui/Button.h"
#include "gui/Control.h"
#include "gui/Form.h"
#include "gui/Frame.h"
#include "gui/Menu.h"

namespace gui {

namespace {
template <typename Match> TControl* FindControl(const TComponentOwner& owner, const Match& match) {
    for (TControl* control : owner.ComponentsOf<TControl>()) {
        if (match(*control)) return control;
        if (auto* frame = dynamic_cast<TFrame*>(control))
            if (TControl* found = FindControl(*frame, match)) return found;
    }
    return nullptr;
}

bool Usable(const TControl& control) {
    return IsWindowVisible(control.Handle()) && IsWindowEnabled(control.Handle());
}

TButton* DialogButton(const TForm& form, bool isDefault) {
    return static_cast<TButton*>(FindControl(form, [isDefault](TControl& control) {
        auto* button = dynamic_cast<TButton*>(&control);
        return button && Usable(*button) && (isDefault ? button->Default() : button->Cancel);
    }));
}

bool DialogKey(TForm& form, const MSG& message, WORD key, TShiftState shift) {
    const LRESULT code = SendMessageA(message.hwnd, WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(&message));
    if (code & DLGC_WANTALLKEYS) return false;
    switch (key) {
    case VK_TAB: {
        if ((code & DLGC_WANTTAB) || (shift & (ssCtrl | ssAlt))) return false;
        HWND next = GetNextDlgTabItem(form.Handle(), message.hwnd, (shift & ssShift) != 0);
        if (next) ::SetFocus(next);
        return true;
    }
    case VK_RETURN:
    case VK_ESCAPE:
        if (TButton* button = DialogButton(form, key == VK_RETURN)) {
            button->Click();
            return true;
        }
        return false;
    default:
        return false;
    }
}

bool Mnemonic(TForm& form, WORD key) {
    if (!((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))) return false;
    TControl* target = FindControl(form, [key](TControl& control) {
        return Usable(control) && control.AcceptsMnemonic(static_cast<char>(key));
    });
    if (!target) return false;
    target->ActivateMnemonic();
    return true;
}
} // namespace

bool PreTranslateKeyboard(MSG& message) {
    if (message.message != WM_KEYDOWN && message.message != WM_KEYUP && message.message != WM_SYSKEYDOWN &&
        message.message != WM_SYSKEYUP)
        return false;
    TForm* form = TForm::FromHandle(GetAncestor(message.hwnd, GA_ROOT));
    if (!form) return false;
    WORD key = static_cast<WORD>(message.wParam);
    const TShiftState shift = KeyboardShiftState();

    // A key released while Alt is down arrives as a system key.
    if (message.message == WM_KEYUP || message.message == WM_SYSKEYUP) {
        if (form->KeyPreview && form->OnKeyUp) {
            form->OnKeyUp(key, shift);
            if (key == 0) return true;
            message.wParam = key;
        }
        return false;
    }
    if (form->KeyPreview && form->OnKeyDown) {
        form->OnKeyDown(key, shift);
        if (key == 0) return true;
        message.wParam = key;
    }
    if ((shift & (ssCtrl | ssAlt)) && form->Menu() && form->Menu()->DispatchShortCut(key, shift)) return true;
    if (message.message == WM_KEYDOWN) return DialogKey(*form, message, key, shift);
    return (shift & ssAlt) && Mnemonic(*form, key);
}

} // namespace gui
