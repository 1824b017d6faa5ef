// The end phase of a job, run by the program hosted in-process (manual clock, scripted
// prompter, recording shell). The backup reminder's job: the day count starts again only after
// a backup that was made, the user is told how it went unless the run is hidden, the
// programs to run after it start, and the reminder's close-after takes effect. A window shown
// for the job goes back down.
#include "ProgramSite.h"
#include "WinTestSupport.h"
#include "core/Settings.h"
#include "gui/Application.h"
#include "gui/Clock.h"
#include "gui/FileAttributes.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "job/JobFile.h"
#include "job/Schedules.h"
#include "ui/MFo.h"
#include "ui/Program.h"

#include <gtest/gtest.h>

using testsupport::TempFolder;
using testsupport::WriteWholeFile;

namespace {

struct ReminderProgram : testsupport::ProgramSite<> {
    explicit ReminderProgram(bool hideWindow) {
        program = std::make_unique<ui::TProgram>(environment);
        program->Start();
        form = program->MainForm();
        form->StartUpDone = true;
        form->JobAttributes = &attributes;
        program->Flags().HideWindow = hideWindow;
        program->Flags().Hidden = hideWindow;
        program->Flags().JobName = "Daily.dat";
        form->ReminderJob = "Daily.dat";
        form->ExecuteAfterPending = true;
        form->CloseAfterReminderJob = true;
        gui::TIniFile& user = form->UserIni();
        user.WriteInteger(core::ini::JobOnStart, "DaysCount", 9);
        user.WriteString(core::ini::ExecuteAfterJobOnStart, "1", "\"C:\\tools\\after.exe\" /x");

        WriteWholeFile(source / "a.txt", "some bytes");
        job::JobDefinition daily;
        daily.Destination = programFolder / "dest";
        daily.ZipSizeText = "4";
        daily.IncludeList = {source.Path() + "*.*"};
        WriteWholeFile(programFolder / "Daily.dat", job::WriteJobText(daily, {}));
        form->LoadJob("Daily.dat");
    }
    ~ReminderProgram() {
        program.reset();
        testsupport::DrainQueue();
        gui::SetShell(nullptr);
        gui::SetClock(nullptr);
    }
    // The start; a cancel, when asked for, arrives between the first volume and the next step.
    void RunJob(bool cancelBetweenSteps) {
        form->StartBackupJob();
        if (cancelBetweenSteps) form->Session.Cancelled = true;
        for (int round = 0; round < 10'000 && form->Session.Running(); ++round)
            testsupport::DrainQueue();
    }
    int DaysCount() { return form->UserIni().ReadInteger(core::ini::JobOnStart, "DaysCount", -1); }
    int ProgramsAfter() {
        int n = 0;
        for (const gui::TShellCall& call : shell.Calls())
            n += call.Target == "C:\\tools\\after.exe";
        return n;
    }

    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    gui::MemoryFileAttributes attributes;
    TempFolder source;
    std::unique_ptr<ui::TProgram> program;
    ui::TMF* form = nullptr;
};

} // namespace

TEST(ReminderJob, ABackupMadeStartsTheCountAgainSaysSoRunsTheProgramsAfterAndClosesAsTheReminderSays) {
    ReminderProgram hosted(false);
    hosted.prompter.AnswerMessage(gui::mrOk);
    hosted.RunJob(false);
    ASSERT_FALSE(hosted.form->Session.Running());
    EXPECT_EQ(hosted.DaysCount(), 0);
    const std::vector<std::string> boxes = hosted.prompter.MessageTexts();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "The backup job Daily.dat is completed successfully");
    EXPECT_EQ(hosted.prompter.Requests()[0].Message.Icon, gui::TMsgIcon::Information);
    EXPECT_EQ(hosted.ProgramsAfter(), 1);
    EXPECT_TRUE(hosted.program->Flags().CloseAfterJob) << "the reminder's close-after, no run waiting";
    EXPECT_FALSE(hosted.form->ExecuteAfterPending);
}

