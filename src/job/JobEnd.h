#pragma once
// The last step of every job, however it ends: the job's log lines are mailed (log attached),
// the program after the job runs after its wait, the window returns to idle, and a program
// started to run one job unattended closes.
//
// Several ends can overlap: the start's early end, the runner's final step, the timer's
// cancel minute and the end phase each call it, and every wait inside pumps messages, so one
// can arrive inside another. The guard lets the report and the program after the job happen
// once per started job, and lets no end run while a step of the job is still under way: that
// step ends the job itself.

#include "job/JobHost.h"

#include <string>
#include <vector>

namespace job {

struct JobEndInput;

class JobEndGuard {
  public:
    // A new job: its end is still to come.
    void JobStarted() { ended_ = false; }
    // A step of the job (the start) runs; ends asked for meanwhile are left to it.
    void StepBegins() { ++steps_; }
    void StepEnds() {
        if (steps_ > 0) --steps_;
    }
    bool StepRunning() const { return steps_ > 0; }
    bool Running() const { return running_; }
    bool Ended() const { return ended_; }

  private:
    friend bool JobEnd(JobEndGuard&, JobHost&, const JobEndInput&);
    bool running_ = false;
    bool ended_ = true;
    int steps_ = 0;
};

// A step of the job under way for as long as this lives, whatever way the step leaves.
class JobStepMark {
  public:
    explicit JobStepMark(JobEndGuard& guard) : guard_(guard) { guard_.StepBegins(); }
    ~JobStepMark() { guard_.StepEnds(); }
    JobStepMark(const JobStepMark&) = delete;
    JobStepMark& operator=(const JobStepMark&) = delete;

  private:
    JobEndGuard& guard_;
};

struct JobEndInput {
    std::vector<std::string>* MailBody = nullptr; // emptied once mailed
    std::string JobName;                          // the mail's subject suffix
    std::string JobLogName;                       // attached
    std::string PostRunFile;                      // program and parameters
    int PostWait = 1;                             // seconds before it starts
    bool Cancelled = false;
    bool CloseAfterJob = false; // /C, or /H with a job named by /=
};

// False when it did nothing: another end or a step of the job is still under way, and that
// one ends the job.
bool JobEnd(JobEndGuard& guard, JobHost& host, const JobEndInput& input);

} // namespace job
