#pragma once
// The one entry into a backup run: guards and resets, the temporary folder, the resume
// offer, the job file, the destination and the choice between a disc writer and a plain
// drive or folder, the volume size, the names of the job's log and catalogue, the program
// before the job, and the hand-over to the file selection. Every early end runs the job end.
//
// The start runs on the GUI thread and waits in pumped steps, so timer ticks and posted
// messages run inside it; while it runs, the job end guard keeps their ends out.

#include "core/DateText.h"
#include "job/DriveSpace.h"
#include "job/JobDefinition.h"
#include "job/JobEnd.h"
#include "job/JobHost.h"
#include "job/JobRun.h"
#include "job/RunState.h"

#include <functional>
#include <string>
#include <vector>

namespace job {

// What the start needs of the window beyond JobHost.
class StartWindow {
  public:
    virtual ~StartWindow() = default;
    virtual bool JobRunning() = 0;
    virtual void SetJobRunning(bool running) = 0;
    virtual bool StartUpDone() = 0;
    // The job's mail body is emptied, the log view refreshed.
    virtual void BeginReport() = 0;
    virtual void CloseStatusBox() = 0;
    // TempPath with a trailing "\"; stored in the settings files when set.
    virtual std::string TempPath() = 0;
    virtual void SetTempPath(const std::string& path) = 0;
    // Labels cleared, start, job and menu actions disabled; with cancel the start action
    // reads "&Cancel" and is enabled again.
    virtual void ShowJobStarting() = 0;
    virtual void ShowCancelAction() = 0;
    // Minimises or shows the window as the hide switches and "show on job start" say.
    virtual void ArrangeWindowForJob() = 0;
    // The resume state: kept (the start-up offered it) or discarded; the job named in it.
    virtual bool KeepResumeState() = 0;
    virtual void DiscardResumeState() = 0;
    // The section Running of the resume file; JobName empty when there is none.
    virtual RunStateValues ResumeValues() = 0;
    virtual bool AskYesNo(const std::string& text) = 0; // the warning-icon question
    // The job file.
    virtual std::string JobName() = 0;
    virtual void LoadJob(const std::string& name) = 0;
    virtual void SaveJob(const std::string& name) = 0;
    virtual void WriteLastJob(const std::string& name) = 0;
    // The disc layer and the drives as the start-up found them.
    virtual bool AspiLoaded() = 0;
    virtual bool InitDiscLayer() = 0; // initialised (again) when it is not
    virtual std::string CDDriveList() = 0;
    virtual std::string ReadonlyDriveList() = 0;
    virtual void SelectBurnerDevice() = 0;
    virtual int64_t DiscCapacity(bool afterErase) = 0;
    // "<base>": the per-user data folder or the program folder, with a trailing "\".
    virtual std::string DataBase() = 0;
    virtual std::string ProgramFolder() = 0;
    virtual std::string ProgramFile() = 0;
    virtual bool UseTempFile() = 0;
    virtual bool WindowsXP() = 0;
    virtual std::string JobLogName() = 0;
    virtual void SetJobLogName(const std::string& name) = 0;
    virtual bool CloseAfterJob() = 0;
    virtual std::vector<std::string>& MailBody() = 0;
    virtual core::LocaleFormat Locale() = 0;
    virtual void SetStatusCancelledText(const std::string& text) = 0; // Label1, logged too
    // The file selection and the hand-over to the runner, filled by the parts that own them.
    // Without them the run ends after the checks.
    std::function<void()> OnSelectAndHandOver;
};

class JobStarter {
  public:
    JobStarter(JobRun& run, JobDefinition& job, JobHost& host, StartWindow& window, JobEndGuard& guard)
        : run_(run), job_(job), host_(host), window_(window), guard_(guard) {}

    void StartBackupJob();
    // The job end as the start and its callers run it.
    void EndJob();

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

    JobRun& run_;
    JobDefinition& job_;
    JobHost& host_;
    StartWindow& window_;
    JobEndGuard& guard_;
};

} // namespace job
