#include "gui/ProgressBar.h"

#include <commctrl.h>

namespace gui {

TProgressBar::TProgressBar(TParent parent, std::string name, TBounds bounds)
    : TControl(parent, std::move(name)) {
    CreateHandle(PROGRESS_CLASSA, WS_VISIBLE, 0, {}, bounds);
    SetRange(0, 100);
    SetStep(10);
}

void TProgressBar::SetStep(int step) {
    step_ = step;
    SendMessageA(Handle(), PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

} // namespace gui
