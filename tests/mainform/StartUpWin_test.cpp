// The start-up sequence, the timer's minute work and the small dialogs, hosted in-process on
// the manual clock with a scripted prompter, a recording shell, a halt that throws and drives
// that a test describes.
#include "HookedAttributes.h"
#include "ProgramSite.h"
#include "WinTestSupport.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/Button.h"
#include "gui/CheckBox.h"
#include "gui/Clock.h"
#include "gui/Edit.h"
#include "gui/FileAttributes.h"
#include "gui/IniFile.h"
#include "gui/Label.h"
#include "gui/ListBox.h"
#include "gui/Memo.h"
#include "gui/Menu.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "gui/Timer.h"
#include "job/JobFile.h"
#include "job/RunState.h"
#include "job/RunStateWin.h"
#include "ui/DriveDetector.h"
#include "ui/Program.h"
#include "ui/ScheduleTab.h"
#include "ui/SmallDialogs.h"

#include <gtest/gtest.h>

#include <cmath>

using testsupport::FileExists;
using testsupport::TempFolder;

namespace {

struct Halted {};

struct FakeDrive {
    std::string name;
    uint32_t capabilities;
    char letter;
};

// The drives of one test, kept beyond each program instance so restarts see the same ones.
struct DriveBus {
    std::vector<FakeDrive> drives;
    bool loads = true;
    int loadCalls = 0;
    int selectCalls = 0;
    std::function<void()> duringLoad;
};

class FakeDetector final : public ui::DriveDetector {
  public:
    explicit FakeDetector(DriveBus& bus) : bus_(bus) {}
    bool Load(bool) override {
        ++bus_.loadCalls;
        if (bus_.duringLoad) bus_.duringLoad();
        return loaded_ = bus_.loads;
    }
    bool Loaded() const override { return loaded_; }
    std::vector<std::string> Names() override {
        std::vector<std::string> names;
        for (const FakeDrive& drive : bus_.drives)
            names.push_back(drive.name);
        return names;
    }
    ui::DetectedDrive Select(size_t index) override {
        ++bus_.selectCalls;
        return {bus_.drives.at(index).capabilities, bus_.drives.at(index).letter};
    }
    void Unload() override { loaded_ = false; }
    bool IsDiscLetter(char letter) override {
        for (const FakeDrive& drive : bus_.drives)
            if (drive.letter == letter) return true;
        return false;
    }

  private:
    DriveBus& bus_;
    bool loaded_ = false;
};

constexpr uint32_t dvdWriter = 1u << 12;
constexpr uint32_t testWriteOnly = (1u << 11) | 1u;

class StartUpTest : public testing::Test, protected testsupport::ProgramSite<> {
  protected:
    void SetUp() override {
        gui::Application().HaltHandler = [this](int) {
            ++halts;
            throw Halted{};
        };
    }
    void TearDown() override {
        program.reset();
        gui::Application().HaltHandler = [](int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); };
        gui::SetShell(nullptr);
        gui::SetClock(nullptr);
        testsupport::DrainQueue();
    }

    // A new program instance over the same folder, its steps recorded.
    void StartProgram(std::vector<std::string> params = {}) {
        program.reset();
        testsupport::DrainQueue();
        environment.params = std::move(params);
        program = std::make_unique<ui::TProgram>(environment);
        ASSERT_TRUE(program->Start());
        form = program->MainForm();
        form->Drives = std::make_unique<FakeDetector>(bus);
        form->OnLoadJob = [this](const std::string& name) {
            loadedJobs.push_back(name);
            return true;
        };
        form->OnStartJob = [this] { ++jobStarts; };
        form->OnEvaluateSchedules = [this] { ++evaluations; };
    }
    // Ticks until the start-up sequence has run (and its posted messages with it).
    void RunStartUp() {
        for (int tick = 0; tick < 4 && !form->StartUpDone; ++tick) {
            clock.Advance(1000);
            gui::TTimer::FireDue();
            testsupport::DrainQueue();
        }
        ASSERT_TRUE(form->StartUpDone);
        testsupport::DrainQueue();
    }
    // One minute of ticks, straight into the handler; true when the program halted.
    bool Minute() {
        try {
            for (int tick = 0; tick < 60; ++tick)
                form->Timer1Timer();
        } catch (const Halted&) {
            return true;
        }
        testsupport::DrainQueue();
        return false;
    }
    gui::TIniFile ProgramIni() { return gui::TIniFile(programFolder / "tarnwick.ini"); }
    bool StartUpPosted() {
        MSG message;
        return PeekMessageA(&message, form->Handle(), ui::WM_START_UP, ui::WM_START_UP, PM_REMOVE) != 0;
    }
    int Today() const { return static_cast<int>(std::floor(const_cast<gui::ManualClock&>(clock).Now())); }

