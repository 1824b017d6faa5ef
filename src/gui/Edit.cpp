#include "gui/Edit.h"

namespace gui {

TEdit::TEdit(TParent parent, std::string name, TBounds bounds, const std::string& text)
    : TEdit(parent, std::move(name), bounds, text, ES_AUTOHSCROLL) {}

TEdit::TEdit(TParent parent, std::string name, TBounds bounds, const std::string& text, DWORD style)
    : TControl(parent, std::move(name)) {
    CreateHandle("EDIT", style | WS_TABSTOP | WS_VISIBLE, WS_EX_CLIENTEDGE, text, bounds);
}

void TEdit::SetPasswordChar(char mask) {
    SendMessageA(Handle(), EM_SETPASSWORDCHAR, static_cast<unsigned char>(mask), 0);
    InvalidateRect(Handle(), nullptr, TRUE);
}

bool TEdit::Notified(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message != WM_COMMAND || HIWORD(wParam) != EN_CHANGE) return false;
    if (!settingProperty_ && OnChange) OnChange();
    result = 0;
    return true;
}

} // namespace gui
