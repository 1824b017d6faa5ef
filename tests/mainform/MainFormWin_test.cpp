// The main form's window states, protocol messages, close paths and log, hosted in-process on
// the manual clock with a scripted prompter, a recording shell and no per-user folders.
#include "ProgramSite.h"
#include "WinTestSupport.h"
#include "core/Messages.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/Clock.h"
#include "gui/FileAttributes.h"
#include "gui/IniFile.h"
#include "gui/ListBox.h"
#include "gui/PageControl.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "job/JobFile.h"
#include "ui/MFoRestore.h"
#include "ui/Program.h"

#include <gtest/gtest.h>

using testsupport::ReadWholeFile;
using testsupport::TempFolder;

namespace {

class MainFormTest : public testing::Test, protected testsupport::ProgramSite<> {
  protected:
    void SetUp() override {
        program = std::make_unique<ui::TProgram>(environment);
        ASSERT_TRUE(program->Start());
        form = program->MainForm();
    }
    void TearDown() override {
        // The application window and the priority class outlive the program: the next test
        // starts as a fresh process would, with them restored.
        gui::Application().Restore();
        program.reset();
        ShowWindow(gui::Application().Handle(), SW_SHOWNOACTIVATE);
        SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
        gui::SetShell(nullptr);
        gui::SetClock(nullptr);
        testsupport::DrainQueue();
    }
    core::ProgramFlags& Flags() { return program->Flags(); }
    std::string ProgramIni() { return ReadWholeFile(programFolder / "tarnwick.ini"); }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return SendMessageA(form->Handle(), message, wParam, lParam);
    }

    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    std::unique_ptr<ui::TProgram> program;
    ui::TMF* form = nullptr;
};

} // namespace

TEST_F(MainFormTest, TrayIconClicksRestoreTheWindowAndOpenTheTrayMenu) {
    EXPECT_TRUE(form->Tray.Added());
    form->Show();
    gui::Application().Minimize();
    ASSERT_TRUE(gui::Application().IsIconic());
    Send(ui::WM_TRAY_ICON, 100, WM_LBUTTONDOWN);
    EXPECT_FALSE(gui::Application().IsIconic());
    EXPECT_TRUE(form->Visible());
    EXPECT_FALSE(form->WindowMinimized);

    prompter.AnswerPopup("HideIcon1");
    Send(ui::WM_TRAY_ICON, 100, WM_RBUTTONDOWN);
    EXPECT_EQ(prompter.Pending(), 0u);
    EXPECT_TRUE(Flags().HideWindow);
    EXPECT_TRUE(Flags().Hidden);
    EXPECT_FALSE(form->Tray.Added()) << "Hide Icon removes the icon";
}

TEST_F(MainFormTest, MinimisingWithHideWindowHidesTheApplicationAndIdlesTheProcess) {
    form->Show();
    Flags().HideWindow = true;
    gui::Application().Minimize();
    EXPECT_TRUE(Flags().Hidden);
    EXPECT_FALSE(IsWindowVisible(gui::Application().Handle()));
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(IDLE_PRIORITY_CLASS));
    EXPECT_TRUE(form->WindowMinimized);

    gui::Application().Restore();
    EXPECT_FALSE(Flags().Hidden);
    EXPECT_FALSE(form->WindowMinimized);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
}

