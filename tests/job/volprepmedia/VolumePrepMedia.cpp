// Volume preparation on removable media that really fill (tmpfs mounts the script made, put
// in a Wine "floppy" drive one after another): a full medium brings one prompt and the job
// goes on on the next medium; while hidden one notice mail goes out and the drive is looked
// at again every two minutes; a cancel at the prompt ends the job; a copy that does not fit
// asks again and leaves nothing on the medium; a temporary drive without room asks until
// there is room; a volume failing again on the same medium waits, with one notice mail.

#include "VolumePrepSupport.h"
#include "zip/WineDriveWinSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace job;
using testsupport::FileExists;
using testsupport::ReadWholeFile;
using testsupport::WriteWholeFile;
using volpreptest::Bytes;
using volpreptest::PrepRig;

namespace {

constexpr int64_t volumeSize = 12 * Mebibyte;

// A medium of the script, emptied, as a Windows folder ending in "\".
std::string Medium(int number) {
    const char* unixPath = std::getenv(("TW_MEDIA_" + std::to_string(number)).c_str());
    if (unixPath == nullptr) {
        ADD_FAILURE() << "TW_MEDIA_" << number << " is not set: run through tests/scripts/tmpfs_media.sh";
        return {};
    }
    std::string folder = std::string("Z:") + unixPath + "\\";
    std::replace(folder.begin(), folder.end(), '/', '\\');
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((folder + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return folder;
}

int64_t FreeBytes(const std::string& root) {
    ULARGE_INTEGER free{}, total{}, all{};
    GetDiskFreeSpaceExA(root.c_str(), &free, &total, &all);
    return static_cast<int64_t>(free.QuadPart);
}

// The first medium in the floppy drive, and the job's first two volumes filling it: the
// second is cut to what the first left.
struct FullFloppy {
    explicit FullFloppy(PrepRig& rig) : rig(rig) {
        first = Medium(1);
        second = Medium(2);
        EXPECT_TRUE(floppy.Defined());
        EXPECT_TRUE(floppy.Insert(first));
        dest = floppy.Root().substr(0, 2);
        rig.Destination(dest, volumeSize);
        JobRun& run = rig.session.Run;
        EXPECT_EQ(rig.prep.PrepareVolume(), "Vol001.zip");
        WriteWholeFile(run.VolumePath, Bytes(volumeSize, 1));
        EXPECT_EQ(rig.prep.PrepareVolume(), "Vol002.zip");
        EXPECT_EQ(run.MaxZipSize - run.SpaceReserve, FreeBytes(floppy.Root()))
            << "a partly used removable medium cuts the volume to its room";
        WriteWholeFile(run.VolumePath, Bytes(static_cast<size_t>(FreeBytes(floppy.Root()) - 16384), 2));
        EXPECT_TRUE(rig.host.asked.empty());
        EXPECT_TRUE(rig.host.mails.empty());
    }

    PrepRig& rig;
    wintest::TWineDrive floppy{DRIVE_REMOVABLE};
    std::string first, second, dest;
};

const std::string prompt = "Not enough free disk space for the next files in \r";

} // namespace

TEST(VolumePrepMedia, FloppyThatFillsAsksOnceForANewMediumAndTheJobGoesOnOnIt) {
    {
        PrepRig rig;
        FullFloppy media(rig);
        rig.host.replies.push_back({true, [&] { media.floppy.Insert(media.second); }});
        ASSERT_EQ(rig.prep.PrepareVolume(), "Vol003.zip");
        ASSERT_EQ(rig.host.asked.size(), 1u);
        EXPECT_EQ(rig.host.asked[0],
                  prompt + media.dest +
                      "\rinsert a new media, disk or remove files until there is enough free "
                      "space. \rCancel will skip rest of files and abort the job!");
        EXPECT_EQ(rig.session.Run.VolumePath, media.dest + "\\Vol003.zip");
        EXPECT_EQ(rig.session.Run.SpaceReserve, 0) << "the new medium has room for a whole volume";
        EXPECT_FALSE(rig.session.Cancelled);
        EXPECT_TRUE(FileExists(media.first + "Vol001.zip"));
        EXPECT_TRUE(FileExists(media.first + "Vol002.zip"));
        EXPECT_NE(std::find(rig.host.waits.begin(), rig.host.waits.end(), 15'000), rig.host.waits.end());
    }
    {
        SCOPED_TRACE("a second alternative with room is taken without asking");
        PrepRig rig;
        FullFloppy media(rig);
        const std::string folder = rig.folder / "alternative";
        CreateDirectoryA(folder.c_str(), nullptr);
        rig.session.Run.DestList = {media.dest, folder};
        ASSERT_EQ(rig.prep.PrepareVolume(), "Vol003.zip");
        EXPECT_TRUE(rig.host.asked.empty());
        EXPECT_EQ(rig.session.Run.DestPath, folder);
        EXPECT_EQ(rig.session.Run.VolumePath, folder + "\\Vol003.zip");
    }
    {
        SCOPED_TRACE("the second volume fails on the medium another program filled: made again on the next");
        PrepRig rig;
        rig.session.Run.FilestoZipListNr = 12;
        FullFloppy media(rig);
        JobRun& run = rig.session.Run;
        run.FilestoZipListNr = 30;
        run.FilesCopyed = 18;
        ASSERT_TRUE(rig.prep.RollBackVolume());
        EXPECT_FALSE(FileExists(media.first + "Vol002.zip")) << "the failed volume goes";
        EXPECT_EQ(run.FilestoZipListNr, 12);
        WriteWholeFile(media.first + "other.bin",
                       Bytes(static_cast<size_t>(FreeBytes(media.floppy.Root()) - 16384), 4));
        rig.host.replies.push_back({true, [&] { media.floppy.Insert(media.second); }});
        ASSERT_EQ(rig.prep.PrepareVolume(), "Vol002.zip");
        EXPECT_EQ(rig.host.asked.size(), 1u);
        EXPECT_EQ(run.VolumePath, media.dest + "\\Vol002.zip");
        EXPECT_EQ(run.JobZipNames, (std::vector<std::string>{"Vol001.zip", "Vol002.zip"}));
    }
    {
        SCOPED_TRACE("Cancel at the prompt, the archive bits kept cleared");
        PrepRig rig;
        FullFloppy media(rig);
        rig.session.Run.Options.ClearArchiveBit = true;
        rig.host.replies.push_back({false, {}});
        rig.host.replies.push_back({false, {}});
        EXPECT_EQ(rig.prep.PrepareVolume(), "");
        EXPECT_TRUE(rig.session.Cancelled);
        ASSERT_EQ(rig.host.asked.size(), 2u);
        EXPECT_EQ(rig.host.asked[1], "Reset the archive bit to the state before the backup");
        EXPECT_TRUE(rig.session.Run.KeepArchiveBitsCleared);
        EXPECT_EQ(rig.session.Run.JobZipNames.size(), 2u) << "no third volume";
        EXPECT_EQ(rig.session.Run.VolumePath, "");
    }
}

TEST(VolumePrepMedia, HiddenFloppyThatFillsMailsOnceAndLooksAgainEveryTwoMinutesWithoutRecipientCancels) {
    {
        PrepRig rig;
        FullFloppy media(rig);
        rig.host.hidden = true;
        rig.host.mailTo = true;
        int looks = 0;
        rig.host.onWait = [&](int milliseconds) {
            if (milliseconds == 120'000 && ++looks == 3) media.floppy.Insert(media.second);
        };
        ASSERT_EQ(rig.prep.PrepareVolume(), "Vol003.zip");
        EXPECT_TRUE(rig.host.asked.empty()) << "no box while hidden";
        ASSERT_EQ(rig.host.mails.size(), 1u);
        EXPECT_EQ(rig.host.mails[0],
                  "Problem Daily.dat|" + rig.session.JobLogName +
                      "|Not enough free disk space for the next files in \n" + media.dest +
                      "\ninsert a new media, disk or remove files until there is enough free "
                      "space. \n");
        EXPECT_EQ(looks, 3);
        EXPECT_EQ(std::count(rig.host.log.begin(), rig.host.log.end(),
                             "Not enough free disk space for the next files in  " + media.dest),
                  1);
        EXPECT_EQ(rig.session.Run.VolumePath, media.dest + "\\Vol003.zip");
    }
    {
        SCOPED_TRACE("no recipient");
        PrepRig rig;
        FullFloppy media(rig);
        rig.host.hidden = true;
        EXPECT_EQ(rig.prep.PrepareVolume(), "");
        EXPECT_TRUE(rig.session.Cancelled);
        EXPECT_TRUE(rig.host.Logged("Not enough free disk space"));
        EXPECT_TRUE(rig.host.mails.empty());
        EXPECT_EQ(std::count(rig.host.waits.begin(), rig.host.waits.end(), 120'000), 0);
    }
}

TEST(VolumePrepMedia, CopyThatDoesNotFitTheMediumAsksAgainAndACancelLeavesNothingOnIt) {
    const auto rigFor = [](PrepRig& rig, wintest::TWineDrive& floppy) {
        EXPECT_TRUE(floppy.Defined());
        EXPECT_TRUE(floppy.Insert(Medium(3)));
        JobRun& run = rig.session.Run;
        rig.Destination(floppy.Root().substr(0, 2), 4 * Mebibyte);
        run.UseTempFileNow = true;
        run.ZipFileName = "Vol001.zip";
        run.VolumePath = run.TempPath + run.ZipFileName;
        run.CopyPending = true;
        WriteWholeFile(run.VolumePath, Bytes(3'000'000, 9));
    };
    {
        SCOPED_TRACE("OK after a bigger medium went in");
        PrepRig rig;
        wintest::TWineDrive floppy(DRIVE_REMOVABLE);
        rigFor(rig, floppy);
        const std::string bigger = Medium(2);
        rig.host.replies.push_back({true, [&] { floppy.Insert(bigger); }});
        EXPECT_TRUE(rig.prep.CopyZipToDrive());
        EXPECT_EQ(rig.host.asked.size(), 1u);
        EXPECT_EQ(ReadWholeFile(bigger + "Vol001.zip"), Bytes(3'000'000, 9));
        EXPECT_FALSE(FileExists(rig.session.Run.VolumePath));
    }
    {
        SCOPED_TRACE("Cancel");
        PrepRig rig;
        wintest::TWineDrive floppy(DRIVE_REMOVABLE);
        rigFor(rig, floppy);
        rig.host.replies.push_back({false, {}});
        EXPECT_FALSE(rig.prep.CopyZipToDrive());
        EXPECT_TRUE(rig.session.Cancelled);
        EXPECT_EQ(rig.host.asked.size(), 1u);
        EXPECT_FALSE(FileExists(floppy.Root() + "Vol001.zip")) << "no partial target";
        EXPECT_EQ(FreeBytes(floppy.Root()), 1 * Mebibyte) << "the medium is empty again";
    }
}

// Volumes built in the temporary folder on a drive without room for one: the user is asked to
// remove files until there is room, again after an OK that made none; shown, a Cancel ends the
// job and asks about the archive bits; hidden, the job is cancelled without a box.
TEST(VolumePrepMedia, TemporaryDriveWithoutRoomAsksUntilThereIsRoomOrTheJobIsCancelled) {
    const std::string text = "Not enough free temp disk space in: ";
    for (const std::string how : {"room made", "Cancel", "hidden"}) {
        SCOPED_TRACE(how);
        PrepRig rig;
        wintest::TWineDrive temporary(DRIVE_FIXED);
        ASSERT_TRUE(temporary.Defined());
        ASSERT_TRUE(temporary.Insert(Medium(3)));
        JobRun& run = rig.session.Run;
        const std::string dest = rig.folder / "dest";
        CreateDirectoryA(dest.c_str(), nullptr);
        rig.Destination(dest, volumeSize);
        run.TempPath = temporary.Root();
        run.UseTempFileNow = true;
        run.Options.ClearArchiveBit = true;
        rig.host.hidden = how == "hidden";
        if (how == "room made") {
            rig.host.replies.push_back({true, {}});
            rig.host.replies.push_back({true, [&] { temporary.Insert(rig.folder.Path()); }});
        } else if (how == "Cancel") {
            rig.host.replies.push_back({false, {}});
            rig.host.replies.push_back({true, {}}); // the archive bits are set again
        }
        rig.prep.HandleSpaceShortage();

        const size_t logged =
            std::count_if(rig.host.log.begin(), rig.host.log.end(),
                          [&](const std::string& line) { return line == text + temporary.Root(); });
        EXPECT_EQ(rig.session.Cancelled, how != "room made");
        EXPECT_FALSE(run.KeepArchiveBitsCleared);
        if (how == "room made") {
            EXPECT_EQ(logged, 2u);
            ASSERT_EQ(rig.host.asked.size(), 2u);
            EXPECT_EQ(rig.host.asked[1],
                      text + temporary.Root() +
                          ". Remove files until there is enough free space. Cancel will skip "
                          "rest of files and abort the job!");
        } else if (how == "Cancel") {
            EXPECT_EQ(logged, 1u);
            ASSERT_EQ(rig.host.asked.size(), 2u);
            EXPECT_EQ(rig.host.asked[1], "Reset the archive bit to the state before the backup");
        } else {
            EXPECT_EQ(logged, 1u);
            EXPECT_TRUE(rig.host.asked.empty());
            EXPECT_TRUE(rig.host.mails.empty());
        }
    }
}

// A hidden job whose volume fails again and again on the same medium for want of room the room
// test does not see: from the second failure on it waits two minutes before each new try, and
// one notice mail goes out, not one per failure.
TEST(VolumePrepMedia, AVolumeFailingAgainOnTheSameMediumIsOneNoticeMailAndAWaitBeforeEachTry) {
    PrepRig rig;
    wintest::TWineDrive floppy(DRIVE_REMOVABLE);
    ASSERT_TRUE(floppy.Defined());
    ASSERT_TRUE(floppy.Insert(Medium(1)));
    const std::string dest = floppy.Root().substr(0, 2);
    rig.Destination(dest, 4 * Mebibyte);
    rig.host.hidden = true;
    rig.host.mailTo = true;
    JobRun& run = rig.session.Run;
    ASSERT_EQ(rig.prep.PrepareVolume(), "Vol001.zip");
    for (int failure = 1; failure <= 3; ++failure) {
        SCOPED_TRACE(failure);
        WriteWholeFile(run.VolumePath, "failed");
        ASSERT_TRUE(rig.prep.RollBackVolume("C:\\data\\disk.img"));
        ASSERT_EQ(rig.prep.PrepareVolume(), "Vol001.zip");
        EXPECT_EQ(std::count(rig.host.waits.begin(), rig.host.waits.end(), 120'000), failure - 1);
        EXPECT_EQ(rig.host.mails.size(), failure > 1 ? 1u : 0u);
        EXPECT_FALSE(rig.session.Cancelled);
    }
    EXPECT_TRUE(rig.host.Logged("Not enough room for: " + dest +
                                "\\Vol001.zip again, with the same medium and no more room, while adding: "
                                "C:\\data\\disk.img"));
    EXPECT_TRUE(rig.host.asked.empty());

    // Less room is no change (one more wait); room made since the last failure is: the volume
    // is tried again at once.
    WriteWholeFile(run.VolumePath, "failed");
    WriteWholeFile(floppy.Root() + "filler.bin", std::string(3 * Mebibyte, 'f'));
    ASSERT_TRUE(rig.prep.RollBackVolume("C:\\data\\disk.img"));
    ASSERT_EQ(rig.prep.PrepareVolume(), "Vol001.zip");
    DeleteFileA((floppy.Root() + "filler.bin").c_str());
    WriteWholeFile(run.VolumePath, "failed");
    ASSERT_TRUE(rig.prep.RollBackVolume("C:\\data\\disk.img"));
    ASSERT_EQ(rig.prep.PrepareVolume(), "Vol001.zip");
    EXPECT_EQ(std::count(rig.host.waits.begin(), rig.host.waits.end(), 120'000), 3)
        << "room made since the last failure: no wait";
}
