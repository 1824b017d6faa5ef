#pragma once
// The one way the job engine reaches the window. The main form implements it; tests and the
// console drivers derive from WindowlessHost, so the engine runs whole without a window.
// It is made of a few small roles, each saying what the engine needs, not how the window
// does it: what the job reports, how its time passes, what it asks, and the few facts of
// the program it reads. A new need becomes a member of one of them, named by meaning.

#include "core/DateText.h"
#include "core/Settings.h"
#include "gui/Prompter.h"
#include "job/RunState.h"

#include <cstdint>
#include <string>
#include <vector>

namespace disc {
class TDiscBurner;
}

namespace job {

struct DiscWriteState;

// What the job tells: log lines and the window's status and progress.
class JobReporting {
  public:
    virtual ~JobReporting() = default;
    // One line of the program log (mirrored into the running job's log).
    virtual void AddToLog(const std::string& text) = 0;
    // A line of the running job's log only; unstamped lines go as written.
    virtual void AddToJobLog(const std::string& text, bool stamp = true) = 0;
    // The job's text log, the file zipped last.
    virtual void AddToRunLog(const std::string& text) = 0;
    // The run's logs are written under this job log name from now on, kept open until the
    // window follows the job's end.
    virtual void BeginJobLog(const std::string& jobLogName) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetTotalText(const std::string& text) = 0; // the megabytes selected
    // The passes over the file list.
    virtual void SetPassProgress(int position, int maximum) = 0;
    // The whole job, shown on the window and in the tray tip.
    virtual void SetJobProgress(int percent) = 0;
    // The destination's free space, measured again during a volume.
    virtual void ShowDestFreeSpace(int64_t bytes) = 0;
    // Why the job stops or changes course: the status line and the program log.
    virtual void ShowStatusAndLog(const std::string& text) = 0;
};

// How the job's time passes while the window stays alive.
class JobFlow {
  public:
    virtual ~JobFlow() = default;
    // Messages are pumped meanwhile, so timer ticks and posted messages run nested inside
    // and may call back into the engine.
    virtual void Wait(int milliseconds) = 0;
    // Pump now (the loops' status points), or at most once per short interval (per entry).
    virtual void Pump() = 0;
    virtual void PumpIfDue() = 0;
    // The cancel state of the running job.
    virtual bool Cancelled() = 0;
    virtual void SetCancelled(bool cancelled) = 0;
    // The job is alive: the minute watchdog starts counting again.
    virtual void ResetWatchdog() = 0;
    // The runner's next step, through the window's queue (a zip run's end, a disc step's).
    virtual void PostContinueJob() = 0;
    // The volume to the disc step; writeNow when the temporary drive cannot hold another.
    virtual void PostDiscStep(bool writeNow) = 0;
};

// What the job asks or shows, through the prompter.
class JobQuestions {
  public:
    virtual ~JobQuestions() = default;
    // The window is hidden: no boxes, no status between queue entries.
    virtual bool Hidden() = 0;
    // A box with OK; callers show it only when not hidden.
    virtual void ShowMessage(const std::string& text, gui::TMsgIcon icon = gui::TMsgIcon::Warning) = 0;
    void ShowWarning(const std::string& text) { ShowMessage(text, gui::TMsgIcon::Warning); }
    // A Yes/No question; No without asking while hidden.
    virtual bool AskYesNo(const std::string& text, gui::TMsgIcon icon = gui::TMsgIcon::Warning) = 0;
    // An OK/Cancel box; Cancel without asking while hidden.
    virtual bool AskOkCancel(const std::string& text, gui::TMsgIcon icon = gui::TMsgIcon::Stop) = 0;
};

// The drives as the start-up found them.
struct DiscDrives {
    bool TransportLoaded = false;
    bool PreferInternal = false; // the built-in pass-through before the driver library
    std::string WriterLetters;   // drives that write discs
    std::string ReadonlyLetters; // disc drives that only read
    // The job's writer choice picks one of these ("Use path" first).
    std::vector<std::string> WriterChoices;
};

// The few facts of the program the job reads, and the files it keeps through the program.
class ProgramFacts {
  public:
    virtual ~ProgramFacts() = default;
    virtual bool StartUpDone() = 0;
    // Folders with a trailing "\": the program's, and "<base>" (the per-user data folder
    // or the program folder).
    virtual std::string ProgramFolder() = 0;
    virtual std::string ProgramFile() = 0;
    virtual std::string DataBase() = 0;
    // The user folders as the registry names them: the application-data folder + user name
    // + "\"; empty when unknown.
    virtual std::string UserFolders() = 0;
    // With a trailing "\"; stored in the settings files when set.
    virtual std::string TempPath() = 0;
    virtual void SetTempPath(const std::string& path) = 0;
    // The start's temporary folder, found in place of one that could not be made: the folder
    // the user typed for it is tried once more and wins when it can be made; then stored as
    // above.
    virtual void SetFoundTempPath(const std::string& found) = 0;
    virtual bool UseTempFile() = 0;
    // The setting changed for good (and written to the settings file).
    virtual void SetUseTempFile(bool on) = 0;
    // [Settings] UseCDR: a CD drive used as a drive wants room for a volume in the temporary
    // folder. Off for the rest of the program's run once the user goes on without it.
    virtual bool UseCDR() = 0;
    virtual void ClearUseCDR() = 0;
    virtual bool WindowsXP() = 0;
    virtual core::OsVersion Os() = 0;
    // The Windows folder without, the system's temporary folder with a trailing "\".
    virtual std::string WindowsFolder() = 0;
    virtual std::string SystemTempPath() = 0;
    virtual core::LocaleFormat Locale() = 0;
    // Switch /L: what is written back is described in full.
    virtual bool DetailLog() = 0;
    // /C, or /H with a job named by /=: the program ends after its job.
    virtual bool CloseAfterJob() = 0;
    // [Settings] InfiniteWait: the minutes a hidden program waits, idle or for an answer,
    // before it gives up.
    virtual int HiddenWaitMinutes() = 0;
    virtual DiscDrives Drives() = 0;
    // The job file the program has loaded, by name.
    virtual std::string JobName() = 0;
    virtual void LoadJob(const std::string& name) = 0;
    virtual void SaveJob(const std::string& name) = 0;
    virtual void WriteLastJob(const std::string& name) = 0;
    // A volume not written after all: its lines leave the job's catalogues, so a run that
    // judges changes by them takes its files again.
    virtual void UncatalogueZip(const std::string& zipName) = 0;
    // The resume state: kept (the start-up offered it) or discarded; the job named in it
    // (JobName empty when there is none). Discarded when the run is over: its archive-bit list
    // stays until the next start deletes it.
    virtual bool KeepResumeState() = 0;
    virtual void DiscardResumeState() = 0;
    // An unfinished run given up: the archive bits its list names are set again before the
    // state goes, so the files of its lost volume are taken by the next backup.
    virtual void AbandonUnfinishedRun() = 0;
    virtual RunStateValues ResumeValues() = 0;
    // /V: every volume write is read back.
    virtual bool VerifyWrites() = 0;
};

// How the window follows the job's course.
class JobWindow {
  public:
    virtual ~JobWindow() = default;
    // A new report: the log view refreshed.
    virtual void BeginReport() = 0;
    virtual void CloseStatusBox() = 0;
    // The status box with a notice and its OK button; never modal.
    virtual void ShowStatusBox(const std::string& text) = 0;
    // A prompt is due: a minimised window is shown first; true when it was minimised.
    virtual bool ShowWindowForPrompt() = 0;
    // After such a prompt the window goes back down and stays hidden for the job.
    virtual void MinimizeAfterPrompt() = 0;
    // Labels cleared, start, job and menu actions disabled; with cancel the start action
    // reads "&Cancel" and is enabled again.
    virtual void ShowJobStarting() = 0;
    virtual void ShowCancelAction() = 0;
    // Minimises or shows the window as the hide switches and "show on job start" say; true
    // when a minimised window was shown for the job (it goes back down at the job's end).
    virtual bool ArrangeWindowForJob() = 0;
    // A close asked for during an earlier job is not this job's.
    virtual void ClearCloseRequest() = 0;
    // Paths whose archive bit the job will clear, and their flush to the archive-bit list.
    virtual std::vector<std::string>& ArchiveBitPending() = 0;
    virtual void FlushAttributeList() = 0;
    // Mail is set up (recipient, server and port); SendJobMail mails the lines with the
    // attachment.
    virtual bool MailConfigured() = 0;
    virtual void SendJobMail(const std::vector<std::string>& body, const std::string& suffix,
                             const std::string& attachment) = 0;
    // The window after a job: actions enabled, the start action reads "&Start", the
    // catalogue list emptied, the disc layer unloaded, the window state saved.
    virtual void JobEnded(bool cancelled) = 0;
    // Closes the main window (the program ends after the job).
    virtual void CloseMainWindow() = 0;
    // A close was asked for while the job ran: the window closes when the job ends.
    virtual bool CloseWhenJobEnds() = 0;
    // After the job's last step: a hidden window, or one asked to close, is minimised while
    // schedules wait, else closed when asked; the tray tip names the next run.
    virtual void ArrangeWindowAfterJob() = 0;
    // A window that was minimised when the job started, and shown for it, goes back down and
    // stays hidden (no boxes).
    virtual void MinimizeAfterJob() = 0;
    // The end phase is over (succeeded: reached without a cancel). The backup reminder's job
    // starts the reminder's day count again and tells the user how it went.
    virtual void ReminderJobEnded(bool succeeded, bool hadProblem) = 0;
};

// What a restore shows: its own log, status line, bar and Cancel action, and its questions.
class RestoreWindow {
  public:
    virtual ~RestoreWindow() = default;
    // A line of the restore's log; unstamped lines (the hex of detailed logging) go as written.
    virtual void AddToRestoreLog(const std::string& text, bool stamp = true) = 0;
    virtual void SetRestoreStatus(const std::string& text) = 0;
    virtual void SetRestoreProgress(int position, int maximum) = 0;
    // While a restore runs its action is the Cancel button; afterwards it reads "&Start".
    virtual void ShowRestoreRunning(bool running) = 0;
    virtual bool RestoreCancelled() = 0;
    // Yes/No with No the default (exclamation icon); No without asking while hidden.
    virtual bool ConfirmRestore(const std::string& text) = 0;
    // The masked text entry; false when cancelled.
    virtual bool AskPassword(const std::string& prompt, std::string& text) = 0;
    // The open dialog for a part of a spanned archive, preset with fileName; true and the
    // chosen file in fileName when one was chosen (never while hidden).
    virtual bool ChooseArchivePart(const std::string& filter, std::string& fileName) = 0;
    // The program's numbered logs' folder ("\" ended), and the restore's log in it (none: empty).
    virtual std::string LogFolder() = 0;
    virtual void SetRestoreLogName(const std::string& file) = 0;
    // A backup starts: the restore side is no longer verifying.
    virtual void ClearRestoreVerify() = 0;
};

// The disc-writer component of the window's frame and the state a write runs by. The frame is
// made anew after every write and erase, so the component is taken for each use and let go
// before any pumped wait (BurnerCall in JobDiscStep.h does both).
class DiscWriting {
  public:
    virtual ~DiscWriting() = default;
    // None: the program has no disc side here.
    virtual disc::TDiscBurner* BeginBurnerUse() { return nullptr; }
    virtual void EndBurnerUse() {}
    virtual DiscWriteState* DiscState() { return nullptr; }
    // The error text of the last write, kept beyond the frame that wrote.
    virtual std::string BurnErrorText() { return {}; }
    // The transport loaded (the internal pass-through when the drives tab says so), and let
    // go again; never under a running write or erase.
    virtual bool LoadDiscTransport() { return false; }
    virtual void ReleaseDiscTransport() {}
    // The user's preferred speed set on the drive; the speed in use.
    virtual int ApplyPreferredWriteSpeed() { return 0; }
    // The disc's earlier sessions into the component's image tree: false when they could not
    // be read or hold no file system.
    virtual bool ImportSessionX() { return true; }
    // The last ImportSessionX could not read the disc (not ready, or a read failed): it may
    // hold anything.
    virtual bool DiscSessionsUnread() { return false; }
    // The drives tab's boxes: leave the tray closed, and eject only after a verified write.
    virtual bool DoNotOpenDisc() { return false; }
    virtual bool LeaveDiscOpen() { return false; }
    // The device-change notices of a disc put in or taken out.
    virtual bool DiscArrived() { return false; }
    virtual bool DiscRemoved() { return false; }
    virtual void ClearDiscNotices() {}
};

class JobHost : public JobReporting,
                public JobFlow,
                public JobQuestions,
                public ProgramFacts,
                public JobWindow,
                public RestoreWindow,
                public DiscWriting {};

} // namespace job
