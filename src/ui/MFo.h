#pragma once
// The main form: the one long-lived window. It owns the notification-area icon, the window
// states, the settings read at creation, the orderly close, the window-message protocol
// WM_USER+101..123 through which timer ticks, component events and job phases hand work to
// each other, and the program's log. Its methods are split over files by topic:
// MFo.cpp (creation and layout), MFoWindow.cpp (window states, protocol, close paths),
// MFoLog.cpp (logs), MFoJob.cpp (the job file).

#include "core/DateText.h"
#include "core/LogFile.h"
#include "core/ProgramEnvironment.h"
#include "core/ProgramFlags.h"
#include "core/Settings.h"
#include "core/UserFolders.h"
#include "gui/Application.h"
#include "gui/Form.h"
#include "gui/IniFile.h"
#include "gui/Timer.h"
#include "gui/TrayIcon.h"
#include "job/JobDefinition.h"
#include "job/JobHost.h"
#include "job/JobSession.h"
#include "job/JobStore.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gui {
class TAction;
class TButton;
class TLabel;
class TListBox;
class TMainMenu;
class TMenuItem;
class TMemo;
class TPageControl;
class TPanel;
class TPopupMenu;
class TProgressBar;
class TTabSheet;
} // namespace gui

namespace ui {

class DriveDetector;
class TAppMsg;
class TAspiNotOK;
class TChgFile;
class TDiscTab;
class TFrameCDB;
class TRestoreTab;
class TScheduleTab;
class TCatalogTab;
class TJobTab;
class TMFJobHost;
} // namespace ui

namespace job {
class DiscWriter;
class JobRunner;
class JobDiscStep;
class JobStarter;
class VolumePrep;
} // namespace job
namespace gui {
class FileAttributes;
}

namespace ui {

// The main form's private messages.
enum : UINT {
    WM_TRAY_ICON = WM_USER + 101,
    WM_START_JOB = WM_USER + 111,
    WM_CONTINUE_JOB = WM_USER + 112,
    WM_MINIMIZE_TO_TRAY = WM_USER + 115,
    WM_UPDATE_LOG = WM_USER + 116,
    WM_RESTORE_REGISTRY = WM_USER + 117,
    WM_START_OLD_SERVICE = WM_USER + 118,
    WM_DISC_STEP = WM_USER + 119,
    WM_APPLY_WINDOW_STATE = WM_USER + 120,
    WM_START_UP = WM_USER + 121,
    WM_WRITE_DONE = WM_USER + 122,
    WM_ERASE_DONE = WM_USER + 123,
};

class TMF : public gui::TForm {
  public:
    // frame: the disc-writer frame the program made before this form (none: the form makes one).
    TMF(const core::ProgramEnvironment& environment, core::ProgramFlags& flags,
        std::unique_ptr<TFrameCDB> frame = nullptr);
    ~TMF() override;

    // Settings files: the program-folder file, and the user file (the same file while
    // per-user data is off).
    gui::TIniFile& ProgramIni() { return programIni_; }
    gui::TIniFile& UserIni() { return userIni_ ? *userIni_ : programIni_; }
    const std::string& DataDir() const { return folders_.dataDir; }
    const core::UserFolders& Folders() const { return folders_; }
    const core::FormCreationSettings& CreationSettings() const { return creation_; }
    // The settings the window's controls change; the close writes them.
    core::FormCreationSettings& Creation() { return creation_; }

