#pragma once
// The one clock of the program. Waits, timers and date stamps read it, so tests can
// install a manual clock and run hours of program time without sleeping.

#include <atomic>
#include <cstdint>

namespace gui {

// Local date and time as days since 1899-12-30 with the time as the fraction; every date
// the program stores as a number uses this count.
using DateTime = double;

class Clock {
  public:
    virtual ~Clock() = default;
    virtual DateTime Now() = 0;
    // Milliseconds from an arbitrary start that never jump with clock or DST changes.
    virtual int64_t MonotonicMs() = 0;
    // Returns true when an I/O completion callback ended an alertable sleep early.
    virtual bool Sleep(int milliseconds, bool alertable) = 0;
    // True when timers fire from this clock instead of the system's WM_TIMER.
    virtual bool DrivesTimers() const { return false; }
};

// Time moves only when a test advances it or when someone sleeps on it.
class ManualClock : public Clock {
  public:
    explicit ManualClock(DateTime start = 46000.5) : start_(start) {}
    DateTime Now() override;
    int64_t MonotonicMs() override { return elapsedMs_.load(); }
    bool Sleep(int milliseconds, bool alertable) override;
    bool DrivesTimers() const override { return true; }
    void Advance(int64_t milliseconds);
    // Moves the wall clock only (a DST or clock change); monotonic time is unaffected.
    void ShiftWallClock(double days) { wallShiftDays_ = wallShiftDays_.load() + days; }

  private:
    DateTime start_;
    std::atomic<int64_t> elapsedMs_{0};
    std::atomic<double> wallShiftDays_{0};
};

// The system clock of this platform.
Clock& SystemClock();

// The clock in use: the system clock unless a test installed another.
Clock& CurrentClock();
// Installs a clock (nullptr returns to the system clock). The caller keeps ownership.
void SetClock(Clock* clock);

} // namespace gui