    testsupport::KeptRunValue runValue;
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    std::unique_ptr<ui::TProgram> program;
    ui::TMF* form = nullptr;
    DriveBus bus;
    std::vector<std::string> loadedJobs;
    int jobStarts = 0, evaluations = 0, halts = 0;
};

} // namespace

TEST_F(StartUpTest, StartRequestComesOnTheSecondTickOrTheThirdAndRunsOnce) {
    StartProgram();
    form->Timer1.SetEnabled(false);
    form->Timer1Timer();
    EXPECT_FALSE(StartUpPosted());
    EXPECT_EQ(form->Label1->Caption(), "Waiting for system drivers to load.");
    form->Timer1Timer();
    EXPECT_TRUE(StartUpPosted());

    StartProgram({"/A"});
    form->Timer1.SetEnabled(false);
    form->Timer1Timer();
    form->Timer1Timer();
    EXPECT_FALSE(StartUpPosted()) << "/A waits one tick more";
    form->Timer1Timer();
    EXPECT_TRUE(StartUpPosted());

    // A request that arrives while the sequence runs, or after it, does nothing.
    bus.drives = {{"1:0:0 SIM WRITER", dvdWriter, 'E'}};
    bus.duringLoad = [this] { SendMessageA(form->Handle(), ui::WM_START_UP, 0, 0); };
    SendMessageA(form->Handle(), ui::WM_START_UP, 0, 0);
    EXPECT_TRUE(form->StartUpDone);
    EXPECT_EQ(bus.loadCalls, 1);
    SendMessageA(form->Handle(), ui::WM_START_UP, 0, 0);
    EXPECT_EQ(bus.loadCalls, 1);
    EXPECT_FALSE(form->ReadingDevices);
}

TEST_F(StartUpTest, DriveCacheIsTrustedOnlyForTheSameDrivesAndVersion) {
    bus.drives = {{"0:1:0 SIMVEND SIM WRITER 1.00", dvdWriter, 'E'},
                  {"0:2:0 SIMVEND SIM READER 1.00", testWriteOnly, 'F'}};
    StartProgram();
    RunStartUp();
    EXPECT_EQ(bus.selectCalls, 2);
    gui::TIniFile ini = ProgramIni();
    EXPECT_EQ(ini.ReadString("Devices", "0", ""), "0:1:0 SIMVEND SIM WRITER 1.00");
    EXPECT_EQ(ini.ReadString("Devices", "CDDriveList", ""), "E") << "bit 12 makes a writer";
    EXPECT_EQ(ini.ReadString("Devices", "ReadonlyDriveList", ""), "F") << "a test-write bit alone does not";
    EXPECT_EQ(ini.ReadString("DeviceCap0", "12", ""), "1");
    EXPECT_EQ(ini.ReadString("DeviceCap1", "11", ""), "1");
    EXPECT_EQ(ini.ReadString("DeviceCap1", "12", ""), "0");
    EXPECT_EQ(form->WriterChoices,
              (std::vector<std::string>{"Use path", bus.drives[0].name, bus.drives[1].name}));
    EXPECT_EQ(form->Session.Job.WriterIndex, 0);

    // Same drives, same version: nothing is selected, and garbage in the cache reads as false.
    ini.WriteString("DeviceCap1", "0", "yes please");
    ini.WriteString("Devices", "ReadonlyDriveList", "F;\x01");
    StartProgram();
    RunStartUp();
    EXPECT_EQ(bus.selectCalls, 2);
    EXPECT_EQ(form->DeviceCapabilities, (std::vector<uint32_t>{dvdWriter, 1u << 11}));
    EXPECT_EQ(form->CDDriveList, "E");
    EXPECT_EQ(form->ReadonlyDriveList, "F");

    // Another drive name, or a cache written by another version, probes all drives again.
    bus.drives[1].name = "0:3:0 OTHER READER 2.00";
    StartProgram();
    RunStartUp();
    EXPECT_EQ(bus.selectCalls, 4);
    ini.WriteString("Devices", "0", bus.drives[0].name + "0.9.0.0");
    StartProgram();
    RunStartUp();
    EXPECT_EQ(bus.selectCalls, 6);
    EXPECT_EQ(ini.ReadString("Devices", "0", ""), bus.drives[0].name);

    // A cached letter that is no disc drive now (the reader moved to G:, a memory stick took
    // F:) is probed again, and so is a drive fewer: the gone drive's letter and entries go.
    bus.drives[1].letter = 'G';
    StartProgram();
    RunStartUp();
    EXPECT_EQ(bus.selectCalls, 8);
    EXPECT_EQ(form->ReadonlyDriveList, "G");
    bus.drives.pop_back();
    StartProgram();
    RunStartUp();
    EXPECT_EQ(bus.selectCalls, 9);
    EXPECT_EQ(form->ReadonlyDriveList, "");
    EXPECT_FALSE(ini.ValueExists("Devices", "1"));
    EXPECT_FALSE(ini.ValueExists("DeviceCap1", "11"));
    StartProgram();
    RunStartUp();
    EXPECT_EQ(bus.selectCalls, 9) << "the cache of one drive holds again";
    EXPECT_EQ(form->CDDriveList, "E");
}

