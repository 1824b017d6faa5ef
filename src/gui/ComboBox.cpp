#include "gui/ComboBox.h"

namespace gui {

TComboBox::TComboBox(TParent parent, std::string name, TBounds bounds, bool editable, int dropDownHeight)
    : TControl(parent, std::move(name)), items_(handleRef_, comboBoxMessages), editable_(editable) {
    focusFromNotification_ = true;
    // The window's height includes the dropped list.
    bounds.height += dropDownHeight;
    CreateHandle("COMBOBOX",
                 (editable ? CBS_DROPDOWN | CBS_AUTOHSCROLL : CBS_DROPDOWNLIST) | WS_VSCROLL | WS_TABSTOP |
                     WS_VISIBLE,
                 0, {}, bounds);
    handleRef_ = Handle();
}

void TComboBox::SetText(const std::string& text) {
    if (editable_) {
        SetTextOfWindow(text);
        return;
    }
    SetItemIndex(items_.IndexOf(text));
}

bool TComboBox::Notified(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message != WM_COMMAND) return false;
    result = 0;
    switch (HIWORD(wParam)) {
    case CBN_SELCHANGE: {
        // An editable box updates its text only after this notification: the handler reads the
        // picked item, not the text it replaces.
        const int index = ItemIndex();
        if (editable_ && index >= 0 && index < items_.Count()) SetTextOfWindow(items_[index]);
        if (!settingProperty_ && OnChange) OnChange();
        return true;
    }
    case CBN_EDITCHANGE:
        if (!settingProperty_ && OnChange) OnChange();
        return true;
    case CBN_DROPDOWN:
        if (OnDropDown) OnDropDown();
        return true;
    case CBN_CLOSEUP:
        if (OnCloseUp) OnCloseUp();
        return true;
    case CBN_SETFOCUS:
        if (OnEnter) OnEnter();
        return true;
    case CBN_KILLFOCUS:
        if (OnExit) OnExit();
        return true;
    default:
        return false;
    }
}

} // namespace gui
