// Volume preparation in-process under Wine on real drives, with the window played by a
// recorder and time on the manual clock: a CD letter used as a drive gets its volumes built
// in the temporary folder and copied, with nothing left behind; a killed run's partial volume
// goes with its parts; a failed copy asks again (hidden: one mail, then a new try every two
// minutes until the wait's bound, as for a destination without room) and a cancel leaves no
// target. A disc this job wrote counts with its room after an
// erase and is passed over for the next disc. A medium that fills is the media tests' (tmpfs).

#include "VolumePrepSupport.h"
#include "job/JobStart.h"
#include "job/RunStateWin.h"
#include "zip/WineDriveWinSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>

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

// Discs in writers by drive letter (drives Wine does not have): ready or not, the files on
// them with their dates, their room. A writer may fail to be selected, a disc to be read; one
// that is not ready is selected all the same, as a drive without a disc is.
class DiscsByLetter final : public DiscWriter {
  public:
    struct Disc {
        bool Ready = true, SelectFails = false, ReadFails = false;
        std::map<std::string, double> Files{};
        int64_t Free = 0, Capacity = -1;
    };
    std::map<char, Disc> discs;
    char selected = 'H';
    std::string selections;

    bool Load(bool) override { return true; }
    bool Select(const std::string&, char letter) override {
        selected = letter;
        selections += letter;
        if (discs[letter].SelectFails) throw std::runtime_error("bus reset");
        return true;
    }
    bool Ready(int) override { return discs[selected].Ready; }
    int64_t FreeBytes() override {
        if (discs[selected].ReadFails) throw std::runtime_error("medium error");
        return discs[selected].Free;
    }
    int64_t CapacityAfterErase() override { return discs[selected].Capacity; }
    bool FileNeedsBurning(const std::string& destination, const std::string& name, double date) override {
        EXPECT_EQ(destination.front(), selected) << "the disc looked at is the destination's";
        const auto file = discs[selected].Files.find(name);
        return file == discs[selected].Files.end() || file->second != date;
    }
    void Release() override {}
};

constexpr int64_t volumeBytes = 100'000'000;

// Writers on G to K (letters no test's Wine drive takes: one there would be taken for a
// plain drive), H the destination, with two files this job wrote to disc.
void WritersRig(PrepRig& rig) {
    rig.Destination("H:\\Backup", volumeBytes);
    rig.host.drives.TransportLoaded = true;
    rig.host.drives.WriterLetters = "GHIJK";
    JobRun& run = rig.session.Run;
    run.FflList = {"Vol001.zip", "Vol002.zip"};
    run.DflList = {"46363.5", "46363.75"};
}

} // namespace

TEST(VolumePrepWin, DiscThisJobWroteCountsItsRoomAfterEraseAndIsPassedOverForTheNextDisc) {
    PrepRig rig;
    WritersRig(rig);
    JobRun& run = rig.session.Run;
    DiscsByLetter writer;
    VolumePrep prep(rig.session, rig.host, &writer);
    // The second file the job wrote is on the disc; the first is not, nor is a file of that
    // name with another date.
    writer.discs['H'] = {.Files = {{"Vol001.zip", 46363.9}, {"Vol002.zip", 46363.75}},
                         .Free = 5'000'000,
                         .Capacity = 700'000'000};

    prep.GetDestFreeSpace(true);
    EXPECT_TRUE(run.DiscWriterMode);
    EXPECT_FALSE(run.EraseFirst);
    EXPECT_EQ(run.DestFreeSpace, 700'000'000) << "the job's own disc counts with its room after an erase";
    EXPECT_EQ(run.SpaceReserve, 0);
    writer.discs['H'].Free = 300'000'000;
    prep.GetDestFreeSpace(true);
    EXPECT_EQ(run.DestFreeSpace, 300'000'000) << "free room that takes a volume goes before an erase";
    writer.discs['H'].Free = 1'000'000;
    writer.discs['H'].Capacity = 60'000'000;
    prep.GetDestFreeSpace(true);
    EXPECT_EQ(run.DestFreeSpace, 60'000'000);
    EXPECT_EQ(run.SpaceReserve, volumeBytes - 60'000'000 + DirectoryReserve);
    prep.GetDestFreeSpace(false);
    EXPECT_EQ(run.DestFreeSpace, 1'000'000) << "not for a write: the free room";
    writer.discs['H'].Files["Vol002.zip"] = 46363.9;
    prep.GetDestFreeSpace(true);
    EXPECT_EQ(run.DestFreeSpace, 1'000'000) << "a disc without the job's files: its free room";

    // The choice: H holds a job file and has no room without an erase, I fails to be selected
    // (logged, taken as not ready), K is not ready (passed over, not taken for a disc without
    // the job's files), G holds a job file, J holds none and ends the walk.
    writer.discs['H'] = {.Files = {{"Vol002.zip", 46363.75}}, .Free = 5'000'000, .Capacity = -1};
    writer.discs['I'] = {.SelectFails = true};
    writer.discs['K'] = {.Ready = false, .Free = 650'000'000};
    writer.discs['G'] = {.Files = {{"Vol001.zip", 46363.5}}, .Free = 650'000'000};
    writer.discs['J'] = {.Free = 650'000'000};
    run.DestList = {"H:\\Backup", "I:\\Backup", "K:\\Backup", "G:\\Backup", "J:\\Backup"};
    run.SpaceReserve = 0;
    prep.ChooseDestination(true);
    EXPECT_EQ(writer.selections, "HIKGJ");
    EXPECT_EQ(run.DestPath, "J:\\Backup");
    EXPECT_TRUE(run.DiscWriterMode);
    EXPECT_EQ(run.DestFreeSpace, 650'000'000);
    EXPECT_TRUE(rig.host.Logged("The disc writer could not be selected: bus reset"));

    // With erase boxes checked, the job's own disc with room is kept without the erase; the
    // erase flag is back as the boxes set it, also when reading the disc fails.
    rig.session.Job.EraseCD = true;
    writer.selections.clear();
    writer.selected = 'H';
    run.DestPath = "H:\\Backup";
    writer.discs['H'].Free = 300'000'000;
    prep.ChooseDestination(true);
    EXPECT_EQ(run.DestPath, "H:\\Backup");
    EXPECT_EQ(run.DestFreeSpace, 300'000'000);
    EXPECT_TRUE(run.EraseFirst);
    EXPECT_EQ(writer.selections, "");
    writer.discs['H'].ReadFails = true;
    EXPECT_THROW(prep.ChooseDestination(true), std::runtime_error);
    EXPECT_TRUE(run.EraseFirst);
}

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