TEST_F(StartUpTest, CrashedStartChoosesTheFirstWriterAndStartsNoJob) {
    bus.drives = {{"0:1:0 READER", 1u, 'D'}, {"0:2:0 WRITER", dvdWriter, 'E'}};
    environment.os = core::OsVersion{false, 4, 10};
    ProgramIni().WriteBool("Settings", "Crashed", true);
    testsupport::WriteWholeFile(programFolder / "tarnwick.run", "x");
    StartProgram({"/=C:\\Jobs\\Daily.dat"});
    RunStartUp();
    EXPECT_EQ(form->Session.Job.WriterIndex, 2);
    EXPECT_TRUE(prompter.Requests().empty()) << "no resume offer after a crash";
    EXPECT_TRUE(FileExists(programFolder / "tarnwick.run"));
    EXPECT_EQ(jobStarts, 0);
    EXPECT_TRUE(program->Flags().JobName.empty());
    EXPECT_EQ(ProgramIni().ReadString("Settings", "Crashed", ""), "0");
}

TEST_F(StartUpTest, NoTransportShowsTheNoticeOnceItsCheckBoxIsLeftClear) {
    bus.loads = false;
    StartProgram();
    prompter.AnswerModal([this](gui::TForm& notice) {
        EXPECT_FALSE(form->Timer1.Enabled()) << "the timer rests while a modal form is up";
        auto& text = notice.Find<gui::TStaticText>("StaticText1");
        EXPECT_NE(text.Caption().find("unable to initialise the ASPI layer"), std::string::npos);
        notice.Find<gui::TButton>("Button1").Click();
        return notice.ModalResult;
    });
    RunStartUp();
    EXPECT_EQ(prompter.Pending(), 0u);
    EXPECT_TRUE(form->Timer1.Enabled());
    EXPECT_FALSE(form->AspiLoaded);
    EXPECT_EQ(bus.loadCalls, 4) << "the first try, the pass-through, and two more";
    EXPECT_EQ(ProgramIni().ReadString("LastState", "HideInfo", ""), "0");

    StartProgram();
    prompter.AnswerModal([](gui::TForm& notice) {
        notice.Find<gui::TCheckBox>("CheckBox1").SetChecked(true);
        notice.Find<gui::TButton>("Button1").Click();
        return notice.ModalResult;
    });
    RunStartUp();
    EXPECT_EQ(ProgramIni().ReadString("LastState", "HideInfo", ""), "1");
    EXPECT_TRUE(form->HideInfo);

    StartProgram();
    RunStartUp(); // an unscripted notice would throw
    ProgramIni().WriteBool("LastState", "HideInfo", false);
    StartProgram({"/H"});
    RunStartUp(); // nor while starting hidden
    EXPECT_EQ(prompter.Requests().size(), 2u);
}

