#pragma once
// Progress bar with a 32-bit range (PBM_SETRANGE32), since byte counts of a volume pass 65,535
// long before the end. StepIt wraps past the maximum as the control does.

#include "gui/Control.h"

#include <commctrl.h>

namespace gui {

class TProgressBar : public TControl {
  public:
    TProgressBar(TParent parent, std::string name, TBounds bounds);

    int Min() const { return static_cast<int>(SendMessageA(Handle(), PBM_GETRANGE, TRUE, 0)); }
    int Max() const { return static_cast<int>(SendMessageA(Handle(), PBM_GETRANGE, FALSE, 0)); }
    void SetRange(int min, int max) { SendMessageA(Handle(), PBM_SETRANGE32, static_cast<WPARAM>(min), max); }
    void SetMin(int min) { SetRange(min, Max()); }
    void SetMax(int max) { SetRange(Min(), max); }
    int Position() const { return static_cast<int>(SendMessageA(Handle(), PBM_GETPOS, 0, 0)); }
    void SetPosition(int position) { SendMessageA(Handle(), PBM_SETPOS, static_cast<WPARAM>(position), 0); }
    int Step() const { return step_; }
    void SetStep(int step);
    void StepIt() { SendMessageA(Handle(), PBM_STEPIT, 0, 0); }

  private:
    int step_ = 10;
};

} // namespace gui
