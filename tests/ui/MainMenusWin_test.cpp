// The menus and tabs on the whole program hosted in-process: what each page does when shown,
// the job actions switched off for a job and back on (a read-only job stays locked), the log
// saved over a file only after a Yes and never over itself, the modal forms stopping the
// timer, and questions while hidden: asked for the user's own command, not for the timer's.
#include "ProgramSite.h"
#include "RegistrySandbox.h"
#include "WinTestSupport.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/Button.h"
#include "gui/Clock.h"
#include "gui/Edit.h"
#include "gui/ListBox.h"
#include "gui/Menu.h"
#include "gui/PageControl.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "gui/Timer.h"
#include "gui/Wait.h"
#include "job/Schedules.h"
#include "job/ServiceCtrl.h"
#include "ui/CatalogTab.h"
#include "ui/JobTab.h"
#include "ui/MFo.h"
#include "ui/PreRun1.h"
#include "ui/Program.h"
#include "ui/ScheduleTab.h"

#include <gtest/gtest.h>

using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

namespace {

class MainMenusTest : public testing::Test, protected testsupport::ProgramSite<> {
  protected:
    void SetUp() override {
        WriteWholeFile(programFolder / "tarnwick.ini", "[Settings]\r\nUseUserData2kXP=0\r\n");
        program = std::make_unique<ui::TProgram>(environment);
        ASSERT_TRUE(program->Start());
        form = program->MainForm();
        program->Flags().Hidden = false;
        form->StartUpDone = true;
    }
    void TearDown() override {
        program.reset();
        gui::SetShell(nullptr);
        gui::SetClock(nullptr);
        testsupport::DrainQueue();
    }
    gui::TMenuItem& Item(const std::string& name) { return form->Find<gui::TMenuItem>(name); }

    TempFolder work;
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    std::unique_ptr<ui::TProgram> program;
    ui::TMF* form = nullptr;
};

} // namespace

TEST_F(MainMenusTest, EachPageShownByTheMenuSetsDropsTipAndActions) {
    program->Flags().JobName = "Week.dat";
    form->OpenZipName = "D:\\Zips\\Old.zip";
    Item("Restore1").Click();
    EXPECT_EQ(form->PageControl1->ActivePage(), form->TabSheet4);
    EXPECT_FALSE(form->DragAcceptsFiles());
    EXPECT_EQ(form->Tray.Tip(), "D:\\Zips\\Old");
    form->CatalogTab->Edit8->SetText("");
    Item("Catalog1").Click();
    EXPECT_FALSE(form->CatalogTab->CatalogAddZip->Enabled());
    form->CatalogTab->Edit8->SetText(work / "a.cat");
    Item("Catalog1").Click();
    EXPECT_TRUE(form->CatalogTab->CatalogAddZip->Enabled());
    EXPECT_TRUE(form->CatalogTab->RemoveDupFromCat->Enabled());
    Item("Backup1").Click();
    EXPECT_TRUE(form->DragAcceptsFiles());
    EXPECT_EQ(form->Tray.Tip(), "Week");
    EXPECT_TRUE(form->JobTab->Edit7->Enabled());
    Item("Log1").Click();
    EXPECT_FALSE(form->DragAcceptsFiles());
    EXPECT_TRUE(form->LogViewStale);

    // A job's run: the job actions and drive controls off, back on at its end.
    form->DisableActions();
    EXPECT_FALSE(form->JobTab->OpenJob->Enabled());
    EXPECT_FALSE(Item("Filestobackup1").Enabled());
    EXPECT_FALSE(form->JobTab->PopupMenuIncl->FindByName("Add1")->Enabled());
    EXPECT_FALSE(form->JobTab->Edit7->Enabled());
    EXPECT_FALSE(form->Find<gui::TControl>("cbDrives").Enabled());
    form->Session.Job.ReadOnly = true;
    form->EnableActions();
    EXPECT_TRUE(form->JobTab->NewJob->Enabled());
    EXPECT_TRUE(form->JobTab->PopupMenuExcl->FindByName("Remove3")->Enabled());
    EXPECT_TRUE(form->Find<gui::TControl>("cbDrives").Enabled());
    EXPECT_FALSE(form->JobTab->Edit7->Enabled()); // a read-only job stays locked
    EXPECT_FALSE(form->JobTab->ListBox1->Enabled());

    form->inclSysState->Execute();
    EXPECT_EQ(form->Session.Job.IncludeList, std::vector<std::string>{"%SYSTEMSTATE%"});
    Item("HelpIndhold1").Click();
    Item("WebSite1").Click();
    ASSERT_EQ(shell.Calls().size(), 2u);
    EXPECT_EQ(shell.Calls()[0].Kind, gui::TShellCallKind::Help);
    EXPECT_EQ(shell.Calls()[1].Target.rfind("https://", 0), 0u);
}

