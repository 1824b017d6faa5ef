#include "gui/Wait.h"

#include "gui/Application.h"
#include "gui/Clock.h"

#include <cstdint>

namespace gui {

bool ProcessMessages() {
    TApplication& application = Application();
    const bool guiThread = application.OnGuiThread();
    MSG message;
    for (;;) {
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            // Timers of a manual clock tick when the queue is empty, as WM_TIMER would.
            if (guiThread && application.DispatchDueTimers()) continue;
            return false;
        }
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return true;
        }
        application.DispatchMessageOf(message);
    }
}

bool PumpIfDue(int intervalMs) {
    // Per thread, so a worker's pacing never delays the GUI thread's.
    thread_local int64_t lastPumpMs = 0;
    thread_local bool pumped = false;
    const int64_t now = CurrentClock().MonotonicMs();
    if (pumped && now - lastPumpMs < intervalMs && now >= lastPumpMs) return false;
    pumped = true;
    lastPumpMs = now;
    return ProcessMessages();
}

void Wait(int milliseconds, bool alertable) {
    Clock& clock = CurrentClock();
    if (ProcessMessages()) return;
    // Monotonic time: a clock change or DST switch during the wait must not shorten or
    // stretch it by an hour.
    const int64_t deadline = clock.MonotonicMs() + milliseconds;
    for (;;) {
        if (clock.MonotonicMs() >= deadline) return;
        if (ProcessMessages()) return;
        if (clock.Sleep(1, alertable)) return;
    }
}

} // namespace gui
