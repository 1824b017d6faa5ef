// The main form's window states, the window-message protocol and the close paths.
#include "ui/MFo.h"

#include "core/PathText.h"
#include "core/multinst.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/Label.h"
#include "gui/ListBox.h"
#include "gui/Menu.h"
#include "gui/PageControl.h"
#include "gui/ProgressBar.h"
#include "gui/Prompter.h"
#include "gui/Shell.h"
#include "gui/TextTrim.h"
#include "gui/Wait.h"
#include "job/Schedules.h"
#include "ui/MFoDiscs.h"

namespace ui {

namespace {
constexpr char shutdownQuestion[] = "Are you sure that the running backup job shall be shutdown";
constexpr char shutdownStatus[] = "Shutdown in progress wait";

} // namespace

LRESULT TMF::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    auto run = [](const std::function<void()>& step) {
        if (step) step();
    };
    std::optional<UserCommandScope> userCommand;
    std::optional<gui::TOwnWorkScope> ownWork;
    if (message == WM_COMMAND || message == WM_TRAY_ICON || message == WM_DROPFILES)
        userCommand.emplace(*this);
    else if (message > WM_TRAY_ICON && message <= WM_ERASE_DONE)
        ownWork.emplace();
    switch (message) {
    case WM_TRAY_ICON:
        TrayIconMessage(lParam);
        return 0;
    case WM_START_JOB:
        run(OnStartJob);
        return 0;
    case WM_CONTINUE_JOB:
        run(OnContinueJob);
        return 0;
    case WM_MINIMIZE_TO_TRAY:
        MinimizeToTray();
        return 0;
    case WM_UPDATE_LOG:
        UpdateLog->Execute();
        return 0;
    case WM_RESTORE_REGISTRY:
        run(OnRestoreRegistry);
        return 0;
    case WM_START_OLD_SERVICE:
        StartOldServiceProgram();
        return 0;
    case WM_DISC_STEP:
        if (OnDiscStep) {
            OnDiscStep(wParam > 0);
        } else {
            // Without a disc step the runner would wait for an answer for ever: the job is
            // cancelled, its finished volumes stay where they were built and its archive bits
            // come back, so the next run takes the same files.
            AddToLog("Job cancelled, writing to a disc during a job is not available here; "
                     "the volumes stay in " +
                     flags_.TempPath);
            Session.Cancelled = true;
            PostMessageA(Handle(), WM_CONTINUE_JOB, 0, 0);
        }
        return 0;
    case WM_APPLY_WINDOW_STATE:
        ApplyWindowState();
        return 0;
    case WM_START_UP:
        run(OnStartUp);
        return 0;
    case WM_WRITE_DONE:
        if (OnWriteDone) OnWriteDone(wParam == 1);
        return 0;
    case WM_ERASE_DONE:
        if (OnEraseDone) OnEraseDone(wParam == 1);
        return 0;
    case WM_QUERYENDSESSION:
        // Windows is logging off or shutting down: save what a close would save.
        DefaultHandler(message, wParam, lParam);
        run(OnReleaseDriveLock);
        SaveSettings();
        Tray.Remove();
        return 1;
    default:
        return TForm::WndProc(message, wParam, lParam);
    }
}

void TMF::TrayIconMessage(LPARAM mouseMessage) {
    if (mouseMessage == WM_LBUTTONDOWN) {
        ShowMainWindow();
    } else if (mouseMessage == WM_RBUTTONDOWN) {
        SetForegroundWindow(Handle());
        POINT cursor{};
        GetCursorPos(&cursor);
        PopupMenu1->Popup(cursor.x, cursor.y);
        PostMessageA(Handle(), WM_NULL, 0, 0);
    }
}

void TMF::MinimizeToTray() {
    if (!flags_.AutoStarted) ShowWindow(gui::Application().Handle(), SW_SHOWNORMAL);
    for (int pass = 0; pass < 3; ++pass)
        gui::ProcessMessages();
    gui::Application().Minimize();
}

void TMF::AppMinimize() {
    flags_.ActivatedByOther = false;
    if (flags_.HideWindow || flags_.AutoStarted) {
        flags_.AutoStarted = false;
        ShowWindow(gui::Application().Handle(), SW_HIDE);
        flags_.Hidden = true;
    }
    if (!Session.Running()) ShowNextRunTip();
    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
    WindowMinimized = true;
}