TEST_F(MainMenusTest, LogSavedOverAFileOnlyAfterYesAndNeverOverItself) {
    form->AddToLog("first line");
    const std::string copy = work / "copy.txt";
    WriteWholeFile(copy, "keep");
    prompter.AnswerFile({copy});
    prompter.AnswerMessage(gui::mrNo);
    form->SaveLog->Execute();
    EXPECT_EQ(prompter.Requests()[0].File.Filter, "Text files (*.txt)|*.TXT");
    EXPECT_EQ(prompter.Requests()[0].File.InitialDir, programFolder.Path());
    EXPECT_EQ(prompter.MessageTexts().back(), "The file: " + copy + " exists, overwrite?");
    EXPECT_EQ(ReadWholeFile(copy), "keep");
    prompter.AnswerFile({copy});
    prompter.AnswerMessage(gui::mrYes);
    form->SaveLog->Execute();
    EXPECT_EQ(prompter.Requests()[2].File.InitialDir, work.Path()); // the last file's folder
    EXPECT_NE(ReadWholeFile(copy).find("first line"), std::string::npos);
    const std::string log = ReadWholeFile(form->ProgramLogPath());
    prompter.AnswerFile({form->ProgramLogPath()});
    form->SaveLog->Execute();
    EXPECT_NE(ReadWholeFile(form->ProgramLogPath()).size(), 0u);
    EXPECT_EQ(ReadWholeFile(form->ProgramLogPath()).rfind(log, 0), 0u);

    prompter.AnswerFile({work / "job_100.txt"});
    form->OpenLogFile->Execute();
    EXPECT_EQ(prompter.Requests().back().File.InitialDir, programFolder.Path() + "Log\\");
    EXPECT_EQ(prompter.Requests().back().File.Filter, "Log files|*.txt");
    EXPECT_EQ(shell.Calls().back().Target, work / "job_100.txt");

    // The modal forms stop the timer while they show.
    bool timerDuringForm = true;
    prompter.AnswerModal([&](gui::TForm&) {
        timerDuringForm = form->Timer1.Enabled();
        return gui::mrOk;
    });
    form->AboutDlgShow->Execute();
    EXPECT_FALSE(timerDuringForm);
    EXPECT_TRUE(form->Timer1.Enabled());
    EXPECT_EQ(prompter.Pending(), 0u);
}

TEST_F(MainMenusTest, ProgramsAroundANewJobAreSavedThroughSaveAs) {
    form->JobTab->NewJob->Execute();
    const std::string file = work / "Named.dat";
    prompter.AnswerModal([](gui::TForm& shown) {
        auto& preRun = static_cast<ui::TPreRun&>(shown);
        preRun.EditPreRun->SetText("C:\\Tools\\before.exe");
        preRun.ButSave->Click();
        return gui::mrOk;
    });
    prompter.AnswerFile({file});
    form->PrePostRun->Execute();
    EXPECT_EQ(program->Flags().JobName, "Named.dat");
    EXPECT_NE(ReadWholeFile(file).find("C:\\Tools\\before.exe"), std::string::npos);
    EXPECT_FALSE(testsupport::FileExists(form->Environment().ProgramFolder() + "New Job.dat"));
}

TEST_F(MainMenusTest, QuestionsWhileHiddenAskForTheUsersCommandOnly) {
    form->ListBox2->Items().Add("schedule");
    program->Flags().Hidden = true;
    // The timer's or a job's question: the default answer, nothing shown.
    EXPECT_FALSE(form->AskYesNo("Timer question?"));
    EXPECT_TRUE(prompter.Requests().empty());

    // Close from the tray: asked although hidden; No keeps the schedules and the program.
    prompter.AnswerPopup("Close1");
    prompter.AnswerMessage(gui::mrNo);
    SendMessageA(form->Handle(), ui::WM_TRAY_ICON, 0, WM_RBUTTONDOWN);
    ASSERT_EQ(prompter.MessageTexts().size(), 1u);
    EXPECT_EQ(form->ListBox2->Items().Count(), 1);
    EXPECT_TRUE(IsWindow(form->Handle()));
    EXPECT_TRUE(program->Flags().Hidden);
}