TEST_F(StartUpTest, ResumeOfferKeepsOrDiscardsTheStateAndTakesNoWhileHidden) {
    const std::vector<std::string> state = {"tarnwick.run", "tarnwick.ftz", "tarnwick.tfl"};
    auto writeState = [&] {
        for (const std::string& file : state)
            testsupport::WriteWholeFile(programFolder / file, "x");
        testsupport::WriteWholeFile(programFolder / "tarnwick.run", "[Running]\r\nJobName=Daily.dat\r\n");
    };
    writeState();
    ProgramIni().WriteBool("LastState", "HideInfo", true);
    // Another job is the current one: the question and the start are about the unfinished job.
    ProgramIni().WriteString("Files", "LastJob", "Weekly.dat");
    StartProgram();
    prompter.AnswerMessage(gui::mrYes);
    RunStartUp();
    ASSERT_EQ(prompter.Requests().size(), 1u);
    EXPECT_EQ(prompter.MessageTexts()[0],
              "Your last job: Daily.dat was not finished would you like to continue the job. The job will "
              "start at the begin of that disk or file which was cancelled");
    EXPECT_EQ(prompter.Requests()[0].Message.Icon, gui::TMsgIcon::Question);
    EXPECT_TRUE(form->KeepResumeState);
    EXPECT_EQ(jobStarts, 1);
    EXPECT_EQ(program->Flags().JobName, "Daily.dat");
    EXPECT_EQ(loadedJobs, std::vector<std::string>{"Daily.dat"});
    EXPECT_TRUE(FileExists(programFolder / "tarnwick.run"));

    // No gives the run up: the archive bits its list names are set again before the list goes.
    StartProgram();
    gui::MemoryFileAttributes bits;
    const std::string lost = programFolder / "lost.txt";
    testsupport::WriteWholeFile(lost, "in the volume the run was building");
    bits.files[lost] = 0;
    testsupport::WriteWholeFile(programFolder / "Att.Lst", lost + "\r\n");
    form->JobAttributes = &bits;
    prompter.AnswerMessage(gui::mrNo);
    RunStartUp();
    EXPECT_EQ(jobStarts, 1);
    for (const std::string& file : state)
        EXPECT_FALSE(FileExists(programFolder / file)) << file;
    EXPECT_EQ(bits.Get(lost) & gui::AttributeArchive, gui::AttributeArchive);
    EXPECT_FALSE(FileExists(programFolder / "Att.Lst"));
    form->JobAttributes = nullptr;

    writeState();
    ProgramIni().WriteBool("LastState", "Hidden", true);
    StartProgram();
    RunStartUp();
    EXPECT_EQ(prompter.Requests().size(), 2u) << "hidden: no box, the answer is No";
    EXPECT_FALSE(FileExists(programFolder / "tarnwick.run"));
}

// A hidden start with a job closes the program after the job, with no saved window state and
// after a session that ended shown; a shown start does not.
TEST_F(StartUpTest, AHiddenStartWithAJobStaysHiddenAndClosesAfterItWhateverTheLastSessionLeft) {
    ProgramIni().WriteBool("LastState", "HideInfo", true);
    const std::vector<std::string> hiddenJob = {"/H", "/=C:\\Jobs\\Daily.dat"};
    StartProgram(hiddenJob);
    RunStartUp();
    EXPECT_EQ(jobStarts, 1);
    EXPECT_TRUE(program->Flags().HideWindow) << "nothing saved";
    EXPECT_TRUE(program->Flags().CloseAfterJob);

    gui::TIniFile ini = ProgramIni();
    ini.WriteBool("LastState", "default", false);
    ini.WriteBool("LastState", "Hidden", false);
    ini.WriteBool("LastState", "Minimized", false);
    StartProgram(hiddenJob);
    RunStartUp();
    EXPECT_EQ(jobStarts, 2);
    EXPECT_TRUE(program->Flags().HideWindow) << "a job ended shown last time";
    EXPECT_TRUE(program->Flags().CloseAfterJob);

    StartProgram({"/=C:\\Jobs\\Daily.dat"});
    RunStartUp();
    EXPECT_EQ(jobStarts, 3);
    EXPECT_FALSE(program->Flags().CloseAfterJob);
    EXPECT_TRUE(prompter.Requests().empty());
}

