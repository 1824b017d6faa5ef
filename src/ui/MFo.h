#pragma once
// The main form: the one long-lived window. It owns the notification-area icon, the window
// states, the settings read at creation, the orderly close, the window-message protocol
// WM_USER+101..123 through which timer ticks, component events and job phases hand work to
// each other, and the program's log. Its methods are split over files by topic:
// MFo.cpp (creation and layout), MFoWindow.cpp (window states, protocol, close paths),
// MFoLog.cpp (logs).

#include "core/DateText.h"
#include "core/ProgramEnvironment.h"
#include "core/ProgramFlags.h"
#include "core/Settings.h"
#include "core/UserFolders.h"
#include "gui/Form.h"
#include "gui/IniFile.h"
#include "gui/TrayIcon.h"

#include <memory>
#include <string>
#include <vector>

namespace gui {
class TAction;
class TButton;
class TLabel;
class TListBox;
class TMainMenu;
class TMemo;
class TPageControl;
class TPopupMenu;
class TProgressBar;
class TTabSheet;
} // namespace gui

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
    TMF(const core::ProgramEnvironment& environment, core::ProgramFlags& flags);
    ~TMF() override;

    // Settings files: the program-folder file, and the user file (the same file while
    // per-user data is off).
    gui::TIniFile& ProgramIni() { return programIni_; }
    gui::TIniFile& UserIni() { return userIni_ ? *userIni_ : programIni_; }
    const std::string& DataDir() const { return folders_.dataDir; }
    const core::UserFolders& Folders() const { return folders_; }
    const core::FormCreationSettings& CreationSettings() const { return creation_; }

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
    gui::TListBox* ListBox2 = nullptr;         // schedules
    gui::TLabel* Label1 = nullptr;             // status line
    gui::TProgressBar* ProgressBar1 = nullptr; // job progress
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
    bool HideInfo = false;

    // Run state owned by the job engine; read here.
    bool JobRunning = false;
    bool Cancelled = false;
    bool JobEndedThisSession = false;
    std::string OpenZipName; // the restore tab's open archive
    std::string JobLogName;
    std::string RestoreLogName;
    std::vector<std::string> RunQueue;          // due time (20 characters) + job file
    std::vector<std::string> JobLogLines;       // the job report's mail body
    std::vector<std::string> ArchiveBitPending; // paths whose archive bit the job will clear
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

  protected:
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void BuildLayout();
    void BuildMenus();
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
    void AppendTo(const std::string& path, const std::string& text, bool stamp, const std::string& firstLine);

    const core::ProgramEnvironment& environment_;
    core::ProgramFlags& flags_;
    gui::TIniFile programIni_;
    std::unique_ptr<gui::TIniFile> userIni_;
    core::UserFolders folders_;
    core::FormCreationSettings creation_;
    bool closing_ = false;
    bool showingMainWindow_ = false;
};

} // namespace ui