TEST_F(MainMenusTest, AClickOrAKeyWhileHiddenAsksButWhatATimerStartsInsideItDoesNot) {
    program->Flags().Hidden = true;
    gui::TButton& button =
        form->Create<gui::TButton>(*form->TabSheet3, "AskButton", gui::TBounds{4, 4, 80, 24}, "Ask");
    gui::TTimer timer;
    timer.SetInterval(1000);
    int timerAnswers = 0;
    timer.OnTimer = [&] {
        timer.SetEnabled(false);
        timerAnswers += form->AskYesNo("Timer question?") ? 1 : 0;
    };
    std::vector<bool> answers;
    button.OnClick = [&] {
        answers.push_back(form->AskYesNo("Button question?"));
        // A timer that fires in a pump inside the command is the program's own work.
        timer.SetEnabled(true);
        clock.Advance(1000);
        gui::ProcessMessages();
    };
    prompter.AnswerMessage(gui::mrYes);
    SendMessageA(button.Handle(), BM_CLICK, 0, 0);
    ASSERT_EQ(prompter.MessageTexts().size(), 1u);
    EXPECT_EQ(prompter.MessageTexts()[0], "Button question?");
    EXPECT_EQ(answers, std::vector<bool>{true});
    EXPECT_EQ(timerAnswers, 0);

    // A key on a list: asked; the same question from the timer alone: the default, unasked.
    form->ListBox2->OnKeyDown = [&](WORD&, gui::TShiftState) { answers.push_back(form->AskYesNo("Key?")); };
    prompter.AnswerMessage(gui::mrYes);
    SendMessageA(form->ListBox2->Handle(), WM_KEYDOWN, VK_DELETE, 0);
    ASSERT_EQ(prompter.MessageTexts().size(), 2u);
    EXPECT_EQ(answers.back(), true);
    timer.SetEnabled(true);
    clock.Advance(1000);
    gui::ProcessMessages();
    EXPECT_EQ(prompter.MessageTexts().size(), 2u);
    EXPECT_EQ(timerAnswers, 0);
    EXPECT_FALSE(gui::InUserInput());
}

namespace {

struct Halted {};

// Starts the hidden programs for real and waits for them to end, so the waits of the
// install pass on the manual clock with the service already made.
class WaitingShell : public gui::TRecordingShell {
  public:
    bool StartHidden(const std::string& program, const std::string& parameters,
                     const std::string& folder) override {
        TRecordingShell::StartHidden(program, parameters, folder);
        return testsupport::RunAndWait("\"" + program + "\" " + parameters) == 0;
    }
};

// The stand-in companion service taken out of the service manager, stopped first.
void DeleteStandInService() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return;
    if (SC_HANDLE service = OpenServiceA(manager, "Quillet2CD", SERVICE_ALL_ACCESS)) {
        SERVICE_STATUS status;
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

DWORD ServiceStartValue() {
    DWORD value = 0, size = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Quillet2CD", "Start",
                     RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return 0;
    return value;
}

} // namespace

TEST_F(MainMenusTest,
       RunAsServiceInstallsStartsTheSettingAloneShowsItAndAClickStopsItAndAFailedStartPutsBackTheOwnStart) {
    struct Cleanup {
        ~Cleanup() {
            DeleteStandInService();
            gui::Application().HaltHandler = [](int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); };
        }
    } cleanup;
    DeleteStandInService();
    WaitingShell waiting;
    gui::SetShell(&waiting);
    int halts = 0;
    gui::Application().HaltHandler = [&halts](int) {
        ++halts;
        throw Halted{};
    };
    ASSERT_TRUE(CopyFileA(TW_QUILLETSRV_EXE, (programFolder / "quilletsrv.exe").c_str(), FALSE));
    const std::string keyPath = "Software\\TarnwickTest\\SvcRun" + std::to_string(GetCurrentProcessId());
    ui::TScheduleTab* schedule = form->ScheduleTab.get();
    schedule->RunKeyRoot = HKEY_CURRENT_USER;
    schedule->RunKeyPath = "\\" + keyPath;
    const std::string query = "reg query \"HKCU\\" + keyPath + "\" /v Tarnwick";
    schedule->Startautomatic1->SetChecked(true);
    schedule->AutoStartExecute();
    ASSERT_EQ(testsupport::RunAndWait(query), 0);

