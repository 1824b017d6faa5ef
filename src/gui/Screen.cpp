#include "gui/Screen.h"

namespace gui {

TScreen& Screen() {
    static TScreen screen;
    return screen;
}

HCURSOR TScreen::CursorHandle() const {
    switch (cursor_) {
    case TCursor::crHourGlass:
        return LoadCursorA(nullptr, IDC_WAIT);
    case TCursor::crArrow:
        return LoadCursorA(nullptr, IDC_ARROW);
    case TCursor::crDrag:
        return LoadCursorA(nullptr, IDC_SIZEALL);
    case TCursor::crNoDrop:
        return LoadCursorA(nullptr, IDC_NO);
    case TCursor::crDefault:
        break;
    }
    return nullptr;
}

void TScreen::SetCursor(TCursor cursor) {
    cursor_ = cursor;
    HCURSOR handle = CursorHandle();
    ::SetCursor(handle ? handle : LoadCursorA(nullptr, IDC_ARROW));
}

} // namespace gui