bool TMF::ShowNextRunTip() {
    if (RunQueue.empty()) return false;
    const std::string& next = RunQueue.front();
    const std::string jobName = job::RunQueueJob(next);
    const std::optional<std::string> due = job::RunQueueDueText(next, Locale);
    UpdateTrayTip(due ? *due + " - " + jobName : jobName);
    return true;
}

void TMF::AppRestore() {
    IconHidden = false;
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
    WindowMinimized = false;
    flags_.Hidden = false;
}

void TMF::AppActivate() {
    // "Hide Icon" keeps it away until the window is restored.
    if (!IconHidden)
        Tray.Add(Handle(), LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1)),
                 gui::Application().Title());
    if (flags_.ActivatedByOther) flags_.Hidden = false;
    flags_.ActivatedByOther = false;
    UpdateCaption();
}

void TMF::FormShow() {
    if (RunQueue.empty()) EvaluateSchedules();
}

void TMF::FormActivate() {
    if (DriveChanging) return;
    if (flags_.AutoStarted || flags_.HideWindow) SendMessageA(Handle(), WM_MINIMIZE_TO_TRAY, 0, 0);
    UpdateLockMenuCaption();
    UpdateCaption();
    std::string tip = core::JobBaseName(flags_.JobName);
    const int max = ProgressBar1->Max();
    const int percent = max > 0 ? static_cast<int>(100LL * ProgressBar1->Position() / max) : 0;
    if (percent >= 1) tip += " " + std::to_string(percent) + "%";
    UpdateTrayTip(tip);
}

void TMF::UpdateCaption() {
    if (flags_.Hidden) return;
    const std::string name = PageControl1->ActivePage() == TabSheet4 ? core::JobBaseName(OpenZipName)
                                                                     : core::JobBaseName(flags_.JobName);
    gui::Application().SetTitle("Tarnwick - " + name);
    SetCaption("Tarnwick - " + name);
    UpdateTrayTip(name);
}

void TMF::UpdateTrayTip(const std::string& text) {
    Tray.SetTip(text);
}

void TMF::ShowMainWindow() {
    if (showingMainWindow_) return;
    showingMainWindow_ = true;
    gui::TApplication& application = gui::Application();
    auto bringUp = [&] {
        SetWindowState(gui::TWindowState::wsNormal);
        ShowWindow(application.Handle(), SW_RESTORE);
        SetForegroundWindow(Handle());
        core::ForceForegroundWindow(Handle());
    };
    bringUp();
    if (flags_.Hidden) flags_.Hidden = Handle() != GetForegroundWindow();
    if (flags_.Hidden) {
        SetStayOnTop(true);
        Tray.Add(Handle(), LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(1)), application.Title());
        for (int attempt = 0; attempt < 10 && flags_.Hidden; ++attempt) {
            gui::Wait(100, false);
            bringUp();
            flags_.Hidden = Handle() != GetForegroundWindow();
        }
    }
    if (!flags_.Hidden) {
        flags_.HideWindow = false;
        AppRestore();
    }
    SetStayOnTop(false);
    UpdateTrayTip(core::JobBaseName(flags_.JobName));
    UpdateCaption();
    showingMainWindow_ = false;
}

void TMF::ApplyWindowState() {
    if (WindowStateApplied) return;
    WindowStateApplied = true;
    core::WriteConfigData(programIni_, folders_.documentsFolder, folders_.dataDir,
                          folders_.applicationDataPath);
    const core::LastStateSettings last = core::ReadLastState(programIni_, Top(), Left(), Height(), Width());
    SetBounds(last.left, last.top, last.width, last.height);
    if (last.useDefault) return;
    // A start asked to be hidden (/H) stays hidden whatever the last session left: shown, an
    // unattended job would put its questions on the screen, and it would not close the
    // program after the job.
    if (flags_.HideWindow) return;
    flags_.HideWindow = last.hidden;
    if (last.minimized)
        PostMessageA(Handle(), WM_MINIMIZE_TO_TRAY, 0, 0);
    else
        ShowMainWindow();
}

