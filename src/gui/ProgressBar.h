#pragma once
// Progress bar with a 32-bit range (PBM_SETRANGE32), since byte counts of a volume pass 65,535
// long before the end. StepIt wraps past the maximum as the control does.
// A range or position the bar was last given is not sent again: a job sets its bars once per
// file, mostly to what they show already, and every message to a subclassed control costs a
// look-up of its property (under Wine a server round trip) before the control sees it.

#include "gui/Control.h"

#include <commctrl.h>

namespace gui {

class TProgressBar : public TControl {
  public:
    TProgressBar(TParent parent, std::string name, TBounds bounds);

    int Min() const { return static_cast<int>(SendMessageA(Handle(), PBM_GETRANGE, TRUE, 0)); }
    int Max() const { return static_cast<int>(SendMessageA(Handle(), PBM_GETRANGE, FALSE, 0)); }
    void SetRange(int min, int max);
    void SetMin(int min) { SetRange(min, max_); }
    void SetMax(int max) { SetRange(min_, max); }
    int Position() const { return static_cast<int>(SendMessageA(Handle(), PBM_GETPOS, 0, 0)); }
    void SetPosition(int position);
    int Step() const { return step_; }
    void SetStep(int step);
    void StepIt();

  private:
    int step_ = 10;
    // As last sent; the position is unknown once the control may have moved it itself (a new
    // range pulls it inside, a step wraps it).
    int min_ = 0;
    int max_ = 0;
    int position_ = 0;
    bool positionKnown_ = false;
};

} // namespace gui