TEST_F(StartUpTest, BackupReminderCountsDaysOnceADayAndCancelBringsTheOldJobBack) {
    ProgramIni().WriteBool("LastState", "HideInfo", true);
    {
        gui::TIniFile ini = ProgramIni();
        ini.WriteString("Files", "LastJob", "daily.dat");
        ini.WriteString("JobOnStart", "JobName", "weekly.dat");
        ini.WriteInteger("JobOnStart", "DaysCount", 6);
        ini.WriteInteger("JobOnStart", "LastDate", Today() - 1);
        ini.WriteString("ExecuteAfterJobOnStart", "3", "\"C:\\Program Files\\Tool\\a.exe\"  /x /y ");
        ini.WriteString("ExecuteAfterJobOnStart", "4", "C:\\b.exe");
        ini.WriteString("ExecuteAfterJobOnStart", "5", "\"C:\\unclosed.exe");
    }
    for (const char* name : {"weekly", "daily"}) {
        job::JobDefinition stored;
        stored.Destination = std::string("D:\\") + name + "\\|E:\\";
        testsupport::WriteWholeFile(programFolder / (std::string(name) + ".dat"),
                                    job::WriteJobText(stored, {}));
    }
    StartProgram();
    form->OnLoadJob = nullptr;
    prompter.AnswerMessage(gui::mrCancel);
    RunStartUp();
    gui::TIniFile ini = ProgramIni();
    EXPECT_EQ(ini.ReadInteger("JobOnStart", "DaysCount", 0), 7);
    EXPECT_EQ(ini.ReadInteger("JobOnStart", "LastDate", 0), Today());
    EXPECT_EQ(ini.ReadString("JobOnStart", "DoJobOnDay", ""), "7");
    EXPECT_EQ(ini.ReadString("JobOnStart", "MaxDays", ""), "10");
    EXPECT_EQ(prompter.MessageTexts().at(0),
              "No backup has been made for 7 days.\rThe backup will be written "
              "to D:\\weekly - make sure it is ready.")
        << "the reminder's job, its first destination";
    EXPECT_EQ(prompter.Requests()[0].Message.Buttons, gui::TMsgButtons::OKCancel);
    // Cancel: the old job is loaded back, so saving it cannot overwrite its file with the reminder's job.
    EXPECT_EQ(program->Flags().JobName, "daily.dat");
    EXPECT_EQ(form->Session.Job.Destination, "D:\\daily\\|E:\\");
    EXPECT_EQ(jobStarts, 0);
    EXPECT_FALSE(form->ExecuteAfterPending);
    const std::vector<gui::TShellCall> calls = shell.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].Target, "C:\\Program Files\\Tool\\a.exe");
    EXPECT_EQ(calls[0].Parameters, "/x /y");
    EXPECT_EQ(calls[1].Target, "C:\\b.exe");
    EXPECT_EQ(calls[1].Parameters, "");
    EXPECT_EQ(calls[2].Target, "C:\\unclosed.exe");
    EXPECT_TRUE(ini.ValueExists("ExecuteAfterJobOnStart", "1"));

    // Later the same day: no new day counted; OK runs the reminder's job.
    StartProgram();
    form->OnLoadJob = nullptr;
    prompter.AnswerMessage(gui::mrOk);
    RunStartUp();
    EXPECT_EQ(ini.ReadInteger("JobOnStart", "DaysCount", 0), 7);
    EXPECT_EQ(program->Flags().JobName, "weekly.dat");
    EXPECT_EQ(form->Session.Job.Destination, "D:\\weekly\\|E:\\");
    EXPECT_TRUE(form->ExecuteAfterPending);
    EXPECT_EQ(jobStarts, 1);
    EXPECT_EQ(shell.Calls().size(), 3u) << "the programs wait for the job's end";

    // Past MaxDays the reminder only informs; hidden, it is taken as read.
    ini.WriteInteger("JobOnStart", "DaysCount", 10);
    StartProgram();
    prompter.AnswerMessage(gui::mrOk);
    RunStartUp();
    EXPECT_EQ(prompter.Requests().back().Message.Buttons, gui::TMsgButtons::OK);
    EXPECT_EQ(jobStarts, 2);
    ini.WriteBool("LastState", "Hidden", true);
    StartProgram();
    RunStartUp();
    EXPECT_EQ(prompter.Requests().size(), 3u);
    EXPECT_EQ(jobStarts, 3);

    // Cancel when the old job's file is gone: an empty job, not the reminder's under the old name.
    ini.WriteBool("LastState", "Hidden", false);
    ini.WriteInteger("JobOnStart", "DaysCount", 7);
    ini.WriteString("Files", "LastJob", "gone.dat");
    StartProgram();
    form->OnLoadJob = nullptr;
    prompter.AnswerMessage(gui::mrCancel);
    RunStartUp();
    EXPECT_EQ(program->Flags().JobName, "gone.dat");
    EXPECT_EQ(form->Session.Job, job::JobDefinition{});
    EXPECT_NE(testsupport::ReadWholeFile(form->ProgramLogPath())
                  .find("Job gone.dat could not be loaded again after the backup reminder: the job is empty"),
              std::string::npos);
    EXPECT_EQ(jobStarts, 3);
}