void TMF::StartOldServiceProgram() {
    const std::string program = environment_.windowsFolder + "\\QuilletSrv.exe";
    if (!gui::Shell().Open(program, "/I", environment_.windowsFolder)) AddToLog("Could not start " + program);
}

bool TMF::AskYesNo(const std::string& text) {
    return ShowBox(text, gui::TMsgButtons::YesNo, gui::TMsgIcon::Exclamation, 2) == gui::mrYes;
}

void TMF::FormCloseQuery(bool& canClose) {
    if (closing_) {
        canClose = false;
        return;
    }
    closing_ = true;
    struct ClearGuard {
        bool& flag;
        ~ClearGuard() { flag = false; }
    } guard{closing_};

    gui::TApplication& application = gui::Application();
    programIni_.WriteBool(core::ini::Settings, "Crashed", false);
    if (flags_.SecondInstance) {
        Tray.Remove();
        for (int pass = 0; pass < 101; ++pass)
            gui::ProcessMessages();
        application.Halt(0);
    }
    if (ListBox2->Items().Count() > 0) {
        if (application.IsIconic() && flags_.Hidden) {
            ShowMainWindow();
            programIni_.WriteBool(core::ini::Settings, "Crashed", false);
            FirstCloseMinimized = true;
            CloseWhenCancelled = true;
            canClose = true;
            Tray.Remove();
            return;
        }
        if (!application.IsIconic() && !FirstCloseMinimized && !flags_.Hidden) {
            // The first close with schedules waiting only puts the program in the tray.
            flags_.HideWindow = true;
            application.Minimize();
            canClose = false;
            return;
        }
    }
    if (!flags_.Hidden && Session.AtWork() && !AskYesNo(shutdownQuestion)) {
        canClose = false;
        EvaluateSchedules();
        return;
    }
    Session.Cancelled = true;
    Label1->SetCaption(shutdownStatus);
    if (OnCancelRunningJob) OnCancelRunningJob();
    SaveSettings();
    programIni_.WriteBool(core::ini::Settings, "Crashed", false);
    Session.Cancelled = true;
    CloseWhenCancelled = true;
    canClose = !Session.AtWork();
    if (canClose) Tray.Remove();
}

void TMF::ClosePrgExecute() {
    ExitRequested = true;
    if (RunningAsService) {
        flags_.Hidden = true;
        gui::Application().Minimize();
        return;
    }
    if (ListBox2->Items().Count() > 0) {
        if (!AskYesNo(
                "There are scheduled jobs. If you close the application, then the jobs will not run, close "
                "anyway?"))
            return;
        ListBox2->Items().Clear();
    }
    if (Session.AtWork()) {
        if (!AskYesNo(shutdownQuestion)) {
            EvaluateSchedules();
            return;
        }
        Label1->SetCaption(shutdownStatus);
        Session.Cancelled = true;
        CloseWhenCancelled = true;
        return;
    }
    Close();
}

void TMF::HideapplicationExecute() {
    flags_.HideWindow = true;
    gui::Application().Minimize();
}

void TMF::SaveSettings() {
    core::SavedState state;
    state.jobName = flags_.JobName;
    state.autoRun = Startautomatic;
    state.showOnJob = Showonjobstart;
    state.showHint = Showhint;
    state.infiniteWait = creation_.infiniteWait;
    state.maxPreferedSpeed = creation_.maxPreferedSpeed;
    // The speed of the last write that succeeded lives with the disc side while the program runs.
    if (DiscTab) creation_.lastGoodSpeed = DiscTab->LastGoodSpeed;
    state.lastGoodSpeed = creation_.lastGoodSpeed;
    state.doNotOpenDrive = creation_.doNotOpenDrive;
    state.leaveDriveOpen = creation_.leaveDriveOpen;
    state.useInternalASPI = creation_.useInternalASPI;
    state.doNotRestarte = creation_.doNotRestarte;
    state.jobEndedThisSession = JobEndedThisSession;
    state.restSpaceText = std::to_string(creation_.restSpaceOnCD);
    state.top = Top();
    state.left = Left();
    state.height = Height();
    state.width = Width();
    state.hidden = flags_.Hidden;
    core::SaveSettings(UserIni(), programIni_, state);
}

} // namespace ui
