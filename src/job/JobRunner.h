#pragma once
// The job after its start: the zip components set up, then volume by volume until the lists
// are done, then the end phase. Each call of RunBackupJob takes one step and hands on through
// the window's queue: a zip run's completion posts the next call, a disc step answers with
// one. The steps wait in pumped waits, so the close request, the timer and stray messages run
// inside them and may call back in; a call inside a step never takes a second step.
//
// A volume is finished (logged, verified, copied, handed to the disc step) before the next is
// prepared, the last one too. A volume whose zip run fails for want of room is rolled back to
// its start and built again; nothing it held is lost. A volume that ends in no sound copy
// gives the archive bits it cleared back, so the next run takes its files again.

#include "job/JobHost.h"
#include "job/JobSession.h"
#include "job/JobStart.h"
#include "job/RunState.h"
#include "job/VolumePlannerWin.h"
#include "job/VolumePrep.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace gui {
class FileAttributes;
}
namespace zip {
class TSinkFile;
class TZipper;
class TWinExtractFileSystem;
class TWinZipperFileSystem;
} // namespace zip

namespace job {

// The planner's files on Win32, with Zipper1's list as the volume's list.
class RunnerPlannerFiles final : public WinPlannerFiles {
  public:
    RunnerPlannerFiles(PlannerFileOptions options, JobHost& host, zip::TZipper& zipper)
        : WinPlannerFiles(std::move(options), host), zipper_(zipper) {}
    void AddToZipFiles(const std::string& path) override;
    // The catalogue list cut back to size bytes (a volume built again).
    void TruncateCsv(int64_t size);

  private:
    zip::TZipper& zipper_;
};

// Where a split part is: at the path given, or under its name in one of the job's destinations
// (one that filled sent the later parts on to the next); empty when nowhere.
std::string FindSplitPart(const std::string& part, const std::vector<std::string>& destinations);

class JobRunner {
  public:
    JobRunner(JobSession& session, JobHost& host, JobStarter& starter, gui::FileAttributes& attributes);
    ~JobRunner();
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // --- The hand-over from the start (JobHandOver.cpp) ---
    // A resumed run: the saved lists and counters instead of a selection.
    void LoadResumedRun();
    // The zip set-up, the first volume's name and the runner's first call. False when the
    // job ended here (nothing to do, cancelled).
    bool HandOver();

    // --- The runner (JobRunner.cpp) ---
    // One step: a volume, the end phase, or the cancel tail.
    void RunBackupJob();
    // Nothing is left to build or to write after the volume the disc step has.
    bool LastVolumeAtDiscStep() const;

    // --- The user and the zip components (JobZipEvents.cpp) ---
    // The close request and the cancel action: the running zip run stops.
    void CancelRunningJob();
    // How a volume's test ended. A test cut short by the job's cancel says nothing about the
    // volume.
    enum class VolumeTest { Sound, Unsound, Cancelled };
    // Verifies the volume Zipper1 has just written (Sound when there is none).
    VolumeTest TestZipFile();
    // With verification on, tests a volume where its copy landed (its split parts beside it);
    // true when it is sound or volumes are not verified.
    bool VerifyLandedVolume(const std::string& zipName, int parts);

    // A volume that is not soundly written (it failed its test, the disc step left it in the
    // temporary folder, it was gone before its disc, it went to no destination): the files
    // whose archive bits it cleared get them back, a line names it, and the job had a problem.
    // volume: its path, or that of one of its split parts.
    void VolumeNotWritten(const std::string& volume);
    // A volume to be written to disc that is no longer in the temporary folder.
    void VolumeGone(const std::string& volume);
    // The volume goes on the burn-later list; the files whose archive bits it cleared are kept
    // beside the resume state, so that a resumed run can give them back too.
    void WaitForDisc(const std::string& volume);

    zip::TZipper& Zipper1() { return *zipper1_; }
    zip::TZipper& Zipper2() { return *zipper2_; }

    // Each archive file the zip component opens passes through here (tests play a medium
    // that misreports); empty: the file as it is.
    using OutputFileSeam = std::function<std::unique_ptr<zip::TSinkFile>(std::unique_ptr<zip::TSinkFile>)>;
    OutputFileSeam OutputFile;

