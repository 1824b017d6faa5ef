// The Schedule tab hosted in-process with the whole program (manual clock, scripted prompter):
// the fields each kind asks for, Add of every kind and Remove of two of three rows checked in
// the file, "Remove old jobs", a run missed while the program was closed started by the timer,
// the timer's minute work over the changes of summer time, a new schedule heading the queue,
// schedule files that cannot be read, come in the older layout or are stamped after 2043, a
// timer tick nested in a rewrite, and "S&tart Automatic" writing, deleting and being refused
// the Run value.
#include "ProgramSite.h"
#include "RegistrySandbox.h"
#include "WinTestSupport.h"
#include "gui/Action.h"
#include "gui/CheckBox.h"
#include "gui/Clock.h"
#include "gui/Edit.h"
#include "gui/Label.h"
#include "gui/ListBox.h"
#include "gui/Menu.h"
#include "gui/Panel.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "gui/Splitter.h"
#include "job/Schedules.h"
#include "ui/MFo.h"
#include "ui/Program.h"
#include "ui/ScheduleTab.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <functional>
#include <utility>

using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

namespace {

double At(int year, int month, int day, int hour = 0, int minute = 0) {
    return core::EncodeDateTime({year, month, day, hour, minute});
}

class ScheduleTabTest : public testing::Test, protected testsupport::ProgramSite<> {
  protected:
    ScheduleTabTest() : ProgramSite(At(2025, 3, 10, 10, 20)) {}
    void Start() {
        program = std::make_unique<ui::TProgram>(environment);
        ASSERT_TRUE(program->Start());
        form = program->MainForm();
        tab = form->ScheduleTab.get();
        program->Flags().Hidden = false;
        OpenJob("C:\\Jobs\\a.dat");
        form->Locale.shortDateFormat = "yyyy-MM-dd";
        form->Locale.dateSeparator = '-';
        form->Locale.longTimeFormat = "HH:mm:ss";
    }
    void TearDown() override {
        program.reset();
        gui::SetShell(nullptr);
        gui::SetClock(nullptr);
        testsupport::DrainQueue();
    }
    // As a load or a save leaves it.
    void OpenJob(const std::string& name) {
        program->Flags().JobName = name;
        form->Session.LoadedJobName = name;
    }
    void Choose(gui::TRadioButton* kind, std::vector<size_t> days = {}) {
        for (gui::TRadioButton* button :
             {tab->RadioButton6, tab->RadioButton7, tab->RadioButton8, tab->RadioButton9, tab->RadioButton10})
            button->SetChecked(button == kind);
        kind->OnClick();
        if (days.empty()) return;
        // The boxes clicked.
        for (size_t day = 0; day < 7; ++day)
            tab->Weekdays[day]->SetChecked(std::find(days.begin(), days.end(), day) != days.end());
        tab->CheckBox4Click();
    }
    std::vector<std::string> FileLines(const std::string& extension) {
        return job::SplitTextLines(ReadWholeFile(programFolder / ("tarnwick" + extension)));
    }
    std::string ScheduleFile() const { return programFolder / "tarnwick.sch"; }
    // The timer's minute work, as its sixtieth tick runs it.
    void MinuteWork() {
        form->StartUpDone = true;
        form->MinuteTicks = 59;
        form->Timer1Timer();
    }
    // Job starts the timer has posted since the last look, taken off the queue.
    int StartsPosted() {
        int starts = 0;
        MSG message;
        while (PeekMessageA(&message, form->Handle(), ui::WM_START_JOB, ui::WM_START_JOB, PM_REMOVE))
            ++starts;
        return starts;
    }
    // Minutes of program time, each with its minute work; `change` runs once when the wall
    // clock reaches `at`. Returns the job starts.
    int RunMinutes(int minutes, double at = 0, std::function<void()> change = {}) {
        int starts = 0;
        for (int minute = 0; minute < minutes; ++minute) {
            clock.Advance(60'000);
            if (change && clock.Now() >= at) std::exchange(change, nullptr)();
            MinuteWork();
            starts += StartsPosted();
        }
        return starts;
    }
    static std::string Line(const std::string& kind, double value,
                            const std::string& job = "C:\\Jobs\\a.dat") {
        return job::FormatScheduleLine(kind, value, job, '.');
    }

    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    std::unique_ptr<ui::TProgram> program;
    ui::TMF* form = nullptr;
    ui::TScheduleTab* tab = nullptr;
};

} // namespace

TEST_F(ScheduleTabTest, EachKindAsksForItsFieldsAndAddsAllOrNothing) {
    Start();
    Choose(tab->RadioButton6);
    EXPECT_FALSE(tab->Weekdays[0]->Enabled());
    EXPECT_EQ(tab->Edit4->Text(), "2025-03-10 12:44:00"); // Now + 2.4 hours
    EXPECT_FALSE(tab->Edit5->Enabled());
    Choose(tab->RadioButton7, {0});
    EXPECT_FALSE(tab->Edit4->Enabled());
    EXPECT_EQ(tab->Edit5->Text(), "12:44:00");
    Choose(tab->RadioButton10);
    EXPECT_EQ(tab->Label12->Caption(), "Ever&y");
    tab->Edit5->SetText("01:00:00 PM");
    Choose(tab->RadioButton10);
    EXPECT_EQ(tab->Edit5->Text(), "01:00:00");

    // A field that does not convert: nothing is written.
    Choose(tab->RadioButton8, {0, 4});
    tab->Edit5->SetText("9:7x");
    tab->SaveSchedule->Execute();
    EXPECT_FALSE(testsupport::FileExists(programFolder / "tarnwick.sch"));

    tab->Edit5->SetText("09:30:00");
    tab->SaveSchedule->Execute();
    Choose(tab->RadioButton10);
    tab->Edit5->SetText("01:00:00");
    tab->SaveSchedule->Execute();
    EXPECT_EQ(FileLines(".sch"), (std::vector<std::string>{
                                     "version 2.11",
                                     "Every    -    - 0.0416666667           C:\\Jobs\\a.dat",
                                     "Weekly   - Fr - 0.3958333333           C:\\Jobs\\a.dat",
                                     "Weekly   - Mo - 0.3958333333           C:\\Jobs\\a.dat",
                                 }));
    ASSERT_EQ(form->ListBox2->Items().Count(), 3);
    // Every hour from 10:20: 11:00, 12:00, 13:00; Fridays and Mondays for 15 days.
    EXPECT_EQ(tab->ListBox4->Items()[0], "2025-03-10 11:00:00  -  C:\\Jobs\\a.dat");
    EXPECT_EQ(FileLines(".sac").size(), static_cast<size_t>(tab->ListBox4->Items().Count()));

    // Remove the first and the last of three rows.
    form->ListBox2->SetSelected(0, true);
    form->ListBox2->SetSelected(2, true);
    tab->RemoveSchedule->Execute();
    EXPECT_EQ(FileLines(".sch"), (std::vector<std::string>{
                                     "version 2.11",
                                     "Weekly   - Fr - 0.3958333333           C:\\Jobs\\a.dat",
                                 }));
    EXPECT_EQ(form->ListBox2->Items().Count(), 1);

    // A file that cannot be replaced (held open by another program) stays as it was, and the
    // log says so.
    const std::string before = ReadWholeFile(programFolder / "tarnwick.sch");
    HANDLE held = CreateFileA((programFolder / "tarnwick.sch").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    Choose(tab->RadioButton9);
    tab->SaveSchedule->Execute();
    CloseHandle(held);
    EXPECT_EQ(ReadWholeFile(programFolder / "tarnwick.sch"), before);
    EXPECT_NE(ReadWholeFile(programFolder / "tarnwick.log").find("The schedule file could not be written"),
              std::string::npos);
}

// The minute work ticks inside the second's wait before Remove tries the file again: it leaves
// the half-done lists alone instead of reading the old file back into them.
TEST_F(ScheduleTabTest, ATimerTickInsideARewriteWaitLeavesTheHalfDoneListsAlone) {
    Start();
    Choose(tab->RadioButton9);
    for (const char* time : {"06:00:00", "12:00:00", "18:00:00"}) {
        tab->Edit5->SetText(time);
        tab->SaveSchedule->Execute();
    }
    ASSERT_EQ(form->ListBox2->Items().Count(), 3);
    form->ListBox2->SetSelected(0, true);
    form->ListBox2->SetSelected(2, true);
    // Held by another program for a moment: the first replace fails.
    HANDLE held = CreateFileA(ScheduleFile().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    form->StartUpDone = true;
    form->MinuteTicks = 59;
    form->ScheduleMinutes = 31; // this minute re-evaluates
    clock.Advance(500);         // the next tick falls inside the wait
    int rowsSeenByTheTick = -1;
    form->OnShowFreeSpace = [&] { // late in the minute work, after the schedule check
        rowsSeenByTheTick = form->ListBox2->Items().Count();
        CloseHandle(std::exchange(held, INVALID_HANDLE_VALUE));
    };
    tab->RemoveSchedule->Execute();
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    EXPECT_EQ(rowsSeenByTheTick, 1);
    EXPECT_EQ(form->ScheduleMinutes, 1); // the nested minute work did run its schedule check
    EXPECT_EQ(FileLines(".sch"),
              (std::vector<std::string>{"version 2.11", Line(job::DailyKindField(), 0.5)}));
    EXPECT_EQ(form->ListBox2->Items().Count(), 1);
}

TEST_F(ScheduleTabTest, ARunMissedWhileClosedIsStartedAndOldRunsCanBeCleared) {
    const std::string missed = job::FormatRunQueueEntry(At(2025, 3, 10, 9, 20), "C:\\Jobs\\missed.dat", '.');
    const std::string later = job::FormatRunQueueEntry(At(2025, 3, 11, 9, 20), "C:\\Jobs\\later.dat", '.');
    WriteWholeFile(programFolder / "tarnwick.sch", "version 2.11\r\n");
    WriteWholeFile(programFolder / "tarnwick.sac", missed + "\r\n" + later + "\r\n");
    Start();
    ASSERT_EQ(form->RunQueue, (std::vector<std::string>{missed, later}));
    tab->EvaluateSchedules(); // the rows again in the test's locale
    EXPECT_EQ(tab->ListBox4->Items()[0], "2025-03-10 09:20:00  -  C:\\Jobs\\missed.dat");

    // The timer's minute work: the missed run leaves both queues and starts.
    form->StartUpDone = true;
    form->MinuteTicks = 59;
    form->Timer1Timer();
    EXPECT_EQ(program->Flags().JobName, "C:\\Jobs\\missed.dat");
    EXPECT_EQ(FileLines(".sac"), std::vector<std::string>{later});

    tab->ClearJobToRun->Execute();
    EXPECT_TRUE(form->RunQueue.empty());
    EXPECT_TRUE(FileLines(".sac").empty());
}

TEST_F(ScheduleTabTest, StartAutomaticWritesDeletesAndIsRefusedTheRunValue) {
    Start();
    const std::string keyPath = "Software\\TarnwickTest\\SchedRun" + std::to_string(GetCurrentProcessId());
    tab->RunKeyRoot = HKEY_CURRENT_USER;
    tab->RunKeyPath = "\\" + keyPath;
    const std::string query = "reg query \"HKCU\\" + keyPath + "\" /v Tarnwick";
    ASSERT_NE(tab->Startautomatic1, nullptr);

    tab->Startautomatic1->SetChecked(true);
    tab->AutoStart->Execute();
    EXPECT_EQ(testsupport::RunAndWait(query), 0);
    tab->Startautomatic1->SetChecked(false);
    tab->AutoStart->Execute();
    EXPECT_NE(testsupport::RunAndWait(query), 0);
    tab->AutoStart->Execute(); // no value to delete: not a failure
    EXPECT_TRUE(prompter.MessageTexts().empty());

    // A key this user may only read.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPLICIT_ACCESS_A access{};
    access.grfAccessPermissions = KEY_READ;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    BuildTrusteeWithNameA(&access.Trustee, const_cast<char*>("EVERYONE"));
    PACL acl = nullptr;
    ASSERT_EQ(SetEntriesInAclA(1, &access, nullptr, &acl), ERROR_SUCCESS);
    EXPECT_EQ(
        SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, acl, nullptr),
        ERROR_SUCCESS);
    RegCloseKey(key);
    prompter.AnswerMessage(gui::mrOk);
    tab->Startautomatic1->SetChecked(true);
    tab->AutoStart->Execute();
    EXPECT_EQ(prompter.MessageTexts(),
              std::vector<std::string>{"You need administrator rights to enable the auto run of Tarnwick"});
    EXPECT_TRUE(tab->Startautomatic1->Checked()); // the mark stays as the user set it

    // Open again for everyone, and away with the key.
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
        SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
    }
    LocalFree(acl);
    RegDeleteKeyA(HKEY_CURRENT_USER, keyPath.c_str());
}

// The splitter between the runs and the schedules stops 21 pixels from the panel's top and 42
// from its foot, and a smaller panel pulls it up to 42 pixels from its foot (never above 21);
// "Schedules:" sits 5 pixels below it and the schedules fill the rest.
TEST_F(ScheduleTabTest, TheSplitterKeepsBothListsInSight) {
    Start();
    gui::TPanel& panel = *form->Panel6;
    const int height = panel.Height();
    auto laidOut = [&] {
        EXPECT_EQ(tab->Splitter1->Top(), tab->ListBox4->Height());
        EXPECT_EQ(tab->Label14->Top(), tab->Splitter1->Top() + tab->Splitter1->Height() + 5);
        EXPECT_GT(form->ListBox2->Top(), tab->Label14->Top());
        EXPECT_EQ(form->ListBox2->Top() + form->ListBox2->Height(), panel.Height());
    };
    laidOut();
    tab->Splitter1->MoveTo(5); // dragged to the top
    EXPECT_EQ(tab->ListBox4->Height(), 21);
    laidOut();
    tab->Splitter1->MoveTo(height - 10); // dragged to the foot: stops where a resize would pull it
    EXPECT_EQ(tab->Splitter1->Top(), height - 42);
    laidOut();
    panel.SetHeight(height - 5);
    EXPECT_EQ(tab->Splitter1->Top(), height - 5 - 42);
    EXPECT_EQ(tab->ListBox4->Height(), height - 5 - 42);
    laidOut();
    panel.SetHeight(50);
    EXPECT_EQ(tab->Splitter1->Top(), 21);
    EXPECT_EQ(tab->ListBox4->Height(), 21);
}

// With no job open (a fresh install, a restart after a crash, a new job not saved) Add says so
// and writes nothing;
// a line without a job in the file, or a saved run without one, blocks no other run.
TEST_F(ScheduleTabTest, AddWithoutAJobIsRefusedAndARunWithoutAJobBlocksNothing) {
    Start();
    program->Flags().JobName.clear();
    Choose(tab->RadioButton9);
    prompter.AnswerMessage(gui::mrOk).AnswerMessage(gui::mrOk);
    tab->SaveSchedule->Execute();
    form->FindOrNull<gui::TAction>("NewJob")->Execute();
    tab->SaveSchedule->Execute();
    const std::string refusal = "There is no open backup job to schedule. Open or save a job first.";
    EXPECT_EQ(prompter.MessageTexts(), (std::vector<std::string>{refusal, refusal}));
    EXPECT_FALSE(testsupport::FileExists(ScheduleFile()));

    WriteWholeFile(ScheduleFile(), "version 2.11\r\nDaily    -    - 0.4000000000\r\n" +
                                       Line(job::DailyKindField(), 10.5 / 24, "C:\\Jobs\\b.dat") + "\r\n");
    WriteWholeFile(programFolder / "tarnwick.sac",
                   job::FormatRunQueueEntry(At(2025, 3, 10, 9), "", '.') + "\r\n");
    tab->LoadSavedRunQueue();
    tab->EvaluateSchedules();
    EXPECT_EQ(form->ListBox2->Items().Count(), 1);
    EXPECT_NE(
        ReadWholeFile(programFolder / "tarnwick.log").find("A schedule without a job is left out: Daily"),
        std::string::npos);
    EXPECT_EQ(RunMinutes(11), 1);
    EXPECT_EQ(program->Flags().JobName, "C:\\Jobs\\b.dat");
}

// A file another program holds without read sharing is not a missing one: the schedules shown
// stay, Add and Remove write nothing while it lasts, and the next Add keeps every schedule.
TEST_F(ScheduleTabTest, AScheduleFileThatCannotBeReadIsKeptAndNotOverwritten) {
    Start();
    Choose(tab->RadioButton9);
    tab->Edit5->SetText("06:00:00");
    tab->SaveSchedule->Execute();
    tab->Edit5->SetText("18:00:00");
    tab->SaveSchedule->Execute();
    const std::string before = ReadWholeFile(ScheduleFile());
    HANDLE held = CreateFileA(ScheduleFile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    tab->EvaluateSchedules();
    tab->EvaluateSchedules();
    EXPECT_EQ(form->ListBox2->Items().Count(), 2);
    tab->Edit5->SetText("12:00:00");
    tab->SaveSchedule->Execute();
    form->ListBox2->SetSelected(0, true);
    tab->RemoveSchedule->Execute();
    EXPECT_EQ(form->ListBox2->Items().Count(), 2);
    CloseHandle(held);
    EXPECT_EQ(ReadWholeFile(ScheduleFile()), before);
    const std::string log = ReadWholeFile(programFolder / "tarnwick.log");
    const std::string unread = "The schedule file could not be read, the schedules shown are kept";
    EXPECT_NE(log.find(unread), std::string::npos);
    EXPECT_EQ(log.find(unread), log.rfind(unread)); // one line while it lasts
    EXPECT_NE(log.find("The schedule file could not be read, nothing was changed"), std::string::npos);

    form->ListBox2->SetSelected(0, false);
    tab->SaveSchedule->Execute();
    EXPECT_EQ(FileLines(".sch").size(), 4u);
}

// A file in the older layout is shown converted and left as it is; the next Add writes it in
// the current layout with every line.
TEST_F(ScheduleTabTest, AnOlderLayoutIsShownAndTakesTheCurrentLayoutAtTheNextAdd) {
    const std::string older = "Weekly   - Fr - 09:15:00 - C:\\Jobs\\b.dat\r\n"
                              "Daily    -    - 22:00:00 - C:\\Jobs\\c.dat\r\n";
    WriteWholeFile(ScheduleFile(), older);
    Start();
    tab->EvaluateSchedules(); // in the test's locale
    EXPECT_EQ(form->ListBox2->Items().ToVector(),
              (std::vector<std::string>{"Daily    -    - 22:00:00  -  C:\\Jobs\\c.dat",
                                        "Weekly   - Fr - 09:15:00  -  C:\\Jobs\\b.dat"}));
    EXPECT_EQ(ReadWholeFile(ScheduleFile()), older);
    Choose(tab->RadioButton10);
    tab->Edit5->SetText("01:00:00");
    tab->SaveSchedule->Execute();
    EXPECT_EQ(FileLines(".sch"), (std::vector<std::string>{
                                     "version 2.11",
                                     Line(job::DailyKindField(), 22.0 / 24, "C:\\Jobs\\c.dat"),
                                     Line(job::EveryKindField(), 1.0 / 24),
                                     Line(job::WeeklyKindField(4), 9.25 / 24, "C:\\Jobs\\b.dat"),
                                 }));
}

// A new schedule becomes the head the timer takes at its next minute (not the head it held),
// and a Once two centuries ahead heads nothing.
TEST_F(ScheduleTabTest, ANewScheduleHeadsTheQueueBeforeAFarOnceAndRunsInTime) {
    WriteWholeFile(ScheduleFile(), "version 2.11\r\n" + Line(job::DailyKindField(), 20.0 / 24) + "\r\n");
    Start();
    tab->EvaluateSchedules();
    form->ScheduleMinutes = 0;
    EXPECT_EQ(RunMinutes(1), 0);
    ASSERT_EQ(form->NextRunJob, "C:\\Jobs\\a.dat");
    Choose(tab->RadioButton6);
    tab->Edit4->SetText("2205-01-01 09:00:00");
    tab->SaveSchedule->Execute();
    OpenJob("C:\\Jobs\\b.dat");
    Choose(tab->RadioButton6);
    tab->Edit4->SetText("2025-03-10 10:25:00");
    tab->SaveSchedule->Execute();
    EXPECT_EQ(tab->ListBox4->Items()[0], "2025-03-10 10:25:00  -  C:\\Jobs\\b.dat");
    EXPECT_EQ(tab->ListBox4->Items()[tab->ListBox4->Items().Count() - 1],
              "2205-01-01 09:00:00  -  C:\\Jobs\\a.dat");
    EXPECT_EQ(RunMinutes(5), 1);
    EXPECT_EQ(program->Flags().JobName, "C:\\Jobs\\b.dat");
}

// Summer time begins (02:00 -> 03:00 on the manual clock's wall clock): a run at 02:30 starts
// once, at the first minute after the change.
TEST_F(ScheduleTabTest, ARunInTheSkippedHourOfSummerTimeStartsOnceAfterTheChange) {
    WriteWholeFile(ScheduleFile(), "version 2.11\r\n" + Line(job::DailyKindField(), 2.5 / 24) + "\r\n");
    clock.ShiftWallClock(At(2025, 3, 30, 1, 50) - clock.Now());
    Start();
    tab->EvaluateSchedules();
    EXPECT_EQ(RunMinutes(11, At(2025, 3, 30, 2), [&] { clock.ShiftWallClock(1.0 / 24); }), 1);
    EXPECT_LT(clock.Now(), At(2025, 3, 30, 3, 2));
    EXPECT_EQ(RunMinutes(90), 0);
    EXPECT_EQ(tab->ListBox4->Items()[0], "2025-03-31 02:30:00  -  C:\\Jobs\\a.dat");
}

// Summer time ends (03:00 -> 02:00): a run at 02:30 starts in the first pass of the repeated
// hour and not again in the second.
TEST_F(ScheduleTabTest, ARunInTheRepeatedHourOfSummerTimeStartsOnce) {
    WriteWholeFile(ScheduleFile(), "version 2.11\r\n" + Line(job::DailyKindField(), 2.5 / 24) + "\r\n");
    clock.ShiftWallClock(At(2025, 10, 26, 2, 10) - clock.Now());
    Start();
    tab->EvaluateSchedules();
    form->ScheduleMinutes = 0;
    EXPECT_EQ(RunMinutes(150, At(2025, 10, 26, 3), [&] { clock.ShiftWallClock(-1.0 / 24); }), 1);
    EXPECT_EQ(tab->ListBox4->Items()[0], "2025-10-27 02:30:00  -  C:\\Jobs\\a.dat");
}

// The timer re-reads a schedule file another program changed, also one stamped after 2043,
// where a DOS date read as a signed number turns negative.
TEST_F(ScheduleTabTest, AScheduleFileStampedAfter2043IsStillReadAgain) {
    Start();
    Choose(tab->RadioButton9);
    tab->SaveSchedule->Execute();
    MinuteWork();
    WriteWholeFile(ScheduleFile(), "version 2.11\r\n" + Line(job::WeeklyKindField(0), 0.25) + "\r\n");
    SYSTEMTIME stamp{};
    stamp.wYear = 2045;
    stamp.wMonth = 6;
    stamp.wDay = 1;
    FILETIME written{};
    ASSERT_TRUE(SystemTimeToFileTime(&stamp, &written));
    HANDLE file = CreateFileA(ScheduleFile().c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
    CloseHandle(file);
    form->ScheduleMinutes = 0;
    MinuteWork();
    EXPECT_EQ(form->ListBox2->Items().ToVector(),
              std::vector<std::string>{"Weekly   - Mo - 06:00:00  -  C:\\Jobs\\a.dat"});
}
