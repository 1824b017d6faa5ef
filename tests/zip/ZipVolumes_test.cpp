// Volume sets written by the zip component: split parts of a fixed size and sets spanned over
// the disks of a removable drive, each read back by our reader and by the peers (7z reads a
// set directly; Info-ZIP merges it into one archive first).

#include "DecodeSupport.h"
#include "UnZipperSupport.h"
#include "ZipperSupport.h"
#include "gui/ScriptedPrompter.h"
#include "zip/ZipCodecErrors.h"
#include "zip/Zipper.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using codectest::Bytes;
using unziptest::TStdFileSystem;
using unziptest::TTempFolder;
namespace fs = std::filesystem;

int64_t SizeOf(const std::string& path) {
    std::error_code error;
    return static_cast<int64_t>(fs::file_size(path, error));
}

// A reader that shows the records it read.
class TRecordReader : public zip::TUnZipper {
  public:
    using zip::TUnZipper::Entry;
    using zip::TUnZipper::TUnZipper;
};

// Every local header lies where its directory record says: on its volume, at its offset.
void ExpectHeadersWhereRecordsSay(zip::TExtractFileSystem& files, const std::string& archive,
                                  const std::vector<std::string>& volumes) {
    TRecordReader reader(files);
    reader.SetZipName(archive);
    reader.ReadZip();
    ASSERT_EQ(volumes.size(), size_t(reader.EndCentral().ThisDisk) + 1);
    for (int i = 0; i < reader.Count(); ++i) {
        const zip::TZipHeaderInfo& record = *reader.Entry(i);
        ASSERT_LT(record.DiskNumberStart, volumes.size());
        const Bytes volume = codectest::ReadFile(volumes[record.DiskNumberStart]);
        const size_t at = record.RelativeOffset;
        ASSERT_LE(at + zip::LocalHeaderSize + record.FilenameLength, volume.size()) << record.Filename();
        EXPECT_EQ(Bytes(volume.begin() + at, volume.begin() + at + 4), (Bytes{0x50, 0x4B, 0x03, 0x04}))
            << record.Filename() << " on volume " << record.DiskNumberStart;
    }
}

std::string Native(const std::string& path) {
    return unziptest::Native(path);
}

class ZipVolumesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(Native(work));
        MakeFile("src\\sub\\noise.bin", codectest::RandomBytes(450000, 7));
        MakeFile("src\\sub\\deeper\\text.txt", codectest::TextBytes(300000, 8));
        MakeFile("src\\top.txt", Bytes{'t', 'o', 'p', '\r', '\n'});
        MakeFile("src\\sub\\empty.txt", {});
        for (const char* name :
             {"src\\top.txt", "src\\sub\\noise.bin", "src\\sub\\deeper\\text.txt", "src\\sub\\empty.txt"})
            tree.push_back(name);
    }
    void MakeFile(const std::string& name, const Bytes& bytes) {
        const std::string path = Native(tmp.Path() + "\\" + name);
        fs::create_directories(fs::path(path).parent_path());
        codectest::WriteFile(path, bytes);
    }
    int Shell(const std::string& command) { return codectest::Run("cd '" + tmp.Path() + "' && " + command); }

    // Names below tmp, stored with their folders relative to it; work files go to work\.
    void SetUpZipper(zip::TZipper& z, const std::string& archive, const std::vector<std::string>& names) {
        z.TempPath = work;
        z.SetZipName(archive);
        z.SetRootDir(tmp.Path() + "\\");
        z.SetRelativePaths(true);
        for (const std::string& name : names)
            z.FilesList.Add(tmp.Path() + "\\" + name);
    }

    // 7z tests the set and extracts it equal to the folder; Info-ZIP merges it into one archive
    // that unzip and python test. Info-ZIP's merge miscopies an entry that runs across a part
    // of exactly 1440k (its own 1440k splits too), so floppy-sized sets are left to 7z.
    void ExpectPeersRead(const std::string& last, const std::string& folder, bool infoZipMerges = true) {
        EXPECT_EQ(Shell("7z t '" + last + "' >/dev/null 2>&1"), 0) << "7z rejects " << last;
        ASSERT_EQ(Shell("rm -rf merged.zip out && 7z x -oout '" + last + "' >/dev/null 2>&1"), 0);
        EXPECT_EQ(Shell("diff -r '" + folder + "' 'out/" + folder + "' >/dev/null"), 0);
        if (!infoZipMerges) return;
        ASSERT_EQ(Shell("zip -q -s 0 '" + last + "' --out merged.zip"), 0) << "zip cannot merge " << last;
        EXPECT_EQ(Shell("unzip -tq merged.zip >/dev/null"), 0);
        EXPECT_EQ(Shell("python3 -c \"import zipfile,sys; "
                        "sys.exit(zipfile.ZipFile('merged.zip').testzip() is not None)\""),
                  0);
    }

    std::vector<std::string> Parts(const std::string& base, int count) {
        std::vector<std::string> parts;
        for (int i = 1; i <= count; ++i) {
            char ext[16];
            std::snprintf(ext, sizeof ext, ".z%02d", i);
            parts.push_back(Native(tmp.Path() + "\\" + base + ext));
        }
        return parts;
    }

    void ExpectNoWorkFiles() {
        EXPECT_EQ(ziptest::WorkFilesIn(work), std::vector<std::string>());
        EXPECT_EQ(ziptest::WorkFilesIn(tmp.Path()), std::vector<std::string>());
    }

    TTempFolder tmp;
    const std::string work = tmp.Path() + "\\work\\";
    std::vector<std::string> tree;
    TStdFileSystem files;
    ziptest::TStdZipperFiles output;
    gui::TScriptedPrompter prompter; // anything unscripted fails the test
    gui::TPrompterScope scope{prompter};
};