    // Components under their published names.
    gui::TPageControl* PageControl1 = nullptr;
    gui::TTabSheet* TabSheet1 = nullptr;       // job
    gui::TTabSheet* TabSheet4 = nullptr;       // restore
    gui::TTabSheet* TabSheetCat = nullptr;     // catalogue
    gui::TTabSheet* TabSheet3 = nullptr;       // log
    gui::TTabSheet* TabSheet2 = nullptr;       // schedule
    gui::TTabSheet* TabSheet5 = nullptr;       // CD/DVD
    gui::TListBox* ListBox5 = nullptr;         // log view, newest first
    gui::TMemo* Memo1 = nullptr;               // detail log
    gui::TButton* Button1 = nullptr;           // update the log view
    gui::TPanel* Panel6 = nullptr;             // the schedule tab's two lists
    gui::TListBox* ListBox2 = nullptr;         // schedules
    gui::TLabel* Label1 = nullptr;             // status line
    gui::TProgressBar* ProgressBar1 = nullptr; // job progress
    gui::TLabel* Label2 = nullptr;             // megabytes selected
    gui::TProgressBar* ProgressBar3 = nullptr; // progress of the passes over the file list
    gui::TMainMenu* MainMenu1 = nullptr;
    gui::TPopupMenu* PopupMenu1 = nullptr; // tray menu
    gui::TAction* Startbackup = nullptr;   // "&Start" while no job runs
    gui::TAction* StartRestore = nullptr;  // "&Start" while no restore runs
    gui::TAction* UpdateLog = nullptr;
    gui::TAction* ClearLogAction = nullptr;
    gui::TAction* ClosePrg = nullptr;
    gui::TAction* Hideapplication = nullptr;
    gui::TTrayIcon Tray;

    // Menu states that settings follow.
    bool Showonjobstart = true;
    bool Showhint = true;
    bool Startautomatic = true;

    // Window-state flags.
    bool WindowMinimized = false;
    bool FirstCloseMinimized = false;
    bool CloseWhenCancelled = false;
    bool ExitRequested = false;
    bool WindowStateApplied = false;
    bool DriveChanging = false;
    bool ReadingDevices = false;
    bool RunningAsService = false;
    bool RunAsServiceSet = false; // [Settings] RunAsService: the companion service provides the program
    bool HideInfo = false;

    // The job: its definition, its run and where the run stands. The window shows it.
    job::JobSession Session;
    bool JobEndedThisSession = false;
    std::string OpenZipName; // the restore tab's open archive
    std::string RestoreLogName;
    std::vector<std::string> RunQueue; // due time (20 characters) + job file
    bool LogViewStale = true;
    core::LocaleFormat Locale;

    // Window states and protocol.
    void AppMinimize();
    void AppRestore();
    void AppActivate();
    void FormShow();
    void FormActivate();
    void ShowMainWindow();
    void UpdateCaption();
    void UpdateTrayTip(const std::string& text);
    // The next queued run's due time and job, when one is queued.
    bool ShowNextRunTip();
    void FormCloseQuery(bool& canClose);
    void ClosePrgExecute();
    void HideapplicationExecute();
    void SaveSettings();
    // The user's answer, or No without asking while the window is hidden.
    bool AskYesNo(const std::string& text);

    // Logs.
    void AddToLog(const std::string& text, bool stamp = true);
    void AddToJobLog(const std::string& text, bool stamp = true);
    void AddToRestoreLog(const std::string& text, bool stamp = true);
    void AddToRunLog(const std::string& text, bool stamp = true);
    void UpdateLogExecute();
    void ClearLog(bool ask);
    // Appends the pending paths to the archive-bit list in the program folder and empties them.
    void FlushAttributeList();
    std::string ProgramLogPath() const;
    std::string LogFolder() const;
    // A job's logs under their name: the program, job and run logs stay open from here to
    // EndJobLog instead of being opened per line. The job start begins the mail body afresh.
    void BeginJobLog(const std::string& jobLogName);
    void EndJobLog();
    // The same for a restore's logs.
    void BeginRestoreLog(const std::string& restoreLogName);
    void EndRestoreLog();

    // Steps owned by the job, schedule, disc and start-up parts of the program; they do
    // nothing until those parts fill them.
    std::function<void()> OnStartJob;
    std::function<void()> OnContinueJob;
    std::function<void()> OnRestoreRegistry;
    std::function<void(bool fromTemporaryCopy)> OnDiscStep;
    std::function<void()> OnStartUp;
    std::function<void(bool failed)> OnWriteDone;
    std::function<void(bool failed)> OnEraseDone;
    std::function<void()> OnEvaluateSchedules;
    std::function<void()> OnCancelRunningJob;
    std::function<void()> OnReleaseDriveLock;

