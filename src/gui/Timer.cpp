#include "gui/Timer.h"

#include "gui/Application.h"
#include "gui/Clock.h"

#include <algorithm>
#include <vector>

namespace gui {

namespace {
// Timers live on the GUI thread only; no lock.
std::vector<TTimer*>& LiveTimers() {
    static std::vector<TTimer*> timers;
    return timers;
}
UINT_PTR nextTimerId = 0x7A00;
} // namespace

TTimer::TTimer() : id_(nextTimerId++) {
    LiveTimers().push_back(this);
}

TTimer::~TTimer() {
    Stop();
    std::erase(LiveTimers(), this);
}

void TTimer::SetInterval(unsigned milliseconds) {
    if (milliseconds == interval_) return;
    interval_ = milliseconds;
    if (running_) {
        Stop();
        Start();
    }
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled_)
        Start();
    else
        Stop();
}

void TTimer::Start() {
    if (running_ || interval_ == 0) return;
    manual_ = CurrentClock().DrivesTimers();
    if (manual_)
        nextDueMs_ = CurrentClock().MonotonicMs() + interval_;
    else
        SetTimer(Application().Handle(), id_, interval_, nullptr);
    running_ = true;
}

void TTimer::Stop() {
    if (!running_) return;
    if (!manual_) KillTimer(Application().Handle(), id_);
    running_ = false;
}

void TTimer::Fire() {
    // What a timer starts is the program's own work, even in a pump inside a user command.
    const TOwnWorkScope ownWork;
    if (OnTimer)
        Guarded(
            [&] {
                OnTimer();
                return 0;
            },
            0);
}

bool TTimer::FireDue() {
    const int64_t now = CurrentClock().MonotonicMs();
    // Copy: a handler may create, free or re-enable timers.
    const std::vector<TTimer*> timers = LiveTimers();
    bool fired = false;
    for (TTimer* timer : timers) {
        if (std::find(LiveTimers().begin(), LiveTimers().end(), timer) == LiveTimers().end()) continue;
        if (!timer->running_ || !timer->manual_ || timer->nextDueMs_ > now) continue;
        timer->nextDueMs_ = now + timer->interval_;
        fired = true;
        timer->Fire();
    }
    return fired;
}

bool TTimer::AdvanceToNextDue() {
    int64_t earliest = INT64_MAX;
    for (const TTimer* timer : LiveTimers())
        if (timer->running_ && timer->manual_) earliest = std::min(earliest, timer->nextDueMs_);
    if (earliest == INT64_MAX) return false;
    const int64_t now = CurrentClock().MonotonicMs();
    if (earliest > now)
        CurrentClock().Sleep(static_cast<int>(std::min<int64_t>(earliest - now, INT32_MAX)), false);
    return true;
}

void TTimer::FireById(UINT_PTR id) {
    for (TTimer* timer : LiveTimers())
        if (timer->id_ == id && timer->running_ && !timer->manual_) {
            timer->Fire();
            return;
        }
}

} // namespace gui
