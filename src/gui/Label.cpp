#include "gui/Label.h"

namespace gui {

namespace {
DWORD AlignmentStyle(TAlignment alignment) {
    switch (alignment) {
    case TAlignment::taCenter:
        return SS_CENTER;
    case TAlignment::taRightJustify:
        return SS_RIGHT;
    case TAlignment::taLeftJustify:
        break;
    }
    return SS_LEFT;
}
} // namespace

TLabel::TLabel(TParent parent, std::string name, TBounds bounds, const std::string& caption,
               TAlignment alignment)
    : TLabel(parent, std::move(name), bounds, caption, AlignmentStyle(alignment)) {}

TLabel::TLabel(TParent parent, std::string name, TBounds bounds, const std::string& caption, DWORD style)
    : TControl(parent, std::move(name)) {
    CreateHandle("STATIC", style | SS_NOTIFY | WS_VISIBLE, 0, caption, bounds);
}

void TLabel::SetCaption(const std::string& caption) {
    SetTextOfWindow(caption);
    // A static with a transparent background keeps the old glyphs unless its parent repaints.
    RECT rect{};
    GetWindowRect(Handle(), &rect);
    MapWindowPoints(nullptr, GetParent(Handle()), reinterpret_cast<POINT*>(&rect), 2);
    InvalidateRect(GetParent(Handle()), &rect, TRUE);
}

void TLabel::ActivateMnemonic() {
    if (FocusControl && FocusControl->CanFocus()) FocusControl->SetFocus();
}

bool TLabel::Notified(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message != WM_COMMAND || HIWORD(wParam) != STN_CLICKED) return false;
    if (OnClick) OnClick();
    result = 0;
    return true;
}

TStaticText::TStaticText(TParent parent, std::string name, TBounds bounds, const std::string& caption,
                         TAlignment alignment)
    : TLabel(parent, std::move(name), bounds, caption, AlignmentStyle(alignment) | SS_SUNKEN) {}

} // namespace gui
