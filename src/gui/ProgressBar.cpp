#include "gui/ProgressBar.h"

#include <commctrl.h>

namespace gui {

TProgressBar::TProgressBar(TParent parent, std::string name, TBounds bounds)
    : TControl(parent, std::move(name)) {
    CreateHandle(PROGRESS_CLASSA, WS_VISIBLE, 0, {}, bounds);
    min_ = Min();
    max_ = Max();
    SetRange(0, 100);
    SetStep(10);
}

void TProgressBar::SetRange(int min, int max) {
    if (min == min_ && max == max_) return;
    SendMessageA(Handle(), PBM_SETRANGE32, static_cast<WPARAM>(min), max);
    min_ = min;
    max_ = max;
    positionKnown_ = false;
}

void TProgressBar::SetPosition(int position) {
    if (positionKnown_ && position == position_) return;
    SendMessageA(Handle(), PBM_SETPOS, static_cast<WPARAM>(position), 0);
    position_ = position;
    positionKnown_ = true;
}

void TProgressBar::StepIt() {
    SendMessageA(Handle(), PBM_STEPIT, 0, 0);
    positionKnown_ = false;
}

void TProgressBar::SetStep(int step) {
    step_ = step;
    SendMessageA(Handle(), PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

} // namespace gui
