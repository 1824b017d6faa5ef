// The Schedule tab hosted in-process with the whole program (manual clock, scripted prompter):
// the fields each kind asks for, Add of every kind and Remove of two of three rows checked in
// the file, "Remove old jobs", a run missed while the program was closed started by the timer,
// and "S&tart Automatic" writing, deleting and being refused the Run value.
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
        program->Flags().JobName = "C:\\Jobs\\a.dat";
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
    tab->EvaluateSchedules();

    // A nested evaluation while one runs returns at once.
    tab->ScheduleEvaluating = true;
    tab->EvaluateSchedules();
    EXPECT_EQ(form->ListBox2->Items().Count(), 1);
    tab->ScheduleEvaluating = false;
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