    // The selection of a fresh run: the job's lists into the run's FilestoZipList. False when
    // it was cancelled (the cancelled start has then ended through OnSelectionCancelled).
    bool SelectJobFiles();
    std::function<bool()> ReadCatalogs; // the job's catalogues into the run's CatalogList
    std::function<void()> OnSelectionCancelled;

    // --- Start-up sequence, timer and small dialogs (MFoStartUp.cpp, MFoTimer.cpp) ---
    gui::TTimer Timer1; // one second; asks for the start-up, then the minute work
    void Timer1Timer();
    void StartUp();
    // Deletes the resume state of an unfinished job (".ftz", ".tfl", ".run").
    void DiscardResumeState();
    // The same for a run given up rather than ended: the archive bits of its list are set
    // again first (a few files are backed up twice, none is left out).
    void AbandonUnfinishedRun();
    void RunAfterStartPrograms();
    std::string ResumeStatePath(const std::string& extension) const;
    // Every modal form runs through here: Timer1 stops meanwhile and restarts on every way out.
    int RunModal(const std::function<int()>& show);
    // Timer1 stopped for a dialog of several forms and boxes, started again (when it ran) on
    // every way out, after the last of them.
    class TimerStopped {
      public:
        explicit TimerStopped(TMF& form);
        ~TimerStopped();
        TimerStopped(const TimerStopped&) = delete;
        TimerStopped& operator=(const TimerStopped&) = delete;

      private:
        gui::TTimer& timer_;
        bool enabled_;
    };
    // A message box titled "Tarnwick"; while Hidden nothing is shown and the default button
    // (1 or 2) is the answer.
    int ShowBox(const std::string& text, gui::TMsgButtons buttons, gui::TMsgIcon icon, int defaultButton);
    void AboutDlgShowExecute();
    gui::TAction* AboutDlgShow = nullptr;
    std::unique_ptr<TAppMsg> AppMsg1;
    std::unique_ptr<TChgFile> ChgFile1;
    std::unique_ptr<TAspiNotOK> NoAspi1;
    // The drives as start-up found them: names (the drive list), the destination writer
    // choices ("Use path" first), capability sets, letters of writers and of readers.
    std::unique_ptr<DriveDetector> Drives;
    std::vector<std::string> DeviceNames;
    std::vector<uint32_t> DeviceCapabilities;
    std::vector<std::string> WriterChoices; // the job's WriterIndex picks one
    int SelectedDrive = -1;
    std::string CDDriveList;
    std::string ReadonlyDriveList;
    int StartUpTicks = 0;
    bool StartUpDone = false;
    int MinuteTicks = 0;
    int64_t ScheduleMinutes = 0;
    int64_t ScheduleFileAge = -1;
    double NextRunTime = 0;
    std::string NextRunJob;
    double StartedRunDue = 0; // due time of the last run the timer started
    bool AspiLoaded = false;
    bool KeepResumeState = false;
    bool CloseAfterReminderJob = false;
    bool ExecuteAfterPending = false;
    bool DiscWriteStarted = false;
    std::string ReminderJob;
    std::vector<std::string> SavedRunQueue; // the ".sac" lines, as RunQueue's entries
    // Filled by the parts that own them; empty they do nothing (or answer as noted).
    std::function<int64_t()> OnScheduleFileAge;        // the schedule file's write time; none: -1
    std::function<void()> OnBurnStatusTick;            // the burn status line, every tick
    std::function<bool()> OnDiscBusy;                  // writing, erasing, burning; none: idle
    std::function<void()> OnShowFreeSpace;             // the destination's free space (Edit7Exit)
    std::function<void(int64_t)> OnShowFreeBytes;      // the room the engine computed, shown
    std::function<void()> OnShowDriveSpeeds;           // the selected drive's speeds
    std::function<void()> OnJobEnd;                    // the job end after a cancellation
    std::function<bool(const std::string&)> OnLoadJob; // tests: instead of LoadJob
    // The job's disc writer, shared by the start and the destination field; tests hand
    // in their own before the first use.
    std::function<std::unique_ptr<job::DiscWriter>()> OnMakeDiscWriter;
    job::DiscWriter& JobDiscWriter();
    // --- Menus, tabs and log actions (MainMenus.cpp).
    // Commands the user gives run inside one: their questions show even while Hidden. Keys
    // and clicks on any control open one by themselves (the class library's input scope);
    // timers and the program's own messages suspend it.
    class UserCommandScope {
      public:
        explicit UserCommandScope(TMF&) {}

