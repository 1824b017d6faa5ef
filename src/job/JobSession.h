#pragma once
// The job as the program holds it between and during runs: the loaded definition, the record
// of the run, and where the run stands. The main form holds one and shows it; the engine's
// steps read and change it. Whether a job runs is this state, never a caption of the window.

#include "job/JobDefinition.h"
#include "job/JobEnd.h"
#include "job/JobRun.h"

#include <string>
#include <vector>

namespace job {

enum class JobState {
    Idle,
    Starting, // the start's checks run; a second start is refused
    Running,  // from the start's marking until its work is over
    Ending,   // the work is over (end phase or cancel tail); the job end is still to come
};

struct JobSession {
    JobDefinition Job;
    // The job file Job was last loaded from or saved to; empty while none was.
    std::string LoadedJobName;
    JobRun Run;
    JobEndGuard EndGuard;

    JobState State = JobState::Idle;
    bool Cancelled = false;
    // The window was minimised when the job started and shown for it.
    bool WasMinimizedAtStart = false;
    // A job is under way, from its start to its job end.
    bool Running() const { return State != JobState::Idle; }
    // A job still at its work: a close must ask, and waits for it. A job past its work may
    // close the program, which its end phase does when a close was asked for meanwhile.
    bool AtWork() const { return State == JobState::Starting || State == JobState::Running; }
    // The job's lines belong in its log.
    bool Logging() const { return State == JobState::Running || State == JobState::Ending; }

    // The run's detailed log, and its lines for the mail report.
    std::string JobLogName;
    std::vector<std::string> MailBody;
    // Paths whose archive bit the job will clear.
    std::vector<std::string> ArchiveBitPending;

    // The timer's minute counts, one set for the program. A running job starts them again at
    // its points of progress, so it is taken neither for an idle program nor for a disc
    // layer that hangs.
    int IdleListMinutes = 0; // with schedules listed; a hidden program ends past its limit
    int DiscBusyMinutes = 0; // the disc layer busy; past three hours the job is let go
    int CancelMinutes = 0;   // since the cancel flag was seen set
    // A job starts: every count from zero.
    void RunBegins() { IdleListMinutes = DiscBusyMinutes = CancelMinutes = 0; }
    // A point of progress (an item or folder of the selection, a file zipped, a volume
    // planned), and the job's end.
    void JobAlive() { IdleListMinutes = DiscBusyMinutes = 0; }
};

} // namespace job