// A job cancelled between two steps reaches the end phase too: no backup was made, so the
// reminder keeps counting and the user hears of a problem.
TEST(ReminderJob, ACancelledRunIsNoBackupTheCountGoesOnAndTheUserHearsOfAProblem) {
    ReminderProgram hosted(false);
    hosted.prompter.AnswerMessage(gui::mrOk);
    hosted.RunJob(true);
    ASSERT_FALSE(hosted.form->Session.Running());
    EXPECT_EQ(hosted.DaysCount(), 9);
    const std::vector<std::string> boxes = hosted.prompter.MessageTexts();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0],
              "There was a problem with the backup job Daily.dat, look in the log for detailed information");
    EXPECT_FALSE(hosted.program->Flags().CloseAfterJob);
    EXPECT_EQ(hosted.ProgramsAfter(), 1) << "the programs after the reminder's job run however it ended";
}

// A window kept hidden (an unattended run) gets no box that would wait for a click.
TEST(ReminderJob, AnUnattendedRunStartsTheCountAgainWithoutABox) {
    ReminderProgram hosted(true);
    hosted.RunJob(false);
    ASSERT_FALSE(hosted.form->Session.Running());
    EXPECT_EQ(hosted.DaysCount(), 0);
    EXPECT_TRUE(hosted.prompter.Requests().empty());
}

// A run that is hidden without the window being kept hidden (started minimised, or by /A) is
// unattended as well: no box holds up the job's end, whose programs after it run, and the
// reminder's close-after takes effect.
TEST(ReminderJob, AHiddenRunStartedMinimisedOrByTheAutoSwitchGetsNoBoxEither) {
    for (const bool succeeded : {true, false}) {
        SCOPED_TRACE(succeeded ? "done" : "cancelled");
        ReminderProgram hosted(false);
        hosted.program->Flags().Hidden = true;
        hosted.RunJob(!succeeded);
        ASSERT_FALSE(hosted.form->Session.Running());
        EXPECT_TRUE(hosted.prompter.Requests().empty());
        EXPECT_EQ(hosted.DaysCount(), succeeded ? 0 : 9);
        EXPECT_EQ(hosted.ProgramsAfter(), 1);
        EXPECT_EQ(hosted.program->Flags().CloseAfterJob, succeeded);
        EXPECT_TRUE(hosted.program->Flags().Hidden) << "the window was not brought up";
    }
}

// Shown for the job from the tray, the window goes back down at its end and stays hidden.
TEST(EndPhase, AWindowMinimisedAtTheStartGoesBackDownAtTheEnd) {
    ReminderProgram hosted(false);
    hosted.form->ReminderJob.clear();
    hosted.form->Showonjobstart = true;
    hosted.form->WindowMinimized = true;
    hosted.RunJob(false);
    ASSERT_FALSE(hosted.form->Session.Running());
    EXPECT_FALSE(hosted.form->Session.WasMinimizedAtStart);
    EXPECT_TRUE(hosted.program->Flags().Hidden);
    EXPECT_TRUE(IsIconic(gui::Application().Handle()));
}

// After a job the tray tells what comes next, not the job's last progress: the job's name, or
// the next queued run, after a cancel too.
TEST(EndPhase, TheTrayTipAfterAJobIsTheNextRunOrTheJobNotItsLastProgress) {
    ReminderProgram hosted(true);
    hosted.form->ReminderJob.clear();
    hosted.RunJob(false);
    ASSERT_FALSE(hosted.form->Session.Running());
    EXPECT_EQ(hosted.form->Tray.Tip(), "Daily");

    const double due = 110'000.5; // in 2201, so the timer starts nothing meanwhile
    const std::string entry = job::FormatRunQueueEntry(due, "C:\\Jobs\\later.dat", '.');
    hosted.form->RunQueue = {entry};
    hosted.RunJob(true);
    ASSERT_FALSE(hosted.form->Session.Running());
    const std::optional<std::string> dueText = job::RunQueueDueText(entry, hosted.form->Locale);
    ASSERT_TRUE(dueText);
    EXPECT_EQ(hosted.form->Tray.Tip(), *dueText + " - C:\\Jobs\\later.dat");
}