// The peers are Linux programs: native build only.
#ifndef _WIN32
TEST_F(ZipVolumesTest, SplitPartsKeepTheirSizesEndWithZipNameOnTheLastAndPeersReadTheSet) {
    zip::TZipper z(files, output);
    SetUpZipper(z, tmp.Path() + "\\split.zip", tree);
    z.MultiZipInfo.MultiMode = zip::mmBlocks;
    z.MultiZipInfo.FirstBlockSize = 100000;
    z.MultiZipInfo.BlockSize = 150000;
    std::vector<int> askedFor;
    z.OnGetNextDisk = [&](zip::TUnZipper&, int disk, std::string&) { askedFor.push_back(disk); };
    std::vector<int> percents;
    z.OnTotalPercentDone = [&](zip::TUnZipper&, int percent) { percents.push_back(percent); };
    ASSERT_EQ(z.Zip(), 4);
    // Each byte is counted once read and once copied: the total reaches 100 only at the end.
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100);
    EXPECT_LT(std::count(percents.begin(), percents.end(), 100), 4);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));

    const int count = z.VolumesWritten();
    ASSERT_GE(count, 4);
    const std::vector<std::string> parts = Parts("split", count);
    EXPECT_EQ(Native(z.ZipName()), parts.back());
    EXPECT_FALSE(fs::exists(Native(tmp.Path() + "\\split.zip")));
    EXPECT_LE(SizeOf(parts[0]), 100000);
    for (size_t i = 1; i < parts.size(); ++i)
        EXPECT_LE(SizeOf(parts[i]), 150000) << parts[i];
    // Each new part is announced, and each entry's volume is told with a 0.
    EXPECT_EQ(std::count(askedFor.begin(), askedFor.end(), 0), 4);
    for (int disk = 2; disk <= count; ++disk)
        EXPECT_EQ(std::count(askedFor.begin(), askedFor.end(), disk), 1) << disk;
    ExpectNoWorkFiles();

    // Our reader reads the set under the last part's name, and after the host's rename.
    {
        zip::TUnZipper reader(files);
        reader.SetZipName(z.ZipName());
        EXPECT_TRUE(reader.TestArchive());
    }
    ExpectHeadersWhereRecordsSay(files, z.ZipName(), parts);
    fs::rename(parts.back(), Native(tmp.Path() + "\\split.zip"));
    {
        zip::TUnZipper reader(files);
        reader.SetZipName(tmp.Path() + "\\split.zip");
        EXPECT_EQ(reader.Count(), 4);
        EXPECT_TRUE(reader.TestArchive());
    }
    ExpectPeersRead("split.zip", "src");
}

