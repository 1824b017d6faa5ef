#include "gui/ListBox.h"

#include <algorithm>

namespace gui {

TListBox::TListBox(TParent parent, std::string name, TBounds bounds, bool multiSelect, bool sorted)
    : TControl(parent, std::move(name)), items_(handleRef_, listBoxMessages), multiSelect_(multiSelect) {
    CreateHandle("LISTBOX",
                 LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | WS_VISIBLE |
                     (multiSelect ? LBS_EXTENDEDSEL : 0u),
                 WS_EX_CLIENTEDGE, {}, bounds);
    handleRef_ = Handle();
    items_.SetSorted(sorted);
}

void TListBox::WidenFor(const std::vector<std::string>& texts) {
    HDC dc = GetDC(Handle());
    if (!dc) return;
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(Handle(), WM_GETFONT, 0, 0)));
    int widest = scrollWidth_;
    for (const std::string& text : texts) {
        SIZE size{};
        if (GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size))
            widest = std::max(widest, static_cast<int>(size.cx) + 8);
    }
    SelectObject(dc, old);
    ReleaseDC(Handle(), dc);
    if (widest == scrollWidth_) return;
    scrollWidth_ = widest;
    SendMessageA(Handle(), LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest), 0);
}

void TListBox::ResetWidth() {
    scrollWidth_ = 0;
    SendMessageA(Handle(), LB_SETHORIZONTALEXTENT, 0, 0);
}

int TListBox::ItemIndex() const {
    const LRESULT index = SendMessageA(Handle(), multiSelect_ ? LB_GETCARETINDEX : LB_GETCURSEL, 0, 0);
    if (index < 0 || index >= items_.Count()) return -1;
    return static_cast<int>(index);
}

void TListBox::SetItemIndex(int index) {
    if (multiSelect_) {
        ClearSelection();
        if (index >= 0) SetSelected(index, true);
        SendMessageA(Handle(), LB_SETCARETINDEX, static_cast<WPARAM>(index), FALSE);
    } else {
        SendMessageA(Handle(), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
}

void TListBox::SetSelected(int index, bool selected) {
    if (multiSelect_)
        SendMessageA(Handle(), LB_SETSEL, selected, index);
    else if (selected)
        SendMessageA(Handle(), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    else if (ItemIndex() == index)
        SendMessageA(Handle(), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

int TListBox::SelCount() const {
    if (multiSelect_) return static_cast<int>(SendMessageA(Handle(), LB_GETSELCOUNT, 0, 0));
    return ItemIndex() >= 0 ? 1 : 0;
}

void TListBox::ClearSelection() {
    if (multiSelect_)
        SendMessageA(Handle(), LB_SETSEL, FALSE, -1);
    else
        SendMessageA(Handle(), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

int TListBox::ItemAtPos(int x, int y) const {
    const LRESULT hit = SendMessageA(Handle(), LB_ITEMFROMPOINT, 0, MAKELPARAM(x, y));
    // The high word is set when the point lies outside every item.
    if (HIWORD(hit)) return -1;
    return static_cast<int>(LOWORD(hit));
}

bool TListBox::Notified(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message != WM_COMMAND || HIWORD(wParam) != LBN_SELCHANGE) return false;
    if (OnChange) OnChange();
    result = 0;
    return true;
}

} // namespace gui
