#pragma once
// Rounds of pumping at points where the job hands the window a burst of work: each round
// empties the queue, and the next takes what the handlers of the last one posted (repaints,
// a cancel click and what follows it), so the state read afterwards is current.

#include "job/JobHost.h"

namespace job {

inline void PumpRounds(JobHost& host, int rounds) {
    for (int i = 0; i < rounds; ++i)
        host.Pump();
}

// After a job is loaded into the window: its controls repaint before the first log lines.
inline void PumpAfterLoad(JobHost& host) {
    PumpRounds(host, 3);
}

// After a long step that pumped little (sorting the list, waiting for the system's tools): a
// cancel asked for meanwhile is seen before the step's result is used.
inline void PumpAfterLongStep(JobHost& host) {
    PumpRounds(host, 201);
}

} // namespace job
