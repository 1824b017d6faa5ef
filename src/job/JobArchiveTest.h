#pragma once
// The test of a finished job archive on the job's zip components (Zipper1, and Zipper2's file
// progress): each entry shown as verified, the corrupt ones named on the second pass, the
// job's cancel honoured after the entry in hand. The runner starts the test and fills the
// seams; the Restore tab shares EInfiniteRun.

#include "gui/Exceptions.h"

#include <functional>
#include <string>

namespace zip {
class TUnZipper;
} // namespace zip

namespace job {

// A test or restore that keeps reporting 100 % without end.
class EInfiniteRun : public gui::Exception {
  public:
    EInfiniteRun() : gui::Exception("") {}
};

// The test of a finished job archive on the job's zip components: the runner starts the test
// and fills the seams (its progress bars, status label, log and cancel flag).
class TJobArchiveTest {
  public:
    // Attaches the handlers to Zipper1 (and Zipper2's file progress when there is one).
    void Connect(zip::TUnZipper& zipper1, zip::TUnZipper* zipper2);

    bool Testing = false; // the job tests its archive now
    bool ReportBadCrc = false;
    int FullReports = 0;
    std::function<bool()> JobCancelled;
    std::function<void(int percent)> Progress;
    std::function<void(int percent)> FileProgress;
    std::function<void(const std::string&)> Status;
    std::function<void(const std::string&)> Log;

    void Zipper1EndReadFileInfo(int index, int totalFiles);
    void Zipper1TotalPercentDone(zip::TUnZipper& zipper, int percent);
    void Zipper1BadCRC(zip::TUnZipper& zipper, int index);
    void Zipper1EndUnZip(zip::TUnZipper& zipper, int index);
    void Zipper1FilePercentDone(zip::TUnZipper& zipper, int percent);
    void Zipper2FilePercentDone(zip::TUnZipper& zipper, int percent);

  private:
    bool Cancelled() const { return JobCancelled && JobCancelled(); }
};

} // namespace job
