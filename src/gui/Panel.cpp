#include "gui/Panel.h"

namespace gui {

TPanel::TPanel(TParent parent, std::string name, TBounds bounds, const std::string& caption, bool bevel)
    : TControl(parent, std::move(name)), bevel_(bevel) {
    RegisterControlClass("TPanel", CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    CreateHandle("TPanel", WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, caption,
                 bounds);
}

void TPanel::SetCaption(const std::string& caption) {
    SetTextOfWindow(caption);
    InvalidateRect(Handle(), nullptr, TRUE);
}

void TPanel::Paint(HDC dc) {
    RECT rect{};
    GetClientRect(Handle(), &rect);
    if (Color() != clDefault) {
        HBRUSH brush = CreateSolidBrush(ColorToRGB(Color()));
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
    }
    if (bevel_) DrawEdge(dc, &rect, BDR_RAISEDINNER, BF_RECT);
    const std::string caption = Caption();
    if (caption.empty()) return;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ColorToRGB(FontColor() == clDefault ? clWindowText : FontColor()));
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &rect,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, oldFont);
}

LRESULT TPanel::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(Handle(), &paint);
        Paint(dc);
        EndPaint(Handle(), &paint);
        return 0;
    }
    case WM_PRINTCLIENT:
        Paint(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_WINDOWPOSCHANGING: {
        auto* position = reinterpret_cast<WINDOWPOS*>(lParam);
        if (!(position->flags & SWP_NOSIZE) && position->cx < MinWidth) position->cx = MinWidth;
        break;
    }
    default:
        break;
    }
    return DefaultHandler(message, wParam, lParam);
}

TGroupBox::TGroupBox(TParent parent, std::string name, TBounds bounds, const std::string& caption)
    : TControl(parent, std::move(name)) {
    CreateHandle("BUTTON", BS_GROUPBOX | WS_VISIBLE, WS_EX_CONTROLPARENT, caption, bounds);
}

// The system's group box paints its frame only; with children on it, the inside must be
// painted here or it shows whatever was on the screen.
LRESULT TGroupBox::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) {
        RECT rect{};
        GetClientRect(Handle(), &rect);
        FillRect(reinterpret_cast<HDC>(wParam), &rect, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    return DefaultHandler(message, wParam, lParam);
}

} // namespace gui