TEST_F(ZipVolumesTest, DirectoryIsSpreadOverPartsAtRecordBoundariesWithTheEndRecordWhole) {
    std::vector<std::string> names;
    for (int i = 0; i < 150; ++i) {
        const std::string name =
            "many\\a folder with a rather long name\\file number " + std::to_string(i) + ".txt";
        MakeFile(name, codectest::TextBytes(300 + i, uint32_t(i)));
        names.push_back(name);
    }
    zip::TZipper z(files, output);
    SetUpZipper(z, tmp.Path() + "\\many.zip", names);
    z.MultiZipInfo.MultiMode = zip::mmBlocks;
    z.MultiZipInfo.FirstBlockSize = 5000;
    z.MultiZipInfo.BlockSize = 450;
    ASSERT_EQ(z.Zip(), 150);

    // Parts from the hundredth on have three digits: .z100, .z101, ...
    const std::vector<std::string> parts = Parts("many", z.VolumesWritten());
    ASSERT_GT(parts.size(), 101u);
    for (size_t i = 0; i < parts.size(); ++i)
        EXPECT_LE(SizeOf(parts[i]), i == 0 ? 5000 : 450) << parts[i];
    zip::TEndCentral end;
    gui::TMemoryStream last;
    const Bytes lastBytes = codectest::ReadFile(parts.back());
    last.Write(lastBytes.data(), lastBytes.size());
    ASSERT_TRUE(end.FindEndCentral(last));
    EXPECT_EQ(end.ThisDisk + 1u, parts.size());
    EXPECT_LT(end.StartDisk + 3u, parts.size()) << "the directory should cover several parts";
    EXPECT_EQ(end.TotalEntries, 150);
    EXPECT_LT(end.EntriesOnDisk, 150);
    ExpectHeadersWhereRecordsSay(files, z.ZipName(), parts);
    fs::rename(parts.back(), Native(tmp.Path() + "\\many.zip"));
    zip::TUnZipper reader(files);
    reader.SetZipName(tmp.Path() + "\\many.zip");
    EXPECT_TRUE(reader.TestArchive());
    ExpectPeersRead("many.zip", "many");
}

TEST_F(ZipVolumesTest, SetOfOnePartIsTheArchiveItself) {
    zip::TZipper z(files, output);
    SetUpZipper(z, tmp.Path() + "\\one.zip", tree);
    z.MultiZipInfo.MultiMode = zip::mmBlocks;
    z.MultiZipInfo.FirstBlockSize = z.MultiZipInfo.BlockSize = 2000000;
    ASSERT_EQ(z.Zip(), 4);
    EXPECT_EQ(z.VolumesWritten(), 1);
    EXPECT_EQ(z.ZipName(), tmp.Path() + "\\one.zip");
    EXPECT_FALSE(fs::exists(Native(tmp.Path() + "\\one.z01")));
    EXPECT_EQ(Shell("unzip -tq one.zip >/dev/null && 7z t one.zip >/dev/null"), 0);
}

TEST_F(ZipVolumesTest, SplitOverAnExistingArchiveKeepsItsEntriesInThePartsAndRemovesIt) {
    MakeFile("grown\\old\\a.txt", codectest::TextBytes(30000, 1));
    MakeFile("grown\\old\\c.bin", codectest::RandomBytes(150000, 3));
    MakeFile("grown\\new\\b.bin", codectest::RandomBytes(300000, 2));
    ASSERT_EQ(Shell("zip -qr grown.zip grown/old"), 0);
    const Bytes before = codectest::ReadFile(Native(tmp.Path() + "\\grown.zip"));
    auto setUp = [&](zip::TZipper& z) {
        SetUpZipper(z, tmp.Path() + "\\grown.zip", {"grown\\new\\b.bin"});
        z.MultiZipInfo.MultiMode = zip::mmBlocks;
        z.MultiZipInfo.FirstBlockSize = 100000;
        z.MultiZipInfo.BlockSize = 80000;
    };

    // A full disk leaves the old archive as it was, and no part.
    {
        zip::TZipper z(files, output);
        setUp(z);
        output.outputRoom = 300000;
        EXPECT_THROW(z.Zip(), zip::ENotEnoughRoom);
        output.outputRoom = -1;
        EXPECT_EQ(codectest::ReadFile(Native(tmp.Path() + "\\grown.zip")), before);
        for (const std::string& part : Parts("grown", 9))
            EXPECT_FALSE(fs::exists(part)) << part;
        ExpectNoWorkFiles();
    }

    // The old entries (larger than the first part) are spread over the parts like new ones.
    zip::TZipper z(files, output);
    setUp(z);
    ASSERT_EQ(z.Zip(), 1);
    ASSERT_GE(z.VolumesWritten(), 5);
    EXPECT_FALSE(fs::exists(Native(tmp.Path() + "\\grown.zip"))) << "the old archive stays beside the set";
    const std::vector<std::string> parts = Parts("grown", z.VolumesWritten());
    for (size_t i = 0; i < parts.size(); ++i)
        EXPECT_LE(SizeOf(parts[i]), i == 0 ? 100000 : 80000) << parts[i];
    ExpectHeadersWhereRecordsSay(files, z.ZipName(), parts);
    fs::rename(parts.back(), Native(tmp.Path() + "\\grown.zip"));
    ExpectPeersRead("grown.zip", "grown");
}
#endif

