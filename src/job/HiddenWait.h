#pragma once
// A hidden run's wait for an answer. Nobody can click a box, so a prompt becomes one notice
// mail and a new look every two minutes. Nobody may read the mail either: once the wait has
// lasted [Settings] InfiniteWait minutes, the bound by which the timer ends an idle hidden
// program, the job is cancelled as by a Cancel at the prompt, and its cancel sets the archive
// bits again. The minutes are the job's clock's (the window's waits run on it), counted from
// the notice: the looks and whatever the job does between them (a volume made again) alike.

#include "job/JobHost.h"

#include <cstdint>

namespace job {

// A hidden run looks again for what it asked for this often.
inline constexpr int hiddenRetryMs = 120'000;

class HiddenWait {
  public:
    explicit HiddenWait(JobHost& host) : host_(host) {}

    // A notice went out: the count starts now.
    void Start();
    // The pause before the next look; false, with one log line and the job cancelled, once the
    // wait has lasted the bound.
    bool Retry();

  private:
    JobHost& host_;
    int64_t since_ = -1;
};

} // namespace job
