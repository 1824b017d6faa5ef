#pragma once
// The two routines every long wait goes through. On the GUI thread they keep the window
// alive, so timer ticks, posted messages and user actions run nested inside a wait; on a
// worker thread, which owns no windows, Wait simply sleeps.

namespace gui {

// Empties the calling thread's queue. True when a quit message was met: it is posted again
// so the main loop still sees it, and pumping stops there.
bool ProcessMessages();

// ProcessMessages at most once per interval of the clock, for loops that would pump per item
// (an empty pump costs tens of microseconds). The first call on a thread pumps. Returns what
// ProcessMessages returns, false when not due.
bool PumpIfDue(int intervalMs);

// Spends at least the given time pumping messages between 1 ms sleeps of the clock. Ends
// early only on a quit message (left in the queue) or, when alertable, an I/O completion
// callback. A zero or negative time pumps once and returns.
void Wait(int milliseconds, bool alertable);

} // namespace gui
