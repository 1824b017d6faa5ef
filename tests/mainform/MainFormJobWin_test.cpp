// The main form's job file calls on a program hosted in-process: nothing before start-up has
// run, then loads and saves beside the program with the window's name following.
#include "FakeRegistry.h"
#include "WinTestSupport.h"
#include "gui/Clock.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "ui/Program.h"

#include <gtest/gtest.h>

using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

TEST(MainFormJob, LoadAndSaveFollowTheJobNameAndADamagedFileReachesTheCaller) {
    testsupport::DrainQueue();
    gui::ManualClock clock;
    gui::SetClock(&clock);
    gui::TRecordingShell shell;
    gui::SetShell(&shell);
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    TempFolder programFolder, windowsFolder;
    testsupport::FakeRegistry registry;
    core::ProgramEnvironment environment;
    environment.programPath = programFolder / "tarnwick.exe";
    environment.windowsFolder = windowsFolder.Path().substr(0, windowsFolder.Path().size() - 1);
    environment.systemTempPath = programFolder.Path();
    environment.registry = &registry;
    {
        ui::TProgram program(environment);
        ASSERT_TRUE(program.Start());
        ui::TMF& form = *program.MainForm();
        const std::string week = "e:\r\n1\r\n0\r\n46000.5\r\n1\r\nWeekly\r\n6\r\n700\r\n0\r\n0\r\n#####\r\n*-"
                                 "Include-*\r\nc:\\a\\\r\n";
        WriteWholeFile(programFolder / "Week.dat", week);

        form.LoadJob("Week.dat");
        EXPECT_EQ(form.Session.Job.ZipName, "") << "no load before start-up";

        form.StartUpDone = true;
        form.LoadJob("Week.dat");
        EXPECT_EQ(form.Session.Job.ZipName, "Weekly");
        EXPECT_EQ(program.Flags().JobName, "Week.dat");
        EXPECT_EQ(form.Caption(), "Tarnwick - Week");
        EXPECT_FALSE(form.JobFileBusy());

        form.Session.Job.ZipName = "Weekly2";
        form.SaveJob("");
        EXPECT_NE(ReadWholeFile(programFolder / "Week.dat").find("\r\nWeekly2\r\n"), std::string::npos);

        // A damaged file reaches the caller, and the next load is not kept waiting.
        WriteWholeFile(programFolder / "Bad.dat",
                       "e:\r\n1\r\n0\r\n1\r\n1\r\nz\r\n6\r\n700\r\n0\r\n0\r\n#####9x\r\n");
        EXPECT_THROW(form.LoadJob("Bad.dat"), job::EJobFileError);
        EXPECT_FALSE(form.JobFileBusy());
        form.LoadJob("Week.dat");
        EXPECT_EQ(form.Session.Job.ZipName, "Weekly2");
    }
    gui::SetShell(nullptr);
    gui::SetClock(nullptr);
    testsupport::DrainQueue();
}