// Zipping a source of nearly 4 GiB costs too much for a test: the entry is made to count all
// but a few bytes of that as written to its work file already.
class TNearly4GiBZipper : public zip::TZipper {
  public:
    using zip::TZipper::TZipper;
    void CountNearly4GiB() { volumeEntryBytes_ = 0xFFFFFFFFll - 1000; }
};

TEST_F(ZipVolumesTest, FailedSplitLeavesNoPartsAndNoWorkFiles) {
    // The bytes of the whole set, to fill the disk just before its directory ends.
    int64_t setBytes = 0;
    {
        zip::TZipper z(files, output);
        SetUpZipper(z, tmp.Path() + "\\failed.zip", tree);
        z.MultiZipInfo.MultiMode = zip::mmBlocks;
        z.MultiZipInfo.FirstBlockSize = z.MultiZipInfo.BlockSize = 100000;
        ASSERT_EQ(z.Zip(), 4);
        for (const std::string& part : Parts("failed", z.VolumesWritten()))
            setBytes += SizeOf(fs::exists(part) ? part : Native(z.ZipName()));
        for (const std::string& part : Parts("failed", z.VolumesWritten()))
            fs::remove(part);
    }
    enum TFault { kFullInAnEntry, kFullInTheDirectory, kCanceled, kEntryPast4GiB };
    for (const TFault fault : {kFullInAnEntry, kFullInTheDirectory, kCanceled, kEntryPast4GiB}) {
        SCOPED_TRACE(fault == kCanceled        ? "cancelled while copying to a part"
                     : fault == kFullInAnEntry ? "disk full in the third part"
                     : fault == kEntryPast4GiB ? "the last entry's data passing 4 GiB"
                                               : "disk full at the end of the directory");
        TNearly4GiBZipper z(files, output);
        SetUpZipper(z, tmp.Path() + "\\failed.zip", tree);
        z.MultiZipInfo.MultiMode = zip::mmBlocks;
        z.MultiZipInfo.FirstBlockSize = z.MultiZipInfo.BlockSize = 100000;
        output.outputRoom = fault == kFullInAnEntry        ? 250000
                            : fault == kFullInTheDirectory ? setBytes - 30
                                                           : -1;
        int parts = 0;
        z.OnGetNextDisk = [&](zip::TUnZipper& sender, int disk, std::string&) {
            if (disk > 0) ++parts;
            if (fault == kCanceled && parts == 2) sender.CancelTheOperation();
        };
        std::string zipping;
        z.OnStartZip = [&](zip::TZipper&, const std::string& name, zip::TZipHeaderInfo&, bool&) {
            zipping = name;
        };
        z.OnFilePercentDone = [&](zip::TUnZipper&, int) {
            if (fault == kEntryPast4GiB && zipping.ends_with("text.txt")) z.CountNearly4GiB();
        };
        try {
            z.Zip();
            ADD_FAILURE() << "no exception";
        } catch (const zip::EUserCanceled& e) {
            EXPECT_EQ(fault, kCanceled);
            EXPECT_STREQ(e.what(), "User Aborted Operation");
        } catch (const zip::ENotEnoughRoom& e) {
            EXPECT_NE(fault, kCanceled);
            if (fault == kEntryPast4GiB) {
                EXPECT_STREQ(e.what(), "Not enough room to write archive: an entry cannot pass 4 GiB");
            }
        }
        output.outputRoom = -1;
        EXPECT_GE(parts, 2);
        for (const std::string& part : Parts("failed", 9))
            EXPECT_FALSE(fs::exists(part)) << part;
        EXPECT_FALSE(fs::exists(Native(tmp.Path() + "\\failed.zip")));
        ExpectNoWorkFiles();
    }
}