// Started with the hide switch, the application is minimised before the job starts, so the
// job's own minimise raises no event; the run is hidden all the same and a failing system tool
// is only logged: a box would hold the unattended job for ever.
TEST_F(MainFormTest, AJobOfAnAlreadyMinimisedHiddenProgramShowsNoBoxWhenNtbackupFails) {
    TempFolder source;
    testsupport::WriteWholeFile(source / "a.txt", "some bytes");
    job::JobDefinition weekly;
    weekly.Destination = programFolder / "dest";
    weekly.ZipSizeText = "4";
    weekly.IncludeList = {"%REGISTRY%", source.Path() + "*.*"};
    testsupport::WriteWholeFile(programFolder / "Weekly.dat", job::WriteJobText(weekly, {}));
    gui::MemoryFileAttributes attributes;
    form->JobAttributes = &attributes;
    form->StartUpDone = true;
    Flags().JobName = "Weekly.dat";
    form->LoadJob("Weekly.dat");

    form->Show();
    Flags().HideWindow = true;
    gui::Application().Minimize();
    ASSERT_TRUE(gui::Application().IsIconic());
    // As the start-up leaves it when the hidden form still counts as the foreground window.
    Flags().Hidden = false;
    shell.Succeed = false;
    form->StartBackupJob();
    for (int round = 0; round < 10'000 && form->Session.Running(); ++round)
        testsupport::DrainQueue();
    EXPECT_FALSE(form->Session.Running());
    EXPECT_TRUE(Flags().Hidden);
    EXPECT_TRUE(prompter.MessageTexts().empty()) << prompter.MessageTexts().front();
    const std::string log = ReadWholeFile(programFolder / "tarnwick.log");
    EXPECT_NE(log.find("NTBackup failed, check if NTBackup.exe is installed."), std::string::npos) << log;
    EXPECT_NE(log.find("Backup end: Weekly.dat"), std::string::npos) << log;
}

TEST_F(MainFormTest, SavedWindowStateIsAppliedOnceAndIgnoredUnderDefault) {
    gui::TIniFile ini(programFolder / "tarnwick.ini");
    ini.WriteBool("LastState", "default", false);
    ini.WriteBool("LastState", "Minimized", true);
    ini.WriteBool("LastState", "Hidden", true);
    ini.WriteInteger("LastState", "Left", 30);
    ini.WriteInteger("LastState", "Top", 40);
    form->Show();
    Send(ui::WM_APPLY_WINDOW_STATE);
    EXPECT_TRUE(Flags().HideWindow);
    EXPECT_EQ(form->Left(), 30);
    testsupport::DrainQueue(); // the posted minimise runs
    EXPECT_TRUE(gui::Application().IsIconic());
    EXPECT_TRUE(Flags().Hidden);

    ini.WriteInteger("LastState", "Left", 300);
    Send(ui::WM_APPLY_WINDOW_STATE);
    EXPECT_EQ(form->Left(), 30) << "the saved state acts only once";
}

TEST_F(MainFormTest, FirstCloseWithSchedulesOnlyMinimisesAndAnIdleCloseSavesEverything) {
    form->Show();
    form->ListBox2->Items().Add("01/01/2027 10:00:00 daily.dat");
    form->Close();
    EXPECT_TRUE(gui::Application().IsIconic());
    EXPECT_TRUE(Flags().HideWindow);
    EXPECT_FALSE(testsupport::DrainQueue()) << "the program keeps running";

    form->ListBox2->Items().Clear();
    gui::Application().Restore();
    form->Close();
    EXPECT_TRUE(testsupport::DrainQueue());
    EXPECT_NE(ProgramIni().find("Crashed=0"), std::string::npos);
    EXPECT_FALSE(form->Tray.Added());
}

TEST_F(MainFormTest, ClosingDuringAJobAsksAndNoKeepsTheJob) {
    form->Show();
    form->Session.State = job::JobState::Running;
    prompter.AnswerMessage(gui::mrNo);
    form->Close();
    EXPECT_FALSE(testsupport::DrainQueue());
    ASSERT_EQ(prompter.MessageTexts().size(), 1u);
    EXPECT_EQ(prompter.MessageTexts()[0], "Are you sure that the running backup job shall be shutdown");

    int cancels = 0;
    form->OnCancelRunningJob = [&] { ++cancels; };
    prompter.AnswerMessage(gui::mrYes);
    form->Close();
    EXPECT_EQ(cancels, 1);
    EXPECT_TRUE(form->Session.Cancelled);
    EXPECT_TRUE(form->CloseWhenCancelled);
    EXPECT_FALSE(testsupport::DrainQueue()) << "the program ends once the job has stopped";
}

TEST_F(MainFormTest, CloseCommandAsksAboutSchedulesFirst) {
    form->Show();
    form->ListBox2->Items().Add("schedule");
    prompter.AnswerMessage(gui::mrNo);
    form->ClosePrg->Execute();
    EXPECT_EQ(form->ListBox2->Items().Count(), 1);
    EXPECT_FALSE(testsupport::DrainQueue());

    prompter.AnswerMessage(gui::mrYes);
    form->ClosePrg->Execute();
    EXPECT_EQ(form->ListBox2->Items().Count(), 0);
    EXPECT_TRUE(form->ExitRequested);
    EXPECT_TRUE(testsupport::DrainQueue());
}

TEST_F(MainFormTest, QuestionsAreNotAskedWhileHidden) {
    form->Session.State = job::JobState::Running;
    Flags().Hidden = true;
    form->ClosePrg->Execute();
    EXPECT_TRUE(prompter.Requests().empty());
    EXPECT_FALSE(form->Session.Cancelled) << "the default answer is No";
}

TEST_F(MainFormTest, LogOffSavesTheSettingsAndRemovesTheIcon) {
    EXPECT_EQ(Send(WM_QUERYENDSESSION), 1);
    EXPECT_FALSE(form->Tray.Added());
    EXPECT_NE(ProgramIni().find("Crashed=0"), std::string::npos);
}

TEST_F(MainFormTest, OldServiceProgramIsStartedAndItsKeyIsNeverCreated) {
    program.reset();
    testsupport::DrainQueue();
    testsupport::WriteWholeFile(windowsFolder / "QuilletSrv.exe", "stand-in");
    program = std::make_unique<ui::TProgram>(environment);
    ASSERT_TRUE(program->Start());
    testsupport::DrainQueue();
    const auto calls = shell.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Target, windowsFolder / "QuilletSrv.exe");
    EXPECT_EQ(calls[0].Parameters, "/I");
    HKEY key = nullptr;
    EXPECT_NE(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\Controlset001\\Services\\QuilletSrv", 0, KEY_READ, &key),
        ERROR_SUCCESS);
    if (key) RegCloseKey(key);
}