// Hidden, with a recipient, and nobody makes room or mends the copy: after the one mail the
// looks go on for the wait's bound, then the job is cancelled with one line saying so, its
// archive bits to be set again.
TEST(VolumePrepWin, AHiddenShortageOrFailedCopyNobodyAnswersIsCancelledAfterTheWaitsBound) {
    constexpr int bound = 10;
    const auto hiddenRig = [](PrepRig& rig) {
        rig.host.hidden = true;
        rig.host.mailTo = true;
        rig.host.waitMinutes = bound;
        rig.session.Run.Options.ClearArchiveBit = true;
        // Without a bound the waits would go on for ever: three bounds end the test.
        rig.host.onWait = [&rig](int) {
            if (rig.clock.MonotonicMs() <= 3 * bound * 60'000 || rig.session.Cancelled) return;
            ADD_FAILURE() << "still waiting after three bounds";
            rig.session.Cancelled = true;
        };
    };
    const auto endedAfterTheBound = [](PrepRig& rig) {
        EXPECT_TRUE(rig.session.Cancelled);
        EXPECT_FALSE(rig.session.Run.KeepArchiveBitsCleared) << "the cancel sets the archive bits again";
        EXPECT_TRUE(rig.host.asked.empty());
        EXPECT_EQ(rig.host.mails.size(), 1u);
        EXPECT_EQ(std::count(rig.host.log.begin(), rig.host.log.end(),
                             "Job cancelled, no answer after " + std::to_string(bound) + " minutes"),
                  1);
        EXPECT_GE(rig.clock.MonotonicMs(), bound * 60'000);
        EXPECT_LT(rig.clock.MonotonicMs(), (bound + 3) * 60'000) << "no look long after the bound";
        EXPECT_GE(Count(rig.host.waits, 120'000), 4) << "a look every two minutes until then";
    };
    {
        SCOPED_TRACE("no room on the destination");
        PrepRig rig;
        hiddenRig(rig);
        rig.Destination("Q:\\Backup", 4 * Mebibyte);
        EXPECT_EQ(rig.prep.PrepareVolume(), "");
        endedAfterTheBound(rig);
        EXPECT_TRUE(rig.host.Logged("Not enough free disk space for the next files in  Q:\\Backup"));
    }
    {
        SCOPED_TRACE("the copy fails every time");
        PrepRig rig;
        hiddenRig(rig);
        JobRun& run = rig.session.Run;
        rig.Destination(rig.folder / "never", 4 * Mebibyte);
        run.ZipFileName = "Vol001.zip";
        run.VolumePath = run.TempPath + run.ZipFileName;
        run.CopyPending = true;
        WriteWholeFile(run.VolumePath, Bytes(70'000, 6));
        EXPECT_FALSE(rig.prep.CopyZipToDrive());
        endedAfterTheBound(rig);
        EXPECT_TRUE(FileExists(run.VolumePath)) << "the volume stays where it was made";
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

// A split volume built in the temporary folder, while the medium now in the drive holds a
// read-only file of its name and a stale part of the next: every part is copied under the
// first name free of both, each reading back as its source; the set is tested where it
// landed, and a failed test takes the copy back and asks again. The temporary parts go only
// after the whole set is on the destination; nothing that was there is touched.
TEST(VolumePrepWin, ASplitVolumeIsCopiedWholeUnderAFreeNameAndTestedWhereItLandedBeforeTheTemporaryPartsGo) {
    PrepRig rig;
    wintest::TWineDrive cd(DRIVE_CDROM);
    ASSERT_TRUE(cd.Defined());
    const std::string dest = cd.Root().substr(0, 2);
    rig.Destination(dest, 4 * Mebibyte);
    JobRun& run = rig.session.Run;
    run.UseTempFileNow = true;
    ASSERT_EQ(rig.prep.PrepareVolume(), "Vol001.zip");
    const std::vector<std::string> parts = {Bytes(4 * Mebibyte, 1), Bytes(4 * Mebibyte, 2),
                                            Bytes(900'000, 3)};
    const std::vector<std::string> extensions = {".z01", ".z02", ".zip"};
    for (size_t i = 0; i < parts.size(); ++i)
        WriteWholeFile(run.TempPath + "Vol001" + extensions[i], parts[i]);
    WriteWholeFile(dest + "\\Vol001.zip", "last week");
    SetFileAttributesA((dest + "\\Vol001.zip").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteWholeFile(dest + "\\Vol002.z01", "a stale part");

    std::vector<std::string> tested;
    rig.prep.VerifyCopy = [&](const std::string& landed, int files) {
        tested.push_back(landed + " " + std::to_string(files));
        for (size_t i = 0; i < parts.size(); ++i)
            EXPECT_TRUE(FileExists(run.TempPath + "Vol001" + extensions[i]))
                << "kept while the copy is tested";
        return tested.size() > 1;
    };
    rig.host.replies.push_back({true, {}});
    ASSERT_TRUE(rig.prep.CopyZipToDrive());

    EXPECT_EQ(tested, (std::vector<std::string>{dest + "\\Vol003.zip 3", dest + "\\Vol003.zip 3"}));
    ASSERT_EQ(rig.host.asked.size(), 1u) << "the failed test is a failed copy";
    EXPECT_TRUE(rig.host.asked[0].starts_with("There was a problem copying: ")) << rig.host.asked[0];
    for (size_t i = 0; i < parts.size(); ++i) {
        EXPECT_EQ(ReadWholeFile(dest + "\\Vol003" + extensions[i]), parts[i]) << extensions[i];
        EXPECT_FALSE(FileExists(run.TempPath + "Vol001" + extensions[i])) << extensions[i];
    }
    EXPECT_EQ(ReadWholeFile(dest + "\\Vol001.zip"), "last week");
    EXPECT_EQ(ReadWholeFile(dest + "\\Vol002.z01"), "a stale part");
    EXPECT_TRUE(rig.host.Logged("the volume is copied as: Vol003.zip"));
    EXPECT_EQ(run.JobZipNames, std::vector<std::string>{"Vol003.zip"});
    EXPECT_EQ(run.ZipNameNr, 4) << "the next volume is not named after one already on the medium";
    EXPECT_FALSE(run.CopyPending);
    SetFileAttributesA((dest + "\\Vol001.zip").c_str(), FILE_ATTRIBUTE_NORMAL);

    // A volume built in the temporary folder and rolled back: a file of its name on the
    // destination is a copy of it only when it holds the volume's start.
    ASSERT_EQ(rig.prep.PrepareVolume(), "Vol004.zip");
    WriteWholeFile(run.VolumePath, parts[0]);
    WriteWholeFile(dest + "\\Vol004.zip", "another medium's file");
    ASSERT_TRUE(rig.prep.RollBackVolume());
    EXPECT_EQ(ReadWholeFile(dest + "\\Vol004.zip"), "another medium's file");
    ASSERT_EQ(rig.prep.PrepareVolume(), "Vol005.zip") << "the name held by the medium is passed over";
    WriteWholeFile(run.VolumePath, parts[0]);
    WriteWholeFile(dest + "\\Vol005.zip", parts[0].substr(0, 1'000'000));
    ASSERT_TRUE(rig.prep.RollBackVolume());
    EXPECT_FALSE(FileExists(dest + "\\Vol005.zip")) << "the begun copy goes";
}