TEST_F(ZipVolumesTest, SideFileHoldsTheDirectoryAndEndRecordAndListsTheSetFromPartOne) {
    zip::TZipper z(files, output);
    SetUpZipper(z, tmp.Path() + "\\side.zip", tree);
    z.MultiZipInfo.MultiMode = zip::mmBlocks;
    z.MultiZipInfo.FirstBlockSize = z.MultiZipInfo.BlockSize = 200000;
    z.MultiZipInfo.SaveZipInfoOnFirstDisk = true;
    ASSERT_EQ(z.Zip(), 4);
    const std::string side = Native(tmp.Path() + "\\side.zfc");
    ASSERT_TRUE(fs::exists(side));
    const Bytes bytes = codectest::ReadFile(side);
    gui::TMemoryStream stream;
    stream.Write(bytes.data(), bytes.size());
    zip::TEndCentral end;
    ASSERT_TRUE(end.FindEndCentral(stream));
    EXPECT_EQ(end.TotalEntries, 4);
    EXPECT_EQ(end.ThisDisk + 1, z.VolumesWritten());
    EXPECT_EQ(int64_t(end.CentralSize) + 22, int64_t(bytes.size()));

    // The first part alone has no end record: the reader takes the directory from the side file.
    zip::TUnZipper reader(files);
    reader.SetZipName(tmp.Path() + "\\side.z01");
    ASSERT_EQ(reader.Count(), 4);
    EXPECT_EQ(reader.FullName(0), "src\\top.txt");
}

class ZipSpanTest : public ZipVolumesTest {
  protected:
    void SetUp() override {
        ZipVolumesTest::SetUp();
        MakeFile("span\\big.bin", codectest::RandomBytes(3000000, 11));
        MakeFile("span\\small.txt", codectest::TextBytes(60000, 12));
        for (int n = 1; n <= 4; ++n) {
            drive.disks.push_back(Native(tmp.Path() + "\\disk" + std::to_string(n)));
            fs::create_directories(drive.disks.back());
            drive.labels.push_back("x");
            drive.serials.push_back(0x5EED0000u + n);
        }
    }
    void SetUpSpan(zip::TZipper& z) {
        SetUpZipper(z, "A:\\set.zip", {"span\\big.bin", "span\\small.txt"});
        z.MultiZipInfo.MultiMode = zip::mmSpan;
    }

    ziptest::TFloppyDrive drive;
    ziptest::TFloppyReader reading{drive};
    ziptest::TFloppyWriter writing{drive};
    ziptest::TDiskChanger changer{drive};
    gui::TPrompterScope changerScope{changer};
};

TEST_F(ZipSpanTest, EachDiskIsAskedForUntilChangedLabelledAndReadBackWithItsSideFile) {
    zip::TZipper z(reading, writing);
    SetUpSpan(z);
    z.MultiZipInfo.SaveZipInfoOnFirstDisk = true;
    // Disk 2 is asked for twice: the first answer leaves disk 1 in the drive. Then disk 3,
    // and disk 1 again for the side file (the prompts' texts: ZipVolumesWin_test).
    drive.nextDisks = {0, 1, 2, 0};
    for (int i = 0; i < 4; ++i)
        changer.AnswerMessage(gui::mrOk);
    ASSERT_EQ(z.Zip(), 2);
    EXPECT_EQ(z.VolumesWritten(), 3);
    EXPECT_EQ(changer.Pending(), 0u);
    EXPECT_EQ(drive.labels, (std::vector<std::string>{"PKBACK# 001", "PKBACK# 002", "PKBACK# 003", "x"}));
    for (int n = 0; n < 3; ++n) {
        EXPECT_TRUE(fs::exists(drive.disks[n] + "/set.zip")) << n;
        drive.inserted = n;
        EXPECT_GE(drive.Free(), 0) << "disk " << n + 1 << " overfilled";
    }
    // Disk 1 kept room for the side file: 83 bytes a name with its folder, and 2,070 more.
    EXPECT_EQ(z.MultiZipInfo.SaveOnFirstDisk, 2u * 83 + 2070);
    EXPECT_LE(SizeOf(drive.disks[0] + "/set.zip"), drive.capacity - (2 * 83 + 2070));
    EXPECT_TRUE(fs::exists(drive.disks[0] + "/set.zfc"));
    EXPECT_TRUE(fs::is_empty(drive.disks[3]));
    ExpectNoWorkFiles();

    // Our reader, with label checks, asks for the disks it needs.
    {
        drive.inserted = 2;
        zip::TUnZipper reader(reading);
        reader.SetZipName("A:\\set.zip");
        reader.OnGetNextDisk = [&](zip::TUnZipper&, int disk, std::string&) {
            drive.inserted = size_t(disk - 1);
        };
        EXPECT_TRUE(reader.TestArchive());
        EXPECT_EQ(reader.MultiMode(), zip::mmSpan);
    }
    // Disk 1 alone lists the set through its side file.
    {
        drive.inserted = 0;
        zip::TUnZipper reader(reading);
        reader.SetZipName("A:\\set.zip");
        ASSERT_EQ(reader.Count(), 2);
        EXPECT_EQ(reader.FullName(0), "span\\big.bin");
    }
    std::vector<std::string> copies;
    for (int n = 1; n <= 3; ++n) {
        copies.push_back(Native(tmp.Path() + (n < 3 ? "\\set.z0" + std::to_string(n) : "\\set.zip")));
        fs::copy_file(drive.disks[size_t(n - 1)] + "/set.zip", copies.back());
    }
    ExpectHeadersWhereRecordsSay(files, tmp.Path() + "\\set.zip", copies);
    if (testsupport::kPeers) ExpectPeersRead("set.zip", "span", false);
}

