#include "gui/Clock.h"

namespace gui {

namespace {
std::atomic<Clock*> installedClock{nullptr};
constexpr double millisecondsPerDay = 86'400'000.0;
} // namespace

DateTime ManualClock::Now() {
    return start_ + wallShiftDays_.load() + elapsedMs_.load() / millisecondsPerDay;
}

bool ManualClock::Sleep(int milliseconds, bool) {
    if (milliseconds > 0) Advance(milliseconds);
    return false;
}

void ManualClock::Advance(int64_t milliseconds) {
    elapsedMs_ += milliseconds;
}

Clock& CurrentClock() {
    Clock* clock = installedClock.load();
    return clock ? *clock : SystemClock();
}

void SetClock(Clock* clock) {
    installedClock = clock;
}

} // namespace gui
