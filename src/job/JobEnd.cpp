#include "job/JobEnd.h"

#include "job/ProgramLine.h"

namespace job {

void JobEnd(JobEndGuard& guard, JobHost& host, const JobEndInput& input) {
    if (guard.running_ || guard.steps_ > 0) return;
    if (guard.ended_) {
        // A second end of the same job: the window is made idle again, nothing is repeated.
        host.JobEnded(input.Cancelled);
        return;
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
        host.Wait((input.PostWait > 0 ? input.PostWait : 0) * 1000);
        if (!StartProgramLine(input.PostRunFile))
            host.AddToLog("Program after the job not started: " + input.PostRunFile);
    }
    host.JobEnded(input.Cancelled);
    if (input.MailBody) input.MailBody->clear();
    // An unattended run closes the program after its job, however the job ended.
    if (input.CloseAfterJob) host.CloseMainWindow();
}

} // namespace job
