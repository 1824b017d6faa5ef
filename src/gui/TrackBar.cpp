#include "gui/TrackBar.h"

#include <commctrl.h>

namespace gui {

TTrackBar::TTrackBar(TParent parent, std::string name, TBounds bounds) : TControl(parent, std::move(name)) {
    CreateHandle(TRACKBAR_CLASSA, TBS_HORZ | TBS_AUTOTICKS | WS_TABSTOP | WS_VISIBLE, 0, {}, bounds);
    lastPosition_ = Position();
}

void TTrackBar::SetRange(int min, int max) {
    SendMessageA(Handle(), TBM_SETRANGEMIN, FALSE, min);
    SendMessageA(Handle(), TBM_SETRANGEMAX, TRUE, max);
    lastPosition_ = Position();
}

void TTrackBar::SetPosition(int position) {
    SendMessageA(Handle(), TBM_SETPOS, TRUE, position);
    lastPosition_ = Position();
}

bool TTrackBar::Notified(UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message != WM_HSCROLL && message != WM_VSCROLL) return false;
    const int position = Position();
    if (position != lastPosition_) {
        lastPosition_ = position;
        if (OnChange) OnChange();
    }
    result = 0;
    return true;
}

} // namespace gui
