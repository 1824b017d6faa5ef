#pragma once
// A timer on the GUI thread. With the system clock it is a real SetTimer on the application
// window; with a manual clock (tests) it fires from that clock inside the loop and the pumps.
// Either way ticks coalesce as WM_TIMER does: a timer that fell behind fires once.

#include <windows.h>

#include <cstdint>
#include <functional>

namespace gui {

class TTimer {
  public:
    TTimer();
    ~TTimer();
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    std::function<void()> OnTimer;

    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned milliseconds);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    // Fires every manual-clock timer that is due; true when one fired.
    static bool FireDue();
    // Moves a manual clock to the earliest due time; false when no timer is enabled.
    static bool AdvanceToNextDue();
    // WM_TIMER of the application window.
    static void FireById(UINT_PTR id);

  private:
    void Start();
    void Stop();
    void Fire();

    unsigned interval_ = 1000;
    bool enabled_ = false;
    bool running_ = false;
    bool manual_ = false;
    UINT_PTR id_ = 0;
    int64_t nextDueMs_ = 0;
};

} // namespace gui