TEST_F(MainFormTest, LogLinesAreStampedMirroredAndShownNewestFirst) {
    form->PageControl1->SetActivePage(form->TabSheet3);
    form->AddToLog("first");
    form->AddToLog("second");
    const std::string log = ReadWholeFile(programFolder / "tarnwick.log");
    EXPECT_NE(log.find(" Log Created. \r\n"), std::string::npos);
    EXPECT_NE(log.find(" > first\r\n"), std::string::npos);
    ASSERT_GE(form->ListBox5->Items().Count(), 2);
    EXPECT_NE(form->ListBox5->Items()[0].find("second"), std::string::npos);

    form->Session.JobLogName = programFolder / "Log_job.txt";
    Flags().JobName = programFolder / "daily.dat";
    form->Session.State = job::JobState::Running;
    form->AddToLog("during the job");
    EXPECT_NE(ReadWholeFile(programFolder / "Log_job.txt").find(" > during the job"), std::string::npos);
    EXPECT_NE(ReadWholeFile(programFolder / "daily.log").find(" > during the job"), std::string::npos);
    EXPECT_EQ(form->Session.MailBody.size(), 3u);
}

TEST_F(MainFormTest, LongProgramLogIsArchivedWhenTheViewIsUpdated) {
    std::string lines;
    for (int i = 0; i < 1001; ++i)
        lines += "line " + std::to_string(i) + "\r\n";
    testsupport::WriteWholeFile(programFolder / "tarnwick.log", lines);
    form->UpdateLogExecute();
    EXPECT_EQ(form->ListBox5->Items().Count(), 1001) << "1,001 lines are still shown";

    testsupport::WriteWholeFile(programFolder / "tarnwick.log", lines + "one more\r\n");
    form->UpdateLogExecute();
    const std::string archive = programFolder / "Log\\tarnwick_Log_001.txt";
    EXPECT_EQ(ReadWholeFile(archive), lines + "one more\r\n");
    EXPECT_NE(ReadWholeFile(programFolder / "tarnwick.log").find("The log file is saved as: " + archive),
              std::string::npos);
    ASSERT_GE(form->ListBox5->Items().Count(), 1);
}

TEST_F(MainFormTest, HintsComeFromTheMessageTableWordForWord) {
    EXPECT_EQ(core::LoadMessage(65143), "Update the log\rinformation");
    EXPECT_NE(core::LoadMessage(65155).find("and \"a\" which \r"), std::string::npos);
    EXPECT_EQ(core::LoadMessage(65176), " Log Created. ");
    const std::string longest = core::LoadMessage(65158);
    EXPECT_EQ(longest.substr(0, 33), "Folders and files to backup \rUse ");
    EXPECT_TRUE(longest.ends_with("all files in C:\\Data\\ and its subfolders. ")) << longest;
    EXPECT_EQ(form->Find<gui::TControl>("Button1").Hint(), core::LoadMessage(65143));
}

TEST_F(MainFormTest, PendingArchiveBitPathsAreAppendedToTheListAndCleared) {
    form->Session.ArchiveBitPending = {"C:\\Data\\a.doc", "C:\\Data\\b.doc"};
    form->FlushAttributeList();
    form->Session.ArchiveBitPending = {"C:\\Data\\c.doc"};
    form->FlushAttributeList();
    EXPECT_TRUE(form->Session.ArchiveBitPending.empty());
    EXPECT_EQ(ReadWholeFile(programFolder / "Att.Lst"),
              "C:\\Data\\a.doc\r\nC:\\Data\\b.doc\r\nC:\\Data\\c.doc\r\n");
}