TEST_F(StartUpTest, StartUpLeavesTheRunValueAndClearsTheCrashMarker) {
    ProgramIni().WriteBool("LastState", "HideInfo", true);
    StartProgram({"/H"});
    EXPECT_EQ(ProgramIni().ReadString("Settings", "Crashed", ""), "1");
    RunStartUp();
    EXPECT_EQ(ProgramIni().ReadString("Settings", "Crashed", ""), "0");
    EXPECT_EQ(testsupport::RunValue(), "\"" + environment.programPath + "\" /A");
    EXPECT_EQ(ProgramIni().ReadString("JobOnStart", "DaysCount", ""), "1");
    EXPECT_EQ(ProgramIni().ReadString("JobOnStart", "Nag2AfterDestination", ""), "- make sure it is ready.");

    ProgramIni().WriteBool("Settings", "AutoRun", false);
    StartProgram();
    RunStartUp();
    EXPECT_EQ(testsupport::RunValue(), "<none>");
    // The menu's check mark says what the start-up did.
    ASSERT_NE(form->ScheduleTab->Startautomatic1, nullptr);
    EXPECT_FALSE(form->ScheduleTab->Startautomatic1->Checked());
}

TEST_F(StartUpTest, MinuteWorkStartsADueRunOnceAfterItLeftBothQueues) {
    ProgramIni().WriteBool("LastState", "HideInfo", true);
    StartProgram();
    RunStartUp();
    const int evaluationsBefore = evaluations;
    const std::string due = "46000.250000        daily.dat"; // a past morning
    form->RunQueue = {due};
    form->SavedRunQueue = {due, due, "46001.250000        weekly.dat"};
    form->OnStartJob = [&] {
        ++jobStarts;
        EXPECT_TRUE(form->RunQueue.empty());
        EXPECT_EQ(form->SavedRunQueue, (std::vector<std::string>{"46001.250000        weekly.dat"}));
    };
    EXPECT_FALSE(Minute());
    EXPECT_EQ(jobStarts, 1);
    EXPECT_EQ(program->Flags().JobName, "daily.dat");
    EXPECT_FALSE(Minute());
    EXPECT_EQ(jobStarts, 1);
    EXPECT_GT(evaluations, evaluationsBefore);

    // A schedule file changed by another program is read again within the minute.
    int age = 100;
    form->OnScheduleFileAge = [&] { return age; };
    EXPECT_FALSE(Minute());
    const int afterFirstLook = evaluations;
    age = 101;
    EXPECT_FALSE(Minute());
    EXPECT_GE(evaluations, afterFirstLook + 1);

    // While a job runs, nothing is due.
    form->Session.State = job::JobState::Running;
    form->RunQueue = {due};
    EXPECT_FALSE(Minute());
    EXPECT_EQ(jobStarts, 1);
    EXPECT_EQ(form->RunQueue.size(), 1u);
}

TEST_F(StartUpTest, MinuteWorkWatchdogIdleLimitAndStopRequest) {
    ProgramIni().WriteBool("LastState", "HideInfo", true);
    StartProgram();
    RunStartUp();

    // The free space shown is the first destination's, and none for a disc writer's letter.
    int shown = 0;
    form->OnShowFreeSpace = [&] { ++shown; };
    form->CDDriveList = "E";
    form->Session.Job.Destination = " e:\\ | D:\\Backup";
    EXPECT_FALSE(Minute());
    EXPECT_EQ(shown, 0);
    form->Session.Job.Destination = "D:\\Backup|E:\\";
    EXPECT_FALSE(Minute());
    EXPECT_EQ(shown, 1);

    // A disc layer busy for hours with no disc step begun frees the start action.
    bool busy = true;
    form->OnDiscBusy = [&] { return busy; };
    form->Session.State = job::JobState::Running;
    form->Startbackup->SetEnabled(false);
    form->Startbackup->SetCaption("&Cancel");
    form->Session.DiscBusyMinutes = 181;
    form->DiscWriteStarted = true;
    EXPECT_FALSE(Minute());
    EXPECT_TRUE(form->Session.Running()) << "a disc step under way is left alone";
    form->DiscWriteStarted = false;
    EXPECT_FALSE(Minute());
    EXPECT_FALSE(form->Session.Running());
    EXPECT_TRUE(form->Startbackup->Enabled());
    EXPECT_EQ(form->Startbackup->Caption(), "&Start");
    busy = false;

    // A stop request while idle: cancelled within a minute, the job end once (it clears the
    // flag, the request sets it again), the halt after 30 minutes.
    int jobEnds = 0;
    form->OnJobEnd = [&] {
        ++jobEnds;
        form->Session.Cancelled = false;
    };
    testsupport::WriteWholeFile(programFolder / "Stop.req", "");
    EXPECT_FALSE(Minute());
    EXPECT_TRUE(form->Session.Cancelled);
    EXPECT_EQ(jobEnds, 0);
    for (int minute = 0; minute < 30; ++minute)
        ASSERT_FALSE(Minute()) << minute;
    EXPECT_EQ(jobEnds, 1);
    EXPECT_EQ(form->Label1->Caption(), "Job cancelled");
    EXPECT_TRUE(Minute());
    EXPECT_FALSE(FileExists(programFolder / "Stop.req"));

    // A cancel in the next job (its start zeroed the count) ends it once more, and only once.
    form->Session.RunBegins();
    form->Session.Cancelled = true;
    EXPECT_FALSE(Minute());
    EXPECT_FALSE(Minute());
    EXPECT_EQ(jobEnds, 2);

    // A hidden program with schedules listed and no job for longer than InfiniteWait ends itself.
    form->Session.Cancelled = false;
    form->Session.RunBegins();
    form->ListBox2->Items().Add("a schedule");
    program->Flags().Hidden = true;
    form->Session.IdleListMinutes = 1439;
    EXPECT_FALSE(Minute());
    EXPECT_TRUE(Minute());
    EXPECT_EQ(halts, 2);
}

