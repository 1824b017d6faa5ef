#include "job/HiddenWait.h"

#include "gui/Clock.h"

#include <string>

namespace job {

void HiddenWait::Start() {
    since_ = gui::CurrentClock().MonotonicMs();
}

bool HiddenWait::Retry() {
    const int64_t now = gui::CurrentClock().MonotonicMs();
    if (since_ < 0) since_ = now;
    const int minutes = host_.HiddenWaitMinutes();
    if (now - since_ >= static_cast<int64_t>(minutes) * 60'000) {
        host_.AddToLog("Job cancelled, no answer after " + std::to_string(minutes) + " minutes");
        host_.SetCancelled(true);
        return false;
    }
    // The wait is bounded here, and cleanly: the idle watchdog, which would halt the program
    // in the middle of it, starts counting again.
    host_.ResetWatchdog();
    host_.Wait(hiddenRetryMs);
    return true;
}

} // namespace job
