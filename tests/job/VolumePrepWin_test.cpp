// Volume preparation in-process under Wine on real drives, with the window played by a
// recorder and time on the manual clock: a CD letter used as a drive gets its volumes built
// in the temporary folder and copied, with nothing left behind; a killed run's partial volume
// goes with its parts; a failed copy asks again (hidden: one mail, then a new try every two
// minutes) and a cancel leaves no target. A medium that fills is the media tests' (tmpfs).

#include "VolumePrepSupport.h"
#include "job/RunStateWin.h"
#include "zip/WineDriveWinSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace job;
using testsupport::FileExists;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;
using volpreptest::Bytes;
using volpreptest::PrepRig;

namespace {

const char copiedNotice[] = "File copied to dics, it is now safe to remove the media";

int Count(const std::vector<int>& waits, int milliseconds) {
    return static_cast<int>(std::count(waits.begin(), waits.end(), milliseconds));
}

} // namespace

TEST(VolumePrepWin, CdLetterUsedAsADriveGetsVolumesBuiltInTheTempFolderCopiedAndTheTemporaryCopyDeleted) {
    PrepRig rig;
    wintest::TWineDrive cd(DRIVE_CDROM);
    ASSERT_TRUE(cd.Defined());
    const std::string dest = cd.Root().substr(0, 2);
    rig.Destination(dest, 4 * Mebibyte);
    JobRun& run = rig.session.Run;
    run.UseTempFileNow = true;

    ASSERT_EQ(rig.prep.PrepareVolume(), "Vol001.zip");
    EXPECT_EQ(run.VolumePath, run.TempPath + "Vol001.zip");
    EXPECT_TRUE(run.CopyPending);
    EXPECT_EQ(run.SpaceReserve, DirectoryReserve) << "a CD written through the temporary folder keeps 2 MiB";
    EXPECT_EQ(run.ZipBudget, 2 * Mebibyte);
    EXPECT_TRUE(rig.host.asked.empty());

    const std::string volume = Bytes(1'500'000, 3);
    WriteWholeFile(run.VolumePath, volume);
    ASSERT_TRUE(rig.prep.CopyZipToDrive());
    EXPECT_EQ(ReadWholeFile(dest + "\\Vol001.zip"), volume);
    EXPECT_FALSE(FileExists(run.TempPath + "Vol001.zip"))
        << "the temporary volume is deleted after a good copy";
    EXPECT_FALSE(run.CopyPending);
    EXPECT_EQ(rig.host.waits.front(), 10'000);
    EXPECT_EQ(rig.host.statusBoxes, std::vector<std::string>{copiedNotice});

    // The next volume: its place is saved for a resume, under the counter that names it again.
    run.FilestoZipListNr = 7;
    ASSERT_EQ(rig.prep.PrepareVolume(), "Vol002.zip");
    RunStateLists lists;
    RunStateValues values;
    ASSERT_TRUE(LoadRunState(rig.folder / "tarnwick", lists, values));
    EXPECT_EQ(values.VolumePath, run.TempPath + "Vol002.zip");
    EXPECT_EQ(values.ZipNameNr, 2);
    EXPECT_EQ(values.FilestoZipListNr, 7);
    EXPECT_EQ(values.JobName, "Daily.dat");
    EXPECT_EQ(run.JobZipNames, (std::vector<std::string>{"Vol001.zip", "Vol002.zip"}));
}

TEST(VolumePrepWin, KilledRunsPartialVolumeGoesWithItsPartsAndWorkFilesAndAFailedVolumeRollsBack) {
    PrepRig rig;
    const std::string dest = rig.folder / "dest";
    CreateDirectoryA(dest.c_str(), nullptr);
    rig.Destination(dest, 4 * Mebibyte);
    JobRun& run = rig.session.Run;
    // As the resume found it: the volume named in the saved state, and the counter before it.
    run.VolumePath = dest + "\\Vol003.zip";
    run.ZipNameNr = 3;
    run.FilestoZipListNr = 40;
    const std::vector<std::string> leftovers = {dest + "\\Vol003.zip",       dest + "\\Vol003.z01",
                                                dest + "\\Vol003.z02",       dest + "\\Vol003.z100",
                                                run.TempPath + "Vol003.zfi", run.TempPath + "Vol003.~tm"};
    for (const std::string& file : leftovers)
        WriteWholeFile(file, "partial");
    WriteWholeFile(dest + "\\Vol002.zip", "finished");

    ASSERT_EQ(rig.prep.PrepareVolume(), "Vol003.zip") << "the partial volume's name is taken again";
    for (const std::string& file : leftovers)
        EXPECT_FALSE(FileExists(file)) << file;
    EXPECT_EQ(ReadWholeFile(dest + "\\Vol002.zip"), "finished");
    EXPECT_TRUE(rig.host.Logged("File deleted: " + dest + "\\Vol003.z01"));
    EXPECT_EQ(run.VolumePath, dest + "\\Vol003.zip");
    EXPECT_FALSE(run.CopyPending);

    // The zip run fails after the planner went on: back to where it began, under the same name.
    run.FilestoZipListNr = 55;
    run.FilesCopyed = 15;
    run.ZipVolumeList.push_back({"C:\\big.bin", 9'000'000});
    WriteWholeFile(run.VolumePath, "failed");
    WriteWholeFile(dest + "\\Vol003.z01", "failed");
    ASSERT_TRUE(rig.prep.RollBackVolume());
    EXPECT_EQ(run.FilestoZipListNr, 40);
    EXPECT_EQ(run.FilesCopyed, 0);
    EXPECT_TRUE(run.ZipVolumeList.empty());
    EXPECT_FALSE(FileExists(dest + "\\Vol003.zip"));
    EXPECT_FALSE(FileExists(dest + "\\Vol003.z01"));
    ASSERT_EQ(rig.prep.PrepareVolume(), "Vol003.zip");
    EXPECT_EQ(run.JobZipNames, std::vector<std::string>{"Vol003.zip"});

    // A finished volume of this run is no leftover: the next volume leaves it alone.
    WriteWholeFile(run.VolumePath, "finished");
    ASSERT_EQ(rig.prep.PrepareVolume(), "Vol004.zip");
    EXPECT_EQ(ReadWholeFile(dest + "\\Vol003.zip"), "finished");
}

TEST(VolumePrepWin, FailedCopyAsksAgainAndACancelLeavesNoTargetWhileHiddenItMailsOnceAndRetries) {
    const auto rigFor = [](PrepRig& rig) {
        JobRun& run = rig.session.Run;
        rig.Destination(rig.folder / "later", 4 * Mebibyte);
        run.ZipFileName = "Vol001.zip";
        run.VolumePath = run.TempPath + run.ZipFileName;
        run.CopyPending = true;
        WriteWholeFile(run.VolumePath, Bytes(700'000, 5));
    };
    {
        SCOPED_TRACE("shown: OK once the user made the folder");
        PrepRig rig;
        rigFor(rig);
        const std::string dest = rig.session.Run.DestPath;
        rig.host.replies.push_back({true, [&] { CreateDirectoryA(dest.c_str(), nullptr); }});
        EXPECT_TRUE(rig.prep.CopyZipToDrive());
        ASSERT_EQ(rig.host.asked.size(), 1u);
        EXPECT_EQ(rig.host.asked[0].rfind("There was a problem copying: \r" + rig.session.Run.VolumePath +
                                              "\rto: " + dest + "\\\rif you are copying to a CD-RW",
                                          0),
                  0u)
            << rig.host.asked[0];
        EXPECT_TRUE(FileExists(dest + "\\Vol001.zip"));
        EXPECT_FALSE(FileExists(rig.session.Run.VolumePath));
    }
    {
        SCOPED_TRACE("shown: Cancel");
        PrepRig rig;
        rigFor(rig);
        rig.session.Run.Options.ClearArchiveBit = true;
        rig.host.replies.push_back({false, {}});
        rig.host.replies.push_back({false, {}}); // keep the archive bits cleared
        EXPECT_FALSE(rig.prep.CopyZipToDrive());
        EXPECT_TRUE(rig.session.Cancelled);
        EXPECT_EQ(rig.host.asked.size(), 2u);
        EXPECT_TRUE(rig.session.Run.KeepArchiveBitsCleared);
        EXPECT_FALSE(FileExists(rig.session.Run.DestPath + "\\Vol001.zip"));
        EXPECT_TRUE(rig.host.statusBoxes.empty());
    }
    {
        SCOPED_TRACE("hidden: one mail, a new try every two minutes");
        PrepRig rig;
        rigFor(rig);
        rig.host.hidden = true;
        rig.host.mailTo = true;
        const std::string dest = rig.session.Run.DestPath;
        int retries = 0;
        rig.host.onWait = [&](int milliseconds) {
            if (milliseconds == 120'000 && ++retries == 2) CreateDirectoryA(dest.c_str(), nullptr);
        };
        EXPECT_TRUE(rig.prep.CopyZipToDrive());
        EXPECT_TRUE(rig.host.asked.empty());
        ASSERT_EQ(rig.host.mails.size(), 1u);
        EXPECT_EQ(rig.host.mails[0].rfind("Problem Daily.dat|" + rig.session.JobLogName + "|", 0), 0u);
        EXPECT_EQ(Count(rig.host.waits, 120'000), 2);
        EXPECT_TRUE(FileExists(dest + "\\Vol001.zip"));
        EXPECT_TRUE(rig.host.statusBoxes.empty());
    }
    {
        SCOPED_TRACE("hidden without a recipient: cancelled");
        PrepRig rig;
        rigFor(rig);
        rig.host.hidden = true;
        EXPECT_FALSE(rig.prep.CopyZipToDrive());
        EXPECT_TRUE(rig.session.Cancelled);
        EXPECT_TRUE(rig.host.mails.empty());
        EXPECT_EQ(Count(rig.host.waits, 120'000), 0);
    }
    {
        SCOPED_TRACE("cancelled during the wait before the copy: no copy, no box");
        PrepRig rig;
        rigFor(rig);
        CreateDirectoryA(rig.session.Run.DestPath.c_str(), nullptr);
        rig.host.onWait = [&](int) { rig.session.Cancelled = true; };
        EXPECT_FALSE(rig.prep.CopyZipToDrive());
        EXPECT_TRUE(rig.host.asked.empty());
        EXPECT_FALSE(FileExists(rig.session.Run.DestPath + "\\Vol001.zip"));
    }
}

TEST(VolumePrepWin, FirstEntryThatFitsNoVolumeIsOneShortageThenTheJobIsCancelledNamingIt) {
    PrepRig rig;
    const std::string dest = rig.folder / "dest";
    CreateDirectoryA(dest.c_str(), nullptr);
    rig.Destination(dest, 4 * Mebibyte);
    ASSERT_EQ(rig.prep.PrepareVolume(), "Vol001.zip");
    EXPECT_TRUE(rig.prep.NothingFits("C:\\data\\huge.iso")) << "the first time room is asked for";
    EXPECT_FALSE(rig.session.Cancelled);
    EXPECT_FALSE(rig.prep.NothingFits("C:\\data\\huge.iso"));
    EXPECT_TRUE(rig.session.Cancelled);
    EXPECT_TRUE(rig.host.Logged("C:\\data\\huge.iso"));
    EXPECT_TRUE(rig.host.asked.empty()) << "the folder has room: nothing to ask";
}
