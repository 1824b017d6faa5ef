#include "job/JobEnd.h"

#include "gui/Clock.h"
#include "job/ProgramLine.h"

#include <algorithm>

namespace job {

namespace {

// The end phase may have queued the window's close before the job end runs, and a wait stops
// at a queued quit: what is left of the time is slept on the clock, pumping between.
void WaitThroughQueuedQuit(JobHost& host, int milliseconds) {
    gui::Clock& clock = gui::CurrentClock();
    const int64_t deadline = clock.MonotonicMs() + milliseconds;
    host.Wait(milliseconds);
    for (int64_t left = deadline - clock.MonotonicMs(); left > 0; left = deadline - clock.MonotonicMs()) {
        clock.Sleep(static_cast<int>(std::min<int64_t>(left, 50)), false);
        host.PumpIfDue();
    }
}

} // namespace

bool JobEnd(JobEndGuard& guard, JobHost& host, const JobEndInput& input) {
    if (guard.running_ || guard.steps_ > 0) return false;
    if (guard.ended_) {
        // A second end of the same job: the window is made idle again, nothing is repeated.
        host.JobEnded(input.Cancelled);
        return true;
    }
    guard.running_ = true;
    struct Release {
        JobEndGuard& guard;
        ~Release() {
            guard.running_ = false;
            guard.ended_ = true;
        }
    } release{guard};

    if (input.MailBody && !input.MailBody->empty() && host.MailConfigured()) {
        host.SendJobMail(*input.MailBody, input.JobName, input.JobLogName);
        input.MailBody->clear();
    }
    if (!input.PostRunFile.empty()) {
        WaitThroughQueuedQuit(host, ProgramWaitMs(input.PostWait));
        if (!StartProgramLine(input.PostRunFile))
            host.AddToLog("Program after the job not started: " + input.PostRunFile);
    }
    host.JobEnded(input.Cancelled);
    // A cancel belongs to the job it ended; the next job's waits must not see it.
    host.SetCancelled(false);
    if (input.MailBody) input.MailBody->clear();
    // An unattended run closes the program after its job, however the job ended.
    if (input.CloseAfterJob) host.CloseMainWindow();
    return true;
}

} // namespace job
