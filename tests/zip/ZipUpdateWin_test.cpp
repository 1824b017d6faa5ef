// Updating and appending on the Win32 file system: a locked archive that cannot be replaced
// at the end, and an append that is cancelled and cut back with the system's own calls.

#include "DecodeSupport.h"
#include "UnZipperSupport.h"
#include "gui/DriveType.h"
#include "zip/ExtractFilesWin.h"
#include "zip/ZipCodecErrors.h"
#include "zip/Zipper.h"
#include "zip/ZipperFilesWin.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

class ZipUpdateWin : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(tmp.Path() + "\\src");
        fs::create_directories(tmp.Path() + "\\work");
        codectest::WriteFile(Src("a.txt"), codectest::TextBytes(30000, 1));
        codectest::WriteFile(Src("b.bin"), codectest::RandomBytes(3000000, 2));
        z.TempPath = tmp.Path() + "\\work";
        z.SetZipName(archive);
        z.SetRootDir(tmp.Path() + "\\src");
        z.FilesList.Add("a.txt");
        ASSERT_EQ(z.Zip(), 1);
        old = codectest::ReadFile(archive);
    }
    std::string Src(const std::string& name) const { return tmp.Path() + "\\src\\" + name; }

    unziptest::TTempFolder tmp;
    std::string archive = tmp.Path() + "\\arc.zip";
    zip::TWinExtractFileSystem files;
    zip::TWinZipperFileSystem output{gui::DriveTypeText};
    zip::TZipper z{files, output};
    codectest::Bytes old;
};

TEST_F(ZipUpdateWin, ArchiveLockedAtTheEndKeepsTheFinishedTemporaryArchiveAndTheOldOne) {
    HANDLE lock = INVALID_HANDLE_VALUE;
    z.OnEndZip = [&](zip::TZipper&, const std::string& name, uint32_t, uint32_t, uint32_t) {
        // Another program reads the archive, letting nobody write or delete it, from the time
        // the new one is nearly done.
        if (name.ends_with("-:-"))
            lock = CreateFileA(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr);
    };
    z.FilesList.Add("b.bin");
    const std::string temporary = tmp.Path() + "\\work\\arc.~tm";
    try {
        z.Zip();
        ADD_FAILURE() << "no exception";
    } catch (const zip::EZipError& error) {
        EXPECT_NE(std::string(error.what()).find(temporary), std::string::npos) << error.what();
    }
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    CloseHandle(lock);
    EXPECT_EQ(codectest::ReadFile(archive), old);
    zip::TUnZipper kept(files);
    kept.SetZipName(temporary);
    EXPECT_EQ(kept.Count(), 2);
    EXPECT_TRUE(kept.TestArchive());
}

TEST_F(ZipUpdateWin, CancelledAppendIsCutBackToTheOldArchive) {
    z.KeepZipOpen = true;
    z.OnFilePercentDone = [](zip::TUnZipper& zipper, int percent) {
        if (percent >= 50) zipper.CancelTheOperation();
    };
    z.FilesList.Add("b.bin");
    EXPECT_THROW(z.Zip(), zip::EUserCanceled);
    EXPECT_EQ(codectest::ReadFile(archive), old);
    EXPECT_TRUE(fs::is_empty(tmp.Path() + "\\work"));

    z.OnFilePercentDone = nullptr;
    z.FilesList.Add("b.bin");
    EXPECT_EQ(z.Zip(), 1);
    const codectest::Bytes grown = codectest::ReadFile(archive);
    ASSERT_GT(grown.size(), old.size());
    zip::TUnZipper reader(files);
    reader.SetZipName(archive);
    EXPECT_EQ(reader.Count(), 2);
    EXPECT_TRUE(reader.TestArchive());
}

} // namespace
