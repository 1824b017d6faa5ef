#include "gui/Splitter.h"

namespace gui {

TSplitter::TSplitter(TParent parent, std::string name, TBounds bounds, TControl& target, TSplitterKind kind)
    : TControl(parent, std::move(name)), target_(target), kind_(kind) {
    RegisterControlClass("TSplitter", 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    CreateHandle("TSplitter", WS_VISIBLE, 0, {}, bounds);
}

int TSplitter::TargetSize() const {
    return kind_ == TSplitterKind::Vertical ? target_.Width() : target_.Height();
}

// In the parent's coordinates, so moving the bar itself does not disturb the drag.
int TSplitter::MousePosition(LPARAM lParam) const {
    POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    MapWindowPoints(Handle(), GetParent(Handle()), &point, 1);
    return kind_ == TSplitterKind::Vertical ? point.x : point.y;
}

void TSplitter::MoveTo(int newSize) {
    if (newSize < MinSize) newSize = MinSize;
    bool accept = true;
    if (OnCanResize) OnCanResize(newSize, accept);
    if (!accept || newSize == TargetSize()) return;
    if (kind_ == TSplitterKind::Vertical) {
        target_.SetWidth(newSize);
        SetLeft(target_.Left() + target_.Width());
    } else {
        target_.SetHeight(newSize);
        SetTop(target_.Top() + target_.Height());
    }
    if (OnMoved) OnMoved();
}

LRESULT TSplitter::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETCURSOR:
        ::SetCursor(LoadCursorA(nullptr, kind_ == TSplitterKind::Vertical
                                             ? MAKEINTRESOURCEA(32644)    // IDC_SIZEWE
                                             : MAKEINTRESOURCEA(32645))); // IDC_SIZENS
        return TRUE;
    case WM_LBUTTONDOWN:
        dragging_ = true;
        dragStart_ = MousePosition(lParam);
        sizeAtStart_ = TargetSize();
        SetCapture(Handle());
        return 0;
    case WM_MOUSEMOVE:
        if (dragging_) MoveTo(sizeAtStart_ + MousePosition(lParam) - dragStart_);
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (dragging_) {
            dragging_ = false;
            if (message == WM_LBUTTONUP) ReleaseCapture();
        }
        return 0;
    default:
        break;
    }
    return DefaultHandler(message, wParam, lParam);
}

} // namespace gui