namespace {
// The minutes after a cancel that the timer waits before it ends the program.
constexpr int cancelGrace = 30;

// Files with their archive bits cleared, listed in the program's Att.Lst.
std::vector<std::string> ClearedAndListed(testsupport::HookedAttributes& attributes, const std::string& list,
                                          int files) {
    std::vector<std::string> paths;
    for (int i = 0; i < files; ++i) {
        paths.push_back("C:\\data\\file" + std::to_string(i) + ".doc");
        attributes.files.files[paths.back()] = 0;
    }
    testsupport::WriteWholeFile(list, job::ListFileText(paths));
    return paths;
}
} // namespace

// Setting a cancelled job's archive bits again may outlast the half hour after which a cancel
// ends the program: the minutes inside it do not halt, the first minute after it does.
TEST_F(StartUpTest, TheHaltAfterACancelWaitsForTheArchiveBitsBeingSetAgain) {
    StartProgram();
    RunStartUp();
    form->OnJobEnd = [] {};
    form->Session.Cancelled = true;
    for (int minute = 0; minute < cancelGrace; ++minute)
        ASSERT_FALSE(Minute()) << minute;

    testsupport::HookedAttributes attributes;
    const std::vector<std::string> paths = ClearedAndListed(attributes, programFolder / "Att.Lst", 3);
    int haltsInside = 0;
    attributes.afterSet = [&] { haltsInside += Minute(); };
    EXPECT_EQ(job::RestoreArchiveBits(programFolder / "Att.Lst", attributes, form->Host()), 3);
    EXPECT_EQ(haltsInside, 0);
    for (const std::string& path : paths)
        EXPECT_TRUE(attributes.files.Get(path) & gui::AttributeArchive) << path;
    EXPECT_TRUE(Minute());
}

// The same on the real clock: the program's own timer ticks inside the restore's pumped waits
// (each file takes a while) and its minute work runs there without halting.
TEST_F(StartUpTest, OnTheRealClockTheTimerInsideALongRestoreDoesNotHalt) {
    gui::SetClock(nullptr);
    StartProgram();
    form->StartUpDone = true;
    program->Flags().Hidden = true;
    form->OnJobEnd = [] {};
    form->Session.Cancelled = true;
    form->Session.CancelMinutes = cancelGrace;
    form->MinuteTicks = 59;

    testsupport::HookedAttributes attributes;
    ClearedAndListed(attributes, programFolder / "Att.Lst", 40);
    attributes.afterSet = [] { Sleep(50); };
    EXPECT_EQ(job::RestoreArchiveBits(programFolder / "Att.Lst", attributes, form->Host()), 40);
    EXPECT_GT(form->Session.CancelMinutes, cancelGrace) << "the minute work ran inside the restore";
    EXPECT_EQ(halts, 0);
    EXPECT_TRUE(Minute());
}

