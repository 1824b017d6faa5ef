// The main form's job calls on a program hosted in-process: nothing before start-up has run,
// then loads and saves beside the program with the window's name following; the job start
// through the window's message.
#include "ProgramSite.h"
#include "WinTestSupport.h"
#include "WineDriveWinSupport.h"
#include "core/DateText.h"
#include "gui/Action.h"
#include "gui/Clock.h"
#include "gui/IniFile.h"
#include "gui/ProgressBar.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "gui/Timer.h"
#include "job/JobFile.h"
#include "job/RestoreRun.h"
#include "ui/MFo.h"
#include "ui/MFoRestore.h"
#include "ui/Program.h"

#include <gtest/gtest.h>

using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

namespace {
class MainFormJob : public testing::Test, protected testsupport::ProgramSite<> {};
} // namespace

TEST_F(MainFormJob, LoadAndSaveFollowTheJobNameAndADamagedFileReachesTheCaller) {
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
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
}

// The start message as the start-up, a schedule or the reminder posts it, on the hidden window:
// a folder destination runs the program before the job with its parameters and wait, selects,
// zips through the runner's steps and ends the job once with the program after it; a removable drive with
// no medium ends the run at once with its log line and still runs the program after the job;
// a start asked for while one is starting is refused with a line.
TEST_F(MainFormJob, TheStartMessageRunsTheStartOnTheWindowAndEveryEndRunsTheProgramAfterOnce) {
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    TempFolder source;
    WriteWholeFile(source / "a.txt", "some bytes");
    {
        ui::TProgram program(environment);
        ASSERT_TRUE(program.Start());
        ui::TMF& form = *program.MainForm();
        form.StartUpDone = true;
        program.Flags().Hidden = true;
        job::JobDefinition daily;
        daily.Destination = programFolder / "dest";
        daily.ZipSizeText = "5000";
        daily.PreRunFile = "\"C:\\Tools\\pre run.exe\" /quiet";
        daily.PreWait = 2;
        daily.PostRunFile = "\"C:\\Tools\\post.exe\" /done";
        daily.PostWait = 1;
        daily.IncludeList = {source.Path()};
        WriteWholeFile(programFolder / "Daily.dat", job::WriteJobText(daily, {}));
        form.LoadJob("Daily.dat");

        // Left by a verify on the restore side and a close refused during an earlier job.
        ASSERT_TRUE(form.RestoreTab);
        form.RestoreTab->Run().VerifyMode = true;
        form.CloseWhenCancelled = true;
        const int64_t before = clock.MonotonicMs();
        SendMessageA(form.Handle(), ui::WM_START_JOB, 0, 0);
        for (int round = 0; round < 1000 && form.Session.Running(); ++round)
            testsupport::DrainQueue();
        EXPECT_FALSE(form.RestoreTab->Run().VerifyMode);
        EXPECT_FALSE(form.CloseWhenCancelled);
        std::vector<gui::TShellCall> calls = shell.Calls();
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].Target, "C:\\Tools\\pre run.exe");
        EXPECT_EQ(calls[0].Parameters, "/quiet");
        EXPECT_EQ(calls[0].Folder, "C:\\Tools\\");
        EXPECT_EQ(calls[1].Target, "C:\\Tools\\post.exe");
        EXPECT_EQ(calls[1].Parameters, "/done");
        EXPECT_GE(clock.MonotonicMs() - before, 3'000) << "the waits before and after";
        EXPECT_EQ(form.Session.State, job::JobState::Idle);
        EXPECT_EQ(form.Startbackup->Caption(), "&Start");
        EXPECT_EQ(form.Session.Job.ZipSizeText, "4095");
        EXPECT_EQ(form.Session.JobLogName, programFolder / "Log\\Daily_100.txt");
        const std::string programLog = ReadWholeFile(programFolder / "tarnwick.log");
        EXPECT_NE(programLog.find("Backup started: Daily.dat"), std::string::npos);
        EXPECT_NE(ReadWholeFile(form.Session.JobLogName).find("Bytes to backup: 10"), std::string::npos);

        // No medium in a removable drive: the line, no program before, the program after once.
        wintest::TWineDrive floppy(DRIVE_REMOVABLE);
        ASSERT_TRUE(floppy.Defined());
        ASSERT_TRUE(floppy.Insert(programFolder / "no medium"));
        daily.Destination = floppy.Root() + "Backup";
        WriteWholeFile(programFolder / "Daily.dat", job::WriteJobText(daily, {}));
        form.LoadJob("Daily.dat");
        SendMessageA(form.Handle(), ui::WM_START_JOB, 0, 0);
        calls = shell.Calls();
        ASSERT_EQ(calls.size(), 3u);
        EXPECT_EQ(calls[2].Target, "C:\\Tools\\post.exe");
        EXPECT_NE(ReadWholeFile(programFolder / "tarnwick.log")
                      .find("Job cancelled, drive is not ready: " + floppy.Root().substr(0, 2) + "\\Backup"),
                  std::string::npos);
        EXPECT_TRUE(prompter.Requests().empty()) << "hidden: no box";
        EXPECT_FALSE(form.Session.Running());
        // Shown: the box says what to do.
        program.Flags().Hidden = false;
        prompter.AnswerMessage(gui::mrOk);
        SendMessageA(form.Handle(), ui::WM_START_JOB, 0, 0);
        EXPECT_EQ(prompter.MessageTexts(),
                  (std::vector<std::string>{"Drive " + floppy.Root().substr(0, 2) +
                                            " is not ready insert a formatted media."}));
        EXPECT_EQ(shell.Calls().size(), 4u) << "the program after the job once more";
        program.Flags().Hidden = true;

        // A start while one is starting (a pumped wait of the start) is refused with a line.
        daily.Destination = programFolder / "dest";
        WriteWholeFile(programFolder / "Daily.dat", job::WriteJobText(daily, {}));
        form.LoadJob("Daily.dat");
        form.Session.State = job::JobState::Starting;
        SendMessageA(form.Handle(), ui::WM_START_JOB, 0, 0);
        EXPECT_NE(ReadWholeFile(programFolder / "tarnwick.log")
                      .find("Job start refused, a job is starting: Daily.dat"),
                  std::string::npos);
        EXPECT_EQ(shell.Calls().size(), 4u);
        form.Session.State = job::JobState::Idle;

        // The start action saves the job, keeps a resume state the start-up offered, and starts.
        form.Startbackup->Execute();
        for (int round = 0; round < 1000 && form.Session.Running(); ++round)
            testsupport::DrainQueue();
        EXPECT_TRUE(form.KeepResumeState);
        EXPECT_EQ(shell.Calls().size(), 6u) << "the programs before and after the job once more";
        EXPECT_EQ(form.Session.State, job::JobState::Idle);
    }
}

