#pragma once
// The one entry into a backup run: guards and resets, the temporary folder, the resume
// offer, the job file, the destination and the choice between a disc writer and a plain
// drive or folder, the volume size, the names of the job's log and catalogue, the program
// before the job, and the hand-over to the file selection. Every early end runs the job end.
//
// The start runs on the GUI thread and waits in pumped steps, so timer ticks and posted
// messages run inside it; while it runs, the job end guard keeps their ends out, and the
// session's starting state keeps a second start out.

#include "core/DateText.h"
#include "job/DiscSpeed.h"
#include "job/DriveSpace.h"
#include "job/JobDefinition.h"
#include "job/JobEnd.h"
#include "job/JobHost.h"
#include "job/JobSession.h"

#include <functional>
#include <string>
#include <vector>

namespace job {

// The disc writer of the job: the disc library's device in the program (JobDisc.h).
class DiscWriter {
  public:
    virtual ~DiscWriter() = default;
    // The transport loaded, loading it (again) when it is not.
    virtual bool Load(bool preferInternal) = 0;
    // The job's writer: the choice's device when one is named, else the drive of the letter.
    // Selected is not ready: a writer without a disc is selected all the same.
    virtual bool Select(const std::string& choice, char letter) = 0;
    // The selected writer answers ready within the time.
    virtual bool Ready(int milliseconds) = 0;
    // Bytes free on the disc in the writer; after an erase (-1: the disc cannot be erased, it is
    // neither rewritable nor a DVD-RAM, or the writer is not ready).
    virtual int64_t FreeBytes() = 0;
    virtual int64_t CapacityAfterErase() = 0;
    // What the selected writer says of its disc when it answers TEST UNIT READY within
    // readyMs; nothing is loaded or selected again for it (not ready: Ready false).
    virtual DiscRoomFacts DiscFacts(int /*readyMs*/) { return {}; }
    // The room a write that erases first has: after the erase, or the free bytes of a disc that
    // cannot be erased (the write then appends).
    int64_t RoomAfterErase() {
        const int64_t afterErase = CapacityAfterErase();
        return afterErase >= 0 ? afterErase : FreeBytes();
    }
    // The disc in the writer lacks the file (name in destination, dated date in days): it is
    // not there with that date. A writer that cannot read its disc's files sees none there.
    virtual bool FileNeedsBurning(const std::string& /*destination*/, const std::string& /*name*/,
                                  double /*date*/) {
        return true;
    }
    // The transport unloaded at the job's end.
    virtual void Release() = 0;
};

// A run that moved the job's "After:" text and does not reach its end puts the text back, once;
// true when it did, and the job file is then to be saved.
bool PutBackAfterDate(JobRun& run, JobDefinition& job);

class JobStarter {
  public:
    JobStarter(JobSession& session, JobHost& host, DiscWriter& writer)
        : session_(session), run_(session.Run), job_(session.Job), host_(host), writer_(writer) {}

    void StartBackupJob();
    // The job end as the start and its callers run it. The job stops running only when the
    // end ran: an end under way, or a step of the job, ends it instead.
    void EndJob();

    // The file selection and the hand-over to the runner, filled by the parts that own them;
    // true when the runner took the job over. Without it, or false, the start ends the job.
    std::function<bool()> OnSelectAndHandOver;

    DestinationState Destination;
    std::vector<std::string> DestList;
    int64_t MaxZipSize = 0;
    int64_t SpaceReserve = 0;
    int64_t DiscCapacity = 0;
    int64_t TempSpaceMargin = 0;
    int ZipPackLevel = 6;
    std::string ZipDate;
    std::string CsvFileName;
    std::string CatalogNames;
    bool Resumed = false;
    uint32_t AfterDate = 0; // DOS date-time

  private:
    bool Steps();
    void TemporaryFolder();
    bool ChooseDestination();
    bool CheckMissingDestination();
    bool FreshRunJobFile();
    void NamesAndFolders();
    void VolumeSizeRules();
    // What an earlier run left in the run record: the resume lists and the run flags.
    void ResetRunRecord();
    // The destination and the volume names, as the runner goes on with them.
    void TakeOverDestination();

    JobSession& session_;
    JobRun& run_;
    JobDefinition& job_;
    JobHost& host_;
    DiscWriter& writer_;
};

} // namespace job
