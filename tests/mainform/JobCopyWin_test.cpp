// Whole jobs hosted in-process whose volumes are built in the temporary folder and copied to a
// CD drive letter used as a drive: what lands there, and what stays behind.
#include "HostedJob.h"
#include "WineDriveWinSupport.h"

#include <gtest/gtest.h>

using namespace hostedjob;

// A split volume (a 9 MB file in 4 MiB parts, verified), while a file of its name appeared on
// the drive after the volume was named: the whole set lands under the next name, tested where
// it landed, the other file is untouched, and no part stays in the temporary folder. The set is
// left under build/peer-volumes/runner-split-copied for 7-Zip.
TEST(JobCopy, ASplitVolumeBuiltInTheTemporaryFolderLandsWholeBesideAFileOfItsNameAndNothingStays) {
    HostedProgram hosted;
    TempFolder source;
    std::mt19937 random(46);
    WriteRandom(source / "huge.bin", 9'000'000, random);
    WriteRandom(source / "small.bin", 100'000, random);
    wintest::TWineDrive cd(DRIVE_CDROM);
    ASSERT_TRUE(cd.Defined());
    job::JobDefinition daily;
    daily.Destination = cd.Root() + "dest";
    daily.ZipName = "Set";
    daily.ZipSizeText = "4";
    daily.CompressionLevel = 0;
    daily.Splitlargefiles = true;
    daily.Testarchiveafterbackup1 = true;
    daily.IncludeList = {source.Path() + "*.*"};
    hosted.WriteJob(daily);
    ui::TMF& form = *hosted.form;
    form.Creation().useTempFile = true;
    const std::string dest = cd.Folder() + "dest\\";
    // Another medium's volume of the same name, there by the time of the copy.
    bool placed = false;
    hosted.onTick = [&] {
        if (placed || Count(hosted.ProgramLog(), "File created: ") != 1) return;
        placed = true;
        WriteWholeFile(dest + "Set001.zip", "another medium's volume");
    };
    hosted.RunJob();

    ASSERT_TRUE(placed);
    ASSERT_FALSE(form.Session.Running());
    const std::string log = hosted.ProgramLog();
    EXPECT_EQ(Count(log, "Backup end: Daily.dat\r\n"), 1u) << log;
    EXPECT_EQ(ReadWholeFile(dest + "Set001.zip"), "another medium's volume");
    EXPECT_EQ(ZipsIn(dest),
              (std::vector<std::string>{"Set001.zip", "Set002.z01", "Set002.z02", "Set002.zip"}));
    EXPECT_TRUE(ZipIsSound(dest + "Set002.zip"));
    EXPECT_EQ(Count(log, "No errors found in: " + form.Session.Run.DestPath + "\\Set002.*"), 1u)
        << "tested where it landed: " << log;
    EXPECT_EQ(Count(log, "Errors found in:"), 0u) << log;
    const std::string temp = form.Session.Run.TempPath;
    for (const std::string& name : ZipsIn(temp))
        EXPECT_FALSE(name.starts_with("Set")) << "left in the temporary folder: " << name;
    EXPECT_TRUE(WorkFilesUnder(temp).empty());
    EXPECT_TRUE(WorkFilesUnder(cd.Folder()).empty());

    const std::filesystem::path peers = PeerFolder("runner-split-copied");
    for (const char* file : {"Set002.z01", "Set002.z02", "Set002.zip"})
        std::filesystem::copy_file(dest + file, peers / file);
}
