// The hand-over of a disc-writer job selects the job's writer once more before the first
// volume: a writer that cannot be selected ends the job there, with the reason, before any
// volume is made. The program hosted in-process with the simulated drive library (drive F:).
#include "DiscJobSupport.h"
#include "gui/Label.h"
#include "ui/MFo.h"

#include <gtest/gtest.h>

using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;

TEST(JobHandOverDisc, AWriterThatCannotBeSelectedEndsTheJobBeforeAnyVolume) {
    discjob::DriveSite site(
        "[Bus]\nCompletion=sync\nLog=sim.log\n[Drive0]\nAddress=0:0:0\nLetter=F\nDisc=d0\n"
        "BusyPolls=0\nWrites=CD-R,CD-RW\n[Disc:d0]\nMedia=CD-R\nImage=d0.img\n");
    WriteWholeFile(site.source / "a.txt", "some bytes");
    ui::TMF& form = site.Form();
    form.StartUpDone = true;
    site.program->Flags().Hidden = true;
    // A writer choice the drive list no longer has, and a letter that is no writer: the
    // start takes the job as a disc job all the same.
    job::JobDefinition daily;
    daily.Destination = "Q:\\Backup";
    daily.WriterIndex = 7;
    daily.IncludeList = {site.source.Path() + "*.*"};
    WriteWholeFile(site.folder / "Daily.dat", job::WriteJobText(daily, {}));
    form.LoadJob("Daily.dat");
    form.StartBackupJob();
    for (int round = 0; round < 1000 && form.Session.Running(); ++round)
        testsupport::DrainQueue();

    EXPECT_FALSE(form.Session.Running());
    const std::string log = ReadWholeFile(form.ProgramLogPath());
    EXPECT_NE(log.find("Q: is not a valid CD or DVD device, job cancelled"), std::string::npos) << log;
    EXPECT_EQ(log.find("File created: "), std::string::npos) << log;
    EXPECT_EQ(form.Label1->Caption(), "Job cancelled by user");
    EXPECT_TRUE(site.prompter.Requests().empty()) << "hidden: no box";
}
