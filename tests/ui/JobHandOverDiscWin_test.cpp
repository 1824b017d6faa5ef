// The hand-over of a disc-writer job selects the job's writer once more before the first
// volume: a writer that cannot be selected ends the job there, with the reason, before any
// volume is made. The program hosted in-process with the simulated drive library (drive F:).
#include "FakeRegistry.h"
#include "SimDriveWinSupport.h"
#include "WinTestSupport.h"
#include "gui/Label.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "job/JobFile.h"
#include "ui/MFo.h"
#include "ui/Program.h"

#include <gtest/gtest.h>

using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

TEST(JobHandOverDisc, AWriterThatCannotBeSelectedEndsTheJobBeforeAnyVolume) {
    testsupport::DrainQueue();
    disctest::DiscTestScope scope;
    TempFolder folder, windowsFolder, source;
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    gui::TRecordingShell shell;
    gui::SetShell(&shell);
    testsupport::FakeRegistry registry;
    WriteWholeFile(source / "a.txt", "some bytes");
    ASSERT_TRUE(
        CopyFileA(disctest::WindowsPath(TW_SIMDRIVE_DLL).c_str(), (folder / "WNASPI32.DLL").c_str(), FALSE));
    WriteWholeFile(folder / "simdrive.ini",
                   "[Bus]\nCompletion=sync\nLog=sim.log\n[Drive0]\nAddress=0:0:0\nLetter=F\nDisc=d0\n"
                   "BusyPolls=0\nWrites=CD-R,CD-RW\n[Disc:d0]\nMedia=CD-R\nImage=d0.img\n");
    SetEnvironmentVariableA("SIMDRIVE_INI", (folder / "simdrive.ini").c_str());
    core::ProgramEnvironment environment;
    environment.programPath = folder / "tarnwick.exe";
    environment.windowsFolder = windowsFolder.Path().substr(0, windowsFolder.Path().size() - 1);
    environment.systemTempPath = folder.Path();
    environment.registry = &registry;
    {
        ui::TProgram program(environment);
        ASSERT_TRUE(program.Start());
        ui::TMF& form = *program.MainForm();
        form.StartUp();
        form.StartUpDone = true;
        program.Flags().Hidden = true;
        // A writer choice the drive list no longer has, and a letter that is no writer: the
        // start takes the job as a disc job all the same.
        job::JobDefinition daily;
        daily.Destination = "Q:\\Backup";
        daily.WriterIndex = 7;
        daily.IncludeList = {source.Path() + "*.*"};
        WriteWholeFile(folder / "Daily.dat", job::WriteJobText(daily, {}));
        form.LoadJob("Daily.dat");
        form.StartBackupJob();
        for (int round = 0; round < 1000 && form.Session.Running(); ++round)
            testsupport::DrainQueue();

        EXPECT_FALSE(form.Session.Running());
        const std::string log = ReadWholeFile(form.ProgramLogPath());
        EXPECT_NE(log.find("Q: is not a valid CD or DVD device, job cancelled"), std::string::npos) << log;
        EXPECT_EQ(log.find("File created: "), std::string::npos) << log;
        EXPECT_EQ(form.Label1->Caption(), "Job cancelled by user");
        EXPECT_TRUE(prompter.Requests().empty()) << "hidden: no box";
    }
    gui::SetShell(nullptr);
    SetEnvironmentVariableA("SIMDRIVE_INI", nullptr);
    testsupport::DrainQueue();
}
