#pragma once
// The job's disc step: one finished volume, or one part of a split volume, written to the
// disc in the job's writer as a new session (Joliet, the destination folder, volume id
// "yymmddhhmm"), compared with its temporary copy when the job tests its archives, the copy
// deleted. Around the write: the drive made ready, a rewritable disc erased when the job asks
// for it and holds none of its files, new discs asked for, up to five attempts, and a
// compare failure on a rewritable disc erased and written again a bounded number of times.
//
// It runs on the GUI thread in pumped waits: write done, erase done, the status tick and
// the user's cancel run inside them. The window's disc-writer component is taken for each
// call (the frame holding it is made anew after every write and erase).
//
// A volume the disc in the drive cannot take while the temporary drive has room waits on the
// burn-later list for the runner's end phase. Volumes given up are logged as left in the
// temporary folder.

#include "job/HiddenWait.h"
#include "job/JobHost.h"
#include "job/JobSession.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace job {

class JobRunner;
class VolumePrep;
struct DiscWriteState;

// The part (1 up) a test of a split volume reads after `current`, where the set put it: beside
// it, or in one of the job's destinations; the last part carries the volume's own name.
std::string SplitPartToTest(const std::string& current, int volumeNumber,
                            const std::vector<std::string>& destinations);

class JobDiscStep {
  public:
    JobDiscStep(JobSession& session, JobHost& host, JobRunner& runner, VolumePrep* prep);

    // The runner's hand-over of a finished volume; mustBurnNow when the temporary drive cannot
    // keep it. The runner's next step follows once per volume.
    void DiscStep(bool mustBurnNow);
    // Writes the volume (fileName empty: the run's current volume) or a split part. True
    // when it handed the same volume to a new disc step (erase and write again).
    bool BurnZipToDisc(bool mustBurnNow, const std::string& fileName, bool isSpanPart);
    // The zip component's request for the next part of a split volume: the finished part
    // goes to the disc.
    void Zipper1GetNextDisk(int volumeNumber, std::string& fileName);

    // A disc routine of the step is under way (the minute watchdog leaves the job alone).
    std::function<void(bool started)> OnWriteStarted;

  private:
    enum class Ending { Done, Requeued };
    Ending Burn(bool mustBurnNow, const std::string& fileName, bool isSpanPart);
    // The steps between the start and the clean-up, in their order below; true when the volume
    // was handed to a new disc step.
    bool BurnSteps(bool mustBurnNow, const std::string& name, const std::string& source, bool isSpanPart);
    // One volume as the steps see it.
    struct Volume {
        std::string name, source, label;
        int64_t size = 0;
        bool isSpanPart = false;
    };
    // The drive loaded and tested; false when the job was cancelled meanwhile.
    bool DriveWithDisc();
    // A disc that cannot take the volume now, or holds this job's files, leaves it on the
    // burn-later list while the temporary drive can keep it; true when it was left.
    bool LeftForLater(bool mustBurnNow, const Volume& volume);
    // Until the drive is ready: a prompt, or a notice while hidden. False when cancelled.
    bool ReadyLoop();
    // With the erase option a rewritable disc holding this job's files is not erased: the
    // volume is appended when it fits, else another disc is asked for (Cancel: erase this one).
    // False when cancelled.
    bool NewDiscLoop(const Volume& volume);
    // Until the disc in the drive has room: a setup pass, another disc when there is no room,
    // then a prompt. False when cancelled or the volume was skipped.
    bool SetupLoop(const Volume& volume);
    enum class Pass { Ready, Again, Stop };
    // One pass for the disc in the drive: erased when the job may erase it, else its last
    // session read into the tree; the volume added under the label.
    Pass SetupPass(const Volume& volume, bool& sent);
    // The drive not ready for a pass, or its disc's sessions unread (a prompt while shown): the
    // next pass after a pause, or the notice while hidden.
    Pass NotReadyPass(bool& sent, bool unread);
    void EraseForWrite();
    // The tray out for another disc and in again (only closed when it is to stay shut).
    void SwapForRoom();
    void NewDiscInDrive();
    // The prompt for a disc with room (a notice while hidden). False when the volume is
    // skipped or the job cancelled.
    bool AskForRoom(const Volume& volume, bool& sent);
    // At most five attempts; true when one wrote the session.
    bool WriteAttempts(const Volume& volume);
    // The drive set up for an attempt, from the second one with the tree read again; false
    // when it cannot be.
    bool PrepareAttempt(const Volume& volume, int attempt);
    // A failed attempt told and the disc taken out and in; false when the attempts end here.
    bool AttemptFailed();
    // Not written after the attempts: the volume, and those waiting, left where they are.
    void NotWritten(const Volume& volume);
    // Written: the line of success, then the drive given time; false when cancelled meanwhile.
    bool Written();
    bool Erasable();
    void CleanUpAfter(bool requeued);
    // An error out of the clean-up is logged; the step's flags are cleared.
    void CleanUpFailed(const std::string& what) noexcept;
    // An error out of the step: logged, the volume left in the temporary folder.
    void StepFailed(const std::string& fileName, const std::string& what);
    bool RoomFor(int64_t size);
    bool Verify(const std::string& name, const std::string& source, bool isSpanPart);
    bool CompareFailed(const std::string& source, bool isSpanPart);
    bool HostReady(int ms);
    void Reinitialise(bool select);
    void Release();
    bool Select();
    void Load();
    void EjectUnlessTold();
    void AllowRemoval();
    void DiscSwap(int firstPause, int secondPause, bool allowRemovalFirst);
    void TrayWait(bool removal);
    // A prompt while hidden: mailed once per waiting loop then a 120 s wait, the loop's waits
    // bounded from its mail on; without a recipient the job is cancelled. False when it
    // cancelled.
    bool Notice(const std::string& logged, const std::string& mailed, const std::string& suffix, bool& sent);
    // Whether the run is hidden; when it is not, the window is shown for a prompt.
    bool HiddenElseShown();
    // A box with OK and Cancel (the main window shown first); true for OK.
    bool AskOk(const std::string& text);
    void Status(const std::string& text);
    void Cancel();
    bool Cancelled();
    int64_t FreeBytes();
    bool HoldsNoJobFile();
    bool HasSession();
    void MediaFacts(bool& dvd, int& media);
    // The volume's tree: the destination folder with the file in it.
    bool BuildTree(const std::string& label, const std::string& source, const std::string& name, bool record);
    // The write itself: true when it succeeded; else writeErrorText_ says why.
    bool WriteOnce(bool dvd);
    void StopStuckWriter();
    // The volume back on the burn-later list, at most twice; then left where it is.
    void Requeue(const std::string& path);
    void LeftInTemporaryFolder(const std::string& path);
    // The current volume's zip name cleared in the zip component.
    void ClearZipName(bool isSpanPart);
    bool EraseAndWait(uint8_t kind);
    std::string MovedToDestination(const std::string& path) const;

    JobSession& session_;
    JobRun& run_;
    JobHost& host_;
    JobRunner& runner_;
    VolumePrep* prep_;
    DiscWriteState* state_ = nullptr;
    bool eraseNow_ = false;
    bool dvd_ = false;
    int media_ = 0;
    std::string writeErrorText_;
    // A disc step asked for while one runs waits for it to end.
    bool stepPutOff_ = false;
    bool putOffNow_ = false;
    // The waiting loop's count since its notice.
    HiddenWait noticeWait_;
};

} // namespace job