    // Not installed yet: installed by the stand-in, started, automatic, the program ends.
    prompter.AnswerMessage(gui::mrOk);
    EXPECT_THROW(form->RunAsService1->Click(), Halted);
    EXPECT_EQ(prompter.MessageTexts().at(0).rfind(
                  "Enabling or disabling run as service need administrator rights.", 0),
              0u);
    EXPECT_NE(prompter.MessageTexts().at(0).find("Running as service may cause"), std::string::npos);
    ASSERT_EQ(waiting.Calls().size(), 1u);
    EXPECT_EQ(waiting.Calls()[0].Parameters, "/INSTALL");
    EXPECT_EQ(waiting.Calls()[0].Folder, programFolder.Path());
    EXPECT_EQ(halts, 1);
    EXPECT_EQ(job::ServiceGetStatus("", "Quillet2CD"), static_cast<uint32_t>(SERVICE_RUNNING));
    EXPECT_EQ(ServiceStartValue(), 2u);
    EXPECT_NE(testsupport::RunAndWait(query), 0) << "the program's own start is gone";
    EXPECT_FALSE(schedule->Startautomatic1->Checked());

    // The next start, with the setting the companion service leaves: the item is checked, and
    // unchecking it stops the service, back to a start on demand; the program closes.
    program.reset();
    WriteWholeFile(programFolder / "tarnwick.ini", "[Settings]\r\nUseUserData2kXP=0\r\nRunAsService=1\r\n");
    program = std::make_unique<ui::TProgram>(environment);
    ASSERT_TRUE(program->Start());
    form = program->MainForm();
    form->StartUpDone = true;
    schedule = form->ScheduleTab.get();
    schedule->RunKeyRoot = HKEY_CURRENT_USER;
    schedule->RunKeyPath = "\\" + keyPath;
    ASSERT_TRUE(form->RunAsService1->Checked());
    EXPECT_FALSE(form->RunningAsService);
    prompter.AnswerMessage(gui::mrOk);
    form->RunAsService1->Click();
    EXPECT_EQ(job::ServiceGetStatus("", "Quillet2CD"), static_cast<uint32_t>(SERVICE_STOPPED));
    EXPECT_EQ(ServiceStartValue(), 3u);
    EXPECT_FALSE(form->RunningAsService);
    EXPECT_TRUE(schedule->Startautomatic1->Visible());
    EXPECT_EQ(ReadWholeFile(programFolder / "quilletsrv.log"), "installed\r\nrunning\r\nended\r\n");

    // A service that does not start: the own start, its menu mark and the log line come back.
    DeleteStandInService();
    WriteWholeFile(programFolder / "quilletsrv.fail", "");
    schedule->Startautomatic1->SetChecked(true);
    schedule->AutoStartExecute();
    ASSERT_EQ(testsupport::RunAndWait(query), 0);
    form->RunAsService1->SetChecked(false);
    prompter.AnswerMessage(gui::mrOk);
    form->RunAsService1->Click();
    EXPECT_EQ(halts, 1);
    EXPECT_EQ(testsupport::RunAndWait(query), 0);
    EXPECT_TRUE(schedule->Startautomatic1->Checked());
    EXPECT_FALSE(form->RunAsService1->Checked());
    EXPECT_NE(ServiceStartValue(), 2u) << "automatic only once it runs";
    EXPECT_TRUE(form->Tray.Added());
    EXPECT_NE(ReadWholeFile(form->ProgramLogPath()).find("Service Quillet2CD could not be started"),
              std::string::npos);
    EXPECT_NE(ReadWholeFile(programFolder / "quilletsrv.log").find("failed"), std::string::npos);
    testsupport::RunAndWait("reg delete \"HKCU\\" + keyPath + "\" /f");
}

// "Hide Icon" holds while the program is activated; restoring the window brings the icon back.
TEST_F(MainMenusTest, HiddenIconStaysAwayWhenTheProgramIsActivated) {
    ASSERT_TRUE(form->Tray.Added());
    form->PopupMenu1->FindByName("HideIcon1")->Click();
    EXPECT_FALSE(form->Tray.Added());
    SendMessageA(gui::Application().Handle(), WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_FALSE(form->Tray.Added());
    gui::Application().Restore();
    SendMessageA(gui::Application().Handle(), WM_ACTIVATEAPP, TRUE, 0);
    EXPECT_TRUE(form->Tray.Added());
}

// Minimised, the tray tip names the next run: its due written with either decimal separator
// reads under a locale whose separator is a comma.
TEST_F(MainMenusTest, MinimisedTheTrayTipNamesTheNextRun) {
    const gui::DateTime due = core::EncodeDateTime({2026, 12, 24, 18, 30});
    form->Locale.decimalSeparator = ',';
    for (const char separator : {',', '.'}) {
        form->RunQueue = {job::FormatRunQueueEntry(due, "Week.dat", separator)};
        form->AppMinimize();
        EXPECT_EQ(form->Tray.Tip(), core::DateToStrFixed(due, form->Locale) + " - Week.dat") << separator;
        form->AppRestore();
    }
}