      private:
        gui::TUserInputScope input_;
    };
    bool InUserCommand() const { return gui::InUserInput(); }
    gui::TAction* SaveLog = nullptr;
    gui::TAction* OpenLogFile = nullptr;
    gui::TAction* HelpIndhold = nullptr;
    gui::TAction* inclSysState = nullptr;
    void PageControl1Change();
    // The job actions and drive controls off while a job, burn or erase runs, and on again.
    void DisableActions();
    void EnableActions();
    // False from DisableActions to EnableActions: a job, burn or erase owns the job's state.
    bool ActionsEnabled() const { return actionsEnabled_; }
    void SaveLogExecute();
    void OpenLogFileExecute();
    // "Hide &Icon": the icon stays away, the minute's re-add included, until the window shows.
    bool IconHidden = false;
    // --- The companion service (ServiceInstall.cpp).
    gui::TMenuItem* RunAsService1 = nullptr;
    std::string ServiceName = "Quillet2CD";
    HKEY ServiceKeyRoot = HKEY_LOCAL_MACHINE;
    std::string ServiceKeyPath = "\\SYSTEM\\CurrentControlSet\\Services\\Quillet2CD\\";
    void RunAsService1Click();
    // --- Menu lock (MenuLock.cpp). An empty MenuPassword is no lock.
    std::string MenuPassword;
    gui::TAction* lockmenu = nullptr;
    void lockmenuExecute();
    void SetMenuLock();
    void UnlockMenu();
    void UpdateLockMenuCaption();
    // A menu password that could not be written or removed: the log and a box.
    void ReportMenuLockNotStored(const std::string& text);
    // The one-line entry form ("*" shown for each character when masked), Timer1 stopped
    // meanwhile; false when not confirmed.
    bool EntryForm(const std::string& caption, std::string& text, bool masked);
    // --- Backup tab (JobTab.cpp): the job editor over Session.Job.
    std::unique_ptr<TJobTab> JobTab;
    // --- Restore tab (MFoRestore.cpp): its controls, state and handlers.
    std::unique_ptr<TRestoreTab> RestoreTab;
    bool RestoreRunning() const;
    // --- Schedule tab (ScheduleTab.cpp): the schedule files, the evaluation, "S&tart Automatic".
    std::unique_ptr<TScheduleTab> ScheduleTab;
    // --- Catalog tab (CatalogTab.cpp): the browser and the job's catalogues.
    std::unique_ptr<TCatalogTab> CatalogTab;
    // --- The disc side: the disc-writer frame, write and erase done, the drives tab, burning
    // one file (MFoDiscs.h).
    std::unique_ptr<TDiscTab> DiscTab;
    const core::ProgramEnvironment& Environment() const { return environment_; }
    core::ProgramFlags& Flags() { return flags_; }

    // The job file, into and from Session.Job. Loads and saves do nothing until the start-up
    // sequence has run. A load of a missing file leaves the job as it was and answers false;
    // a damaged file throws job::EJobFileError naming it. A save reports its failures in the log
    // and answers false; the job then keeps its name.
    bool LoadJob(const std::string& name);
    bool SaveJob(const std::string& name);
    bool JobFileBusy() const { return jobStore_->JobFileBusy(); }
    // How the engine reaches this window.
    job::JobHost& Host() { return *jobHost_; }
    // The job start (WM_USER+111 and the start action): the checks, the selection, then the
    // hand-over. OnHandOver is the runner's; while it is empty the job ends after the selection.
    void StartBackupJob();
    std::function<bool()> OnHandOver;
    // The runner of the job handed over (none before the first); archive bits through
    // JobAttributes when set (tests), else the system's.
    job::JobRunner* Runner() { return runner_.get(); }
    job::JobDiscStep* DiscStepper() { return discStep_.get(); }
    gui::FileAttributes* JobAttributes = nullptr;
    // The start action: a start, or the cancel of the running job after asking.
    void StartbackupExecute();
    // The job end as the start and the timer's cancel minute run it.
    void EndJob();
    // The mail settings and the job's programs before and after, from the menu.
    gui::TAction* EmailSetup = nullptr;
    gui::TAction* PrePostRun = nullptr;
    void EmailSetupExecute();
    void PrePostRunExecute();
    // The window after a job's end: idle again.
    void ShowJobEnded(bool cancelled);
    // After a load or save has changed the job: the job editor shows it in its controls.
    std::function<void()> OnJobShown;