TEST_F(MainFormTest, UnexpectedErrorsAreLoggedAndNotAskedWhileHidden) {
    Flags().Hidden = true;
    gui::Application().Post([] { throw std::runtime_error("something broke"); });
    testsupport::DrainQueue();
    EXPECT_NE(ReadWholeFile(programFolder / "tarnwick.log").find(" > something broke"), std::string::npos);
    EXPECT_TRUE(prompter.Requests().empty());
}

TEST_F(MainFormTest, DamagedLogShowsCutLinesAndNeverBreaksTheView) {
    std::string damaged(3000, 'x'); // a giant line without a line end
    damaged += std::string("\0\0bin\xff\r", 7) + "\n\r\n";
    testsupport::WriteWholeFile(programFolder / "tarnwick.log", damaged);
    form->UpdateLogExecute();
    ASSERT_GE(form->ListBox5->Items().Count(), 2);
    for (int i = 0; i < form->ListBox5->Items().Count(); ++i)
        EXPECT_LE(form->ListBox5->Items()[i].size(), 1024u);
}

TEST_F(MainFormTest, MinimiseToTrayMessageShowsTheApplicationUnlessAutoStarted) {
    form->Show();
    Flags().AutoStarted = true;
    Send(ui::WM_MINIMIZE_TO_TRAY);
    EXPECT_TRUE(gui::Application().IsIconic());
    EXPECT_TRUE(Flags().Hidden) << "the first minimise after an automatic start hides the window";
    EXPECT_FALSE(Flags().AutoStarted);
    EXPECT_FALSE(IsWindowVisible(gui::Application().Handle()));
}

TEST_F(MainFormTest, LinesDuringARestoreGoToTheRestoreAndRunLogs) {
    form->RestoreLogName = programFolder / "Log_restore.txt";
    Flags().JobName = programFolder / "daily.dat";
    form->RestoreTab->ShowRunning(true);
    form->AddToLog("restoring");
    EXPECT_NE(ReadWholeFile(programFolder / "Log_restore.txt").find(" Log Created. \r\n"), std::string::npos);
    EXPECT_NE(ReadWholeFile(programFolder / "Log_restore.txt").find(" > restoring"), std::string::npos);
    EXPECT_NE(ReadWholeFile(programFolder / "daily.log").find(" > restoring"), std::string::npos);
}

TEST_F(MainFormTest, LinesTheJobLogCannotTakeGoToTheProgramLogOnceWithTheReason) {
    testsupport::WriteWholeFile(programFolder / "Log", "a file where the folder should be");
    const std::string jobLog = programFolder / "Log\\daily_100.txt";
    Flags().JobName = programFolder / "daily.dat";
    form->AddToLog("before the job");
    form->Session.MailBody.clear(); // as the job start does
    form->BeginJobLog(jobLog);
    form->Session.State = job::JobState::Running;
    form->AddToLog("mirrored");
    form->AddToJobLog("only for the job log");
    form->AddToJobLog("");
    form->EndJobLog();
    form->Session.State = job::JobState::Idle;
    EXPECT_EQ(form->Session.MailBody.size(), 1u);

    const std::string log = ReadWholeFile(programFolder / "tarnwick.log");
    EXPECT_EQ(log.find(" > mirrored"), log.rfind(" > mirrored")) << "a mirrored line is not repeated";
    EXPECT_NE(log.find(" > Cannot write to " + jobLog + ": "), std::string::npos) << log;
    EXPECT_EQ(log.find("Cannot write to " + jobLog), log.rfind("Cannot write to " + jobLog)) << "once";
    EXPECT_TRUE(log.ends_with(" > only for the job log\r\n\r\n")) << log;
    // The run log was writable all along.
    const std::string runLog = ReadWholeFile(programFolder / "daily.log");
    EXPECT_NE(runLog.find(" > mirrored\r\n"), std::string::npos);
    EXPECT_TRUE(runLog.ends_with(" > only for the job log\r\n\r\n")) << runLog;
}