TEST_F(StartUpTest, AJobStartsTheMinuteCountsAgainSoNeitherWatchdogStopsIt) {
    gui::TIniFile ini = ProgramIni();
    ini.WriteBool("LastState", "HideInfo", true);
    ini.WriteInteger("Settings", "InfiniteWait", 3);
    StartProgram({"/H"});
    RunStartUp();
    program->Flags().Hidden = true;
    form->ListBox2->Items().Add("a schedule");
    TempFolder data, destination;
    testsupport::WriteWholeFile(data / "a.txt", "a");
    job::JobDefinition job;
    job.Destination = destination.Path();
    job.IncludeList = {data.Path() + "*.*"};
    job.PreRunFile = "C:\\Tools\\before.exe";
    job.PreWait = 70; // the minute work runs inside the job's wait
    testsupport::WriteWholeFile(programFolder / "Minutes.dat", job::WriteJobText(job, {}));
    program->Flags().JobName = "Minutes.dat";
    // Minutes the disc layer was busy before, summed with the job's would pass the watchdog's
    // three hours; a hidden program idle for two minutes more than its limit would end.
    bool busy = true;
    std::vector<bool> runningWhileBusy;
    form->OnDiscBusy = [&] {
        runningWhileBusy.push_back(form->Session.Running());
        return busy;
    };
    EXPECT_FALSE(Minute());
    EXPECT_FALSE(Minute());
    form->Session.DiscBusyMinutes = 181;
    runningWhileBusy.clear();
    form->StartBackupJob();
    for (int round = 0; round < 1000 && form->Session.Running(); ++round)
        testsupport::DrainQueue();
    EXPECT_FALSE(form->Session.Running()) << "the job ended after its volume";
    ASSERT_FALSE(runningWhileBusy.empty()) << "no minute passed inside the job";
    EXPECT_TRUE(runningWhileBusy.front()) << "the disc watchdog let the job go";
    busy = false;
    EXPECT_FALSE(Minute());
    EXPECT_FALSE(Minute());
    EXPECT_EQ(halts, 0);
    EXPECT_EQ(form->Session.IdleListMinutes, 2);
    EXPECT_FALSE(Minute());
    EXPECT_TRUE(Minute()) << "idle past the limit: the program ends";
}

TEST_F(StartUpTest, SmallDialogsCentreAnswerKeysAndShowTheVersionResource) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    ASSERT_TRUE(CopyFileA(self, environment.programPath.c_str(), FALSE));
    StartProgram();
    form->SetBounds(100, 80, 640, 480);

    ui::TAppMsg& status = *form->AppMsg1;
    status.ShowMsg("", "", false);
    EXPECT_FALSE(status.Visible());
    status.ShowMsg("Tarnwick", "Reading properties", true);
    EXPECT_TRUE(status.Visible());
    EXPECT_TRUE(status.Button1->Visible());
    EXPECT_EQ(status.Caption(), "Tarnwick");
    EXPECT_EQ(status.Left(), 100 + (640 - status.Width()) / 2);
    EXPECT_EQ(status.Top(), 80 + (480 - status.Height()) / 2);
    status.ShowMsg("", "", false);
    EXPECT_FALSE(status.Visible());

    ui::TChgFile& entry = *form->ChgFile1;
    entry.Edit1->SetText("old");
    for (auto [key, expected] : {std::pair{VK_ESCAPE, gui::mrCancel}, std::pair{VK_RETURN, gui::mrOk}}) {
        prompter.AnswerModal([key](gui::TForm& shown) {
            SendMessageA(shown.Find<gui::TEdit>("Edit1").Handle(), WM_KEYDOWN, key, 0);
            return shown.ModalResult;
        });
        EXPECT_EQ(form->RunModal([&] { return entry.Execute(); }), expected);
    }
    EXPECT_EQ(entry.Left(), 100 + (640 - entry.Width()) / 2);
    EXPECT_EQ(entry.Top(), std::max(0, 80 + (250 - entry.Height()) / 2));

    prompter.AnswerModal([](gui::TForm& about) {
        auto& memo = about.Find<gui::TMemo>("Memo1");
        EXPECT_EQ(memo.LineCount(), 3);
        EXPECT_EQ(memo.Line(0), "Tarnwick version 1.0.0.0");
        EXPECT_EQ(memo.Line(1), "Copyright (C) Tarnwick");
        EXPECT_EQ(memo.Line(2), "All Rights reserved");
        about.Find<gui::TLabel>("Label4").OnClick();
        about.Find<gui::TLabel>("Label5").OnClick();
        return gui::mrOk;
    });
    form->AboutDlgShow->Execute();
    const std::vector<gui::TShellCall> calls = shell.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Target, "https://www.tarnwick.example/");
    EXPECT_EQ(calls[1].Target, "mailto:support@tarnwick.example");
}