// A user cancels through the start action while the program before the job is waited for: the
// selection ends the run, the "After:" text the job had before the start is back in its file
// (line 4), the window is idle; the start gave the run its temporary folder and user folders
// and cleared the previous run's progress. An "After:" text that is no date ends the next start
// with a line.
TEST_F(MainFormJob, ACancelledStartPutsTheAfterTextBackAndANoDateAfterTextIsLogged) {
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    TempFolder source;
    WriteWholeFile(source / "a.txt", "some bytes");
    {
        ui::TProgram program(environment);
        ASSERT_TRUE(program.Start());
        ui::TMF& form = *program.MainForm();
        form.StartUpDone = true;
        job::JobDefinition daily;
        daily.Destination = programFolder / "dest";
        daily.PreRunFile = "\"C:\\Tools\\pre.exe\"";
        daily.PreWait = 5;
        daily.IncludeList = {source.Path()};
        daily.Uselasttime1 = true;
        daily.UseAfterDate = true;
        daily.AfterDateText = core::DateToStrFixed(46000.25, form.Locale);
        const std::string line4 = job::AfterDateLine(daily.AfterDateText, form.Locale);
        ASSERT_NE(line4, "40.1");
        WriteWholeFile(programFolder / "Daily.dat", job::WriteJobText(daily, {form.Locale, 0}));
        form.LoadJob("Daily.dat");
        form.ProgressBar1->SetPosition(70);

        gui::TTimer click;
        click.SetInterval(2'000);
        click.OnTimer = [&] {
            click.SetEnabled(false);
            EXPECT_EQ(form.ProgressBar1->Position(), 0) << "the last run's progress is gone";
            EXPECT_EQ(form.Session.Run.TempPath, program.Flags().TempPath);
            form.Startbackup->Execute();
        };
        click.SetEnabled(true);
        prompter.AnswerMessage(gui::mrYes);
        SendMessageA(form.Handle(), ui::WM_START_JOB, 0, 0);
        ASSERT_EQ(prompter.MessageTexts(),
                  (std::vector<std::string>{"The running job will be cancelled, continue?"}));
        const std::string text = ReadWholeFile(programFolder / "Daily.dat");
        ASSERT_GE(text.size(), 4u);
        size_t at = 0;
        for (int line = 1; line < 4; ++line)
            at = text.find("\r\n", at) + 2;
        EXPECT_EQ(text.substr(at, text.find("\r\n", at) - at), line4);
        EXPECT_NE(ReadWholeFile(programFolder / "tarnwick.log").find("Backup cancelled"), std::string::npos);
        EXPECT_EQ(form.Session.State, job::JobState::Idle);
        EXPECT_EQ(form.Startbackup->Caption(), "&Start");

        form.Session.Job.AfterDateText = "no date";
        SendMessageA(form.Handle(), ui::WM_START_JOB, 0, 0);
        EXPECT_NE(ReadWholeFile(programFolder / "tarnwick.log")
                      .find("Job cancelled, the After: date is no date: no date"),
                  std::string::npos);
        EXPECT_EQ(form.Session.State, job::JobState::Idle);
    }
}

// The end of a job to a CD drive: the window state is saved for the next start, and the
// restart program beside the program is started hidden while this program ends.
TEST_F(MainFormJob, AJobToACdDriveSavesTheWindowStateAndMakesWayForTheRestartProgram) {
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    TempFolder source;
    WriteWholeFile(source / "a.txt", "some bytes");
    WriteWholeFile(programFolder / "TarnwickReRun.exe", "stand-in: the shell is recorded");
    wintest::TWineDrive cd(DRIVE_CDROM);
    ASSERT_TRUE(cd.Defined());
    CreateDirectoryA((cd.Folder() + "Backup").c_str(), nullptr);
    bool quit = false;
    {
        ui::TProgram program(environment);
        ASSERT_TRUE(program.Start());
        ui::TMF& form = *program.MainForm();
        form.StartUpDone = true;
        program.Flags().Hidden = true;
        job::JobDefinition daily;
        daily.Destination = cd.Root() + "Backup";
        daily.IncludeList = {source.Path()};
        WriteWholeFile(programFolder / "Daily.dat", job::WriteJobText(daily, {}));
        form.LoadJob("Daily.dat");
        SendMessageA(form.Handle(), ui::WM_START_JOB, 0, 0);
        for (int round = 0; round < 1000 && form.Session.Running(); ++round)
            quit = testsupport::DrainQueue() || quit;
        const std::vector<gui::TShellCall> calls = shell.Calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].Kind, gui::TShellCallKind::StartHidden);
        EXPECT_EQ(calls[0].Target, programFolder / "TarnwickReRun.exe");
        EXPECT_EQ(calls[0].Folder, programFolder.Path());
        gui::TIniFile ini(programFolder / "tarnwick.ini");
        EXPECT_EQ(ini.ReadString("LastState", "default", ""), "0");
        EXPECT_EQ(ini.ReadString("LastState", "Hidden", ""), "1");
        EXPECT_TRUE(ini.ValueExists("Settings", "LastGoodSpeed"));
        EXPECT_TRUE(form.JobEndedThisSession);
        quit = testsupport::DrainQueue() || quit;
    }
    EXPECT_TRUE(quit) << "the program ends for the restart";
}