TEST_F(MainFormTest, TheJobsLogFilesStayOpenForTheRunAndTheLogCanBeClearedMeanwhile) {
    Flags().JobName = programFolder / "daily.dat";
    const std::string jobLog = programFolder / "daily_100.txt";
    form->BeginJobLog(jobLog);
    form->Session.State = job::JobState::Running;
    form->AddToLog("one");
    for (const std::string& file : {jobLog, programFolder / "daily.log", form->ProgramLogPath()}) {
        HANDLE other = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(other, INVALID_HANDLE_VALUE) << file << " is held for the run";
        if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
        EXPECT_NE(ReadWholeFile(file).find(" > one\r\n"), std::string::npos) << "and readable: " << file;
    }
    form->ClearLog(false);
    form->AddToLog("two");
    EXPECT_EQ(ReadWholeFile(form->ProgramLogPath()).find(" Log Created"), std::string::npos)
        << "an emptied log is no new log";
    EXPECT_NE(ReadWholeFile(form->ProgramLogPath()).find(" > two\r\n"), std::string::npos);
    form->EndJobLog();
    form->Session.State = job::JobState::Idle;
    HANDLE other = CreateFileA(jobLog.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(other, INVALID_HANDLE_VALUE) << "closed at the end of the run";
    CloseHandle(other);
}

TEST_F(MainFormTest, TrayIconStaysThroughActivationsAndMinutes) {
    std::vector<DWORD> actions;
    bool shellLostTheIcon = false;
    gui::TTrayIcon::ShellNotify = [&](DWORD action, const NOTIFYICONDATAA&) {
        actions.push_back(action);
        return !(shellLostTheIcon && action == NIM_MODIFY);
    };
    struct Restore {
        ~Restore() { gui::TTrayIcon::ShellNotify = nullptr; }
    } restore;
    form->AppActivate();
    form->StartUpDone = true;
    form->MinuteTicks = 59;
    form->Timer1Timer();
    form->AppActivate();
    EXPECT_TRUE(form->Tray.Added());
    EXPECT_EQ(std::count(actions.begin(), actions.end(), NIM_DELETE), 0);
    EXPECT_EQ(std::count(actions.begin(), actions.end(), NIM_ADD), 0);

    shellLostTheIcon = true; // a restarted taskbar
    actions.clear();
    form->AppActivate();
    ASSERT_GE(actions.size(), 2u);
    EXPECT_EQ(actions[0], static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(actions[1], static_cast<DWORD>(NIM_ADD)) << "a lost icon is added again";
    EXPECT_EQ(std::count(actions.begin(), actions.end(), NIM_DELETE), 0);
}

TEST_F(MainFormTest, ARestoreInsideAJobHoldsTheLogsUntilBothHaveEnded) {
    Flags().JobName = programFolder / "daily.dat";
    const std::string jobLog = programFolder / "daily_100.txt", restoreLog = programFolder / "arc_100.txt";
    auto held = [](const std::string& file) {
        HANDLE other = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        if (other == INVALID_HANDLE_VALUE) return true;
        CloseHandle(other);
        return false;
    };
    form->BeginJobLog(jobLog);
    form->AddToJobLog("job line");
    form->Host().SetRestoreLogName(restoreLog);
    form->RestoreTab->ShowRunning(true);
    form->AddToRestoreLog("restore line");
    EXPECT_TRUE(held(jobLog));
    EXPECT_TRUE(held(restoreLog));
    form->RestoreTab->ShowRunning(false);
    EXPECT_TRUE(held(jobLog)) << "the job still runs";
    form->EndJobLog();
    EXPECT_FALSE(held(jobLog));
    EXPECT_FALSE(held(restoreLog));
    form->EndJobLog(); // a second end lets go of nothing more

    form->Host().SetRestoreLogName(""); // a verify has no log
    form->RestoreTab->ShowRunning(true);
    form->AddToLog("verifying");
    form->RestoreTab->ShowRunning(false);
    EXPECT_NE(ReadWholeFile(restoreLog).find(" > restore line\r\n"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(restoreLog).find("verifying"), std::string::npos);
}

TEST_F(MainFormTest, AJobThatReachesTheDiscStepWithoutOneIsCancelledAndGoesOn) {
    form->Session.State = job::JobState::Running;
    Flags().TempPath = "C:\\tmp\\";
    Send(ui::WM_DISC_STEP, 1, 1);
    EXPECT_TRUE(form->Session.Cancelled);
    EXPECT_NE(ReadWholeFile(programFolder / "tarnwick.log").find("the volumes stay in C:\\tmp\\"),
              std::string::npos);
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, form->Handle(), ui::WM_CONTINUE_JOB, ui::WM_CONTINUE_JOB, PM_REMOVE));
}
