// The Windows system clock: local time from GetLocalTime, monotonic time from GetTickCount64,
// sleeps through SleepEx so that alertable waits see I/O completion callbacks.
#include "gui/Clock.h"

#include <windows.h>

namespace gui {

namespace {
class WinClock final : public Clock {
  public:
    WinClock() {
        QueryPerformanceFrequency(&frequency_);
        if (frequency_.QuadPart < 1000) frequency_.QuadPart = 1000;
    }
    DateTime Now() override {
        SYSTEMTIME local;
        GetLocalTime(&local);
        FILETIME asFileTime;
        SystemTimeToFileTime(&local, &asFileTime);
        ULARGE_INTEGER ticks;
        ticks.LowPart = asFileTime.dwLowDateTime;
        ticks.HighPart = asFileTime.dwHighDateTime;
        // FILETIME counts 100 ns from 1601-01-01; 1899-12-30 is 109,205 days later.
        return static_cast<double>(ticks.QuadPart) / 864'000'000'000.0 - 109205.0;
    }
    // The performance counter: monotonic, 64-bit, and present on every Windows we run on.
    int64_t MonotonicMs() override {
        LARGE_INTEGER counter;
        QueryPerformanceCounter(&counter);
        return static_cast<int64_t>(counter.QuadPart / (frequency_.QuadPart / 1000.0));
    }
    bool Sleep(int milliseconds, bool alertable) override {
        return SleepEx(milliseconds < 0 ? 0 : static_cast<DWORD>(milliseconds), alertable) ==
               WAIT_IO_COMPLETION;
    }

  private:
    LARGE_INTEGER frequency_;
};
} // namespace

Clock& SystemClock() {
    static WinClock clock;
    return clock;
}

} // namespace gui
