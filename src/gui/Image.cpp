#include "gui/Image.h"

namespace gui {

TImage::TImage(TParent parent, std::string name, TBounds bounds) : TControl(parent, std::move(name)) {
    CreateHandle("STATIC", SS_ICON | SS_CENTERIMAGE | SS_NOTIFY | WS_VISIBLE, 0, {}, bounds);
}

namespace {
void SetImageStyle(HWND window, DWORD type) {
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    SetWindowLongA(window, GWL_STYLE, (style & ~SS_TYPEMASK) | static_cast<LONG>(type));
}
} // namespace

void TImage::SetIcon(HICON icon) {
    SetImageStyle(Handle(), SS_ICON);
    SendMessageA(Handle(), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

void TImage::SetBitmap(HBITMAP bitmap) {
    SetImageStyle(Handle(), SS_BITMAP);
    SendMessageA(Handle(), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
}

} // namespace gui