// The peers are Linux programs: native build only.
#ifndef _WIN32
TEST_F(ZipSpanTest, ArchiveOnTheFirstDiskIsExtendedOverTheNextDisksOrPutBackWhenTheRunFails) {
    MakeFile("old\\note.txt", codectest::TextBytes(20000, 9));
    ASSERT_EQ(Shell("zip -q '" + drive.disks[0] + "/set.zip' old/note.txt"), 0);
    const Bytes before = codectest::ReadFile(drive.disks[0] + "/set.zip");
    {
        // Disk 2 comes; disk 3 is refused; disk 1 comes back for the repair.
        zip::TZipper z(reading, writing);
        SetUpSpan(z);
        drive.nextDisks = {1, 0};
        changer.AnswerMessage(gui::mrOk).AnswerMessage(gui::mrCancel).AnswerMessage(gui::mrOk);
        EXPECT_THROW(z.Zip(), zip::EUserCanceled);
        EXPECT_EQ(changer.MessageTexts().back(), "Please insert disk 1 of the multi-disk set.");
        EXPECT_EQ(codectest::ReadFile(drive.disks[0] + "/set.zip"), before);
        EXPECT_FALSE(fs::exists(drive.disks[1] + "/set.zip"));
        ExpectNoWorkFiles();
    }
    zip::TZipper z(reading, writing);
    SetUpSpan(z);
    drive.nextDisks = {1, 2};
    changer.AnswerMessage(gui::mrOk).AnswerMessage(gui::mrOk);
    ASSERT_EQ(z.Zip(), 2);
    EXPECT_EQ(z.VolumesWritten(), 3);
    drive.inserted = 2;
    zip::TUnZipper reader(reading);
    reader.SetZipName("A:\\set.zip");
    reader.OnGetNextDisk = [&](zip::TUnZipper&, int disk, std::string&) {
        drive.inserted = size_t(disk - 1);
    };
    ASSERT_EQ(reader.Count(), 3);
    EXPECT_TRUE(reader.TestArchive());
}
#endif

TEST_F(ZipSpanTest, RefusedNextDiskCancelsWithTheOutputAndWorkFilesGone) {
    for (const bool byPrompt : {true, false}) {
        SCOPED_TRACE(byPrompt ? "prompt cancelled" : "handler answered no name");
        drive.inserted = 0;
        zip::TZipper z(reading, writing);
        SetUpSpan(z);
        if (byPrompt)
            changer.AnswerMessage(gui::mrCancel);
        else
            z.OnGetNextDisk = [](zip::TUnZipper&, int disk, std::string& name) {
                if (disk > 0) name.clear();
            };
        try {
            z.Zip();
            ADD_FAILURE() << "no exception";
        } catch (const zip::EUserCanceled& e) {
            EXPECT_STREQ(e.what(), "User canceled Zip operation");
        }
        EXPECT_EQ(changer.Pending(), 0u);
        EXPECT_FALSE(fs::exists(drive.disks[0] + "/set.zip"));
        ExpectNoWorkFiles();
    }
}

TEST_F(ZipSpanTest, DisksKeepTheirLabelsWhenLabelsAreNotWritten) {
    zip::TZipper z(reading, writing);
    SetUpSpan(z);
    drive.nextDisks = {1, 2};
    changer.AnswerMessage(gui::mrOk).AnswerMessage(gui::mrOk);
    z.MultiZipInfo.WriteDiskLabels = false;
    ASSERT_EQ(z.Zip(), 2);
    EXPECT_EQ(drive.labels, (std::vector<std::string>{"x", "x", "x", "x"}));
}

} // namespace