    // Filled by the parts that own them.
    VolumePrep* Prep = nullptr;
    // Without a trailing "\": registry copies are stored under its live hives' folder.
    std::string WindowsFolder;
    // Appends a finished volume's entries to the job's catalogue.
    std::function<void(const std::string& zipName)> AddZipToCatalog;
    // A volume copied under another name than it was built with: the catalogue list's lines of
    // it name the copy (those already zipped into that volume cannot).
    void VolumeLanded(const std::string& builtZip, const std::string& landedZip);
    // The process priority during a verification: read, and set (idle while testing).
    std::function<int()> ReadPriority;
    std::function<void(int priority)> SetPriority;

    // --- The runner's state (the volumes' own is in the run record) ---
    bool FirstVolume = false;     // the next volume is the run's first
    bool DiscStepPending = false; // a volume is with the disc step
    bool JobReachedEnd = false;
    bool ZipRunning = false;
    bool HelperZipRunning = false;
    bool TestingZip = false;
    bool TestFailed = false;
    bool JobHadProblem = false;
    int SpanPartNumber = 0;
    int BflIndex = -1; // the run's BflList entry the disc step has

  private:
    // JobHandOver.cpp
    void SetUpZippers();
    bool TemporaryFileDecision();
    bool WriterSelected();
    void DeleteStaleSpanParts();
    // JobRunner.cpp
    void Step();
    bool EndEntriesDue() const;
    bool WorkLeft() const;
    bool VolumeStep();
    bool FinishVolume();
    bool DeliverVolume(const std::string& archive);
    void BitCleared(const std::string& path);
    // The volume's files get the archive bits it cleared back; how many could not be set,
    // or -1 when it cleared none.
    int GiveBitsBack(const std::string& volumeKey);
    void VolumeWritten(const std::string& volumeKey);
    void UncatalogueVolume(const std::string& volumeKey);
    bool WaitsForDisc(const std::string& volumeKey) const;
    void TakeBackKeptBits();
    void ZipVolume();
    bool NothingPlanned();
    bool ZipOnce();
    bool RollBackVolume();
    void EndPhase();
    void CancelTail();
    void WorkOver();
    void StepFailed(const std::string& what);
    bool NothingLeftToResume() const;
    void RestoreClearedArchiveBits();
    void LogSummary();
    void DeleteWorkFiles();
    void PostContinue();
    // JobZipEvents.cpp
    void ConnectEvents();
    void Zipper1StartZip(const std::string& fileName, std::string& storedFolder);
    void Zipper1ZipComplete();
    std::string MissingPart(const std::string& zipName, int parts);
    VolumeTest VerifyVolume(const std::string& zipName, int parts, int entries);

    JobSession& session_;
    JobRun& run_;
    JobHost& host_;
    JobStarter& starter_;
    gui::FileAttributes& attributes_;
    std::unique_ptr<zip::TWinExtractFileSystem> inputFiles_;
    std::unique_ptr<zip::TWinZipperFileSystem> outputFiles_;
    std::unique_ptr<zip::TZipper> zipper1_;
    std::unique_ptr<zip::TZipper> zipper2_;
    std::unique_ptr<RunnerPlannerFiles> plannerFiles_;
    std::unique_ptr<VolumePlanner> planner_;

    // The re-entry guard: a step runs; a call inside it asked for the next step.
    bool stepActive_ = false;
    bool continueAsked_ = false;
    bool continuePosted_ = false;
    // The step ended the job: the job end follows it.
    bool endDue_ = false;
    bool tailDone_ = false;
    // "Backup end" was logged for a job not cancelled before it: every volume is done.
    bool endLogged_ = false;
    // A volume was zipped and is not yet finished.
    bool volumeOpen_ = false;
    // The catalogue list's size when the volume being built began, for its rollback.
    int64_t csvSizeAtVolumeStart_ = -1;
    // The file the zip run was adding last, for a volume that fails for want of room.
    std::string entryBeingAdded_;
    // The files whose archive bits each volume cleared, by the volume's name without folder
    // and extension (a split set's parts share it), until the volume is soundly written.
    std::map<std::string, std::vector<std::string>> clearedBits_;
    // The volumes whose lines are in the catalogue and that are not written yet, with their zip.
    std::map<std::string, std::string> catalogued_;
    // How many of each volume's files are kept beside the resume state already.
    std::map<std::string, size_t> bitsKeptForResume_;
    // The volume being built or finished: its key, how it was built, and whether it is known
    // to be unsound already.
    std::string volumeKey_;
    bool builtForDisc_ = false;
    bool builtInTemp_ = false;
    bool volumeUnsound_ = false;
};

} // namespace job