  protected:
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void BuildLayout();
    void BuildMenus();
    void BuildMenuLock();
    void BuildMainMenus();
    void BuildServiceMenu();
    void WriteServiceStart(int start);
    void InstallService();
    void RemoveService();
    void SetActionsEnabled(bool enabled);
    bool actionsEnabled_ = true;
    std::string saveLogName_;
    void ApplyMenuLockSettings();
    std::optional<bool> lockShown_;
    void FormCreate();
    void FindUserFolders();
    void ApplyHints();
    void MinimizeToTray();
    void ApplyWindowState();
    void StartOldServiceProgram();
    void PointOldServiceAt(const std::string& program);
    void TrayIconMessage(LPARAM mouseMessage);
    std::string StampText() const;
    std::string JobNameShown() const;
    void EvaluateSchedules();
    // fallBack false: the line is already in the program log, so a failing file only notes why.
    core::LogWritten AppendTo(const std::string& path, const std::string& text, bool stamp,
                              const std::string& firstLine, bool fallBack);
    void WriteJobLog(const std::string& text, bool stamp, bool fallBack);
    void WriteRestoreLog(const std::string& text, bool stamp, bool fallBack);
    void WriteRunLog(const std::string& text, bool stamp, bool fallBack);

    const core::ProgramEnvironment& environment_;
    core::ProgramFlags& flags_;
    // A log line that cannot be written goes to the program folder's log, never to an error.
    core::TLogFiles logFiles_{environment_.ProgramFolder() + environment_.ProgramBaseName() + ".log",
                              [this] { return StampText(); }};
    // Whether the job and the restore hold the log files open; each lets go once.
    bool jobLogHeld_ = false;
    bool restoreLogHeld_ = false;
    gui::TIniFile programIni_;
    std::unique_ptr<gui::TIniFile> userIni_;
    core::UserFolders folders_;
    core::FormCreationSettings creation_;
    bool closing_ = false;
    bool showingMainWindow_ = false;
    // Start-up and timer.
    void CreateStartUpParts();
    void LoadTransport();
    void DetectDrives(bool crashed);
    void ProbeDrives(const std::string& versionText);
    void OfferResume();
    void RemindOfBackup();
    void WriteRunValue();
    bool LoadJobNamed(const std::string& name);
    void MinuteWork();
    void CheckSchedules();
    void TakeFirstRun();
    bool startUpRunning_ = false;
    bool cancelJobEndDone_ = false;
    bool cancelSeen_ = false;
    // The first destination of the job's field, as the job start takes it apart.
    std::string FirstDestination() const;

    // The job file.
    friend class TMFJobHost;
    void ShowJob();
    void UpdateJobLocation();
    static std::unique_ptr<job::JobHost> MakeJobHost(TMF& form);
    std::unique_ptr<job::JobHost> jobHost_ = MakeJobHost(*this);
    static std::unique_ptr<job::JobStore> MakeJobStore(job::JobHost& host);
    std::unique_ptr<job::JobStore> jobStore_ = MakeJobStore(*jobHost_);
    void ConnectJob();
    job::JobStarter& Starter();
    std::unique_ptr<job::DiscWriter> jobDisc_;
    std::unique_ptr<job::JobStarter> starter_;
    // The runner (MFoRunner.cpp).
    void ConnectRunner();
    bool HandOverToRunner();
    void ReminderJobEnded(bool succeeded, bool hadProblem);
    std::unique_ptr<job::JobRunner> runner_;
    std::unique_ptr<job::VolumePrep> volumePrep_;
    std::unique_ptr<job::JobDiscStep> discStep_;
};

} // namespace ui
