// A spanned set on a removable drive of Wine whose disks are folders: the volume serial
// numbers, labels and drive type are Win32's own; only the free space is played small, so
// that folders fill up like floppies.

#include "DecodeSupport.h"
#include "UnZipperSupport.h"
#include "WineDriveWinSupport.h"
#include "gui/DriveType.h"
#include "gui/ScriptedPrompter.h"
#include "zip/ExtractFilesWin.h"
#include "zip/ZipCodecErrors.h"
#include "zip/Zipper.h"
#include "zip/ZipperFilesWin.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using codectest::Bytes;

constexpr int64_t kDiskRoom = 400000;

// The Win32 file system, with every disk of drive B: holding kDiskRoom bytes.
class TSmallDisks : public zip::TWinZipperFileSystem {
  public:
    TSmallDisks() : zip::TWinZipperFileSystem(gui::DriveTypeText) {}
    int64_t DiskFree(const std::string& root) override {
        return root == "B:\\" ? kDiskRoom : zip::TWinZipperFileSystem::DiskFree(root);
    }
};

// Each OK puts the next folder of the script in the drive.
class TDiskChanger : public gui::TScriptedPrompter {
  public:
    explicit TDiskChanger(wintest::TWineDrive& drive) : drive_(drive) {}
    std::vector<std::string> nextDisks;
    int ShowMessageBox(const gui::TMessageBoxRequest& request) override {
        const int answer = gui::TScriptedPrompter::ShowMessageBox(request);
        if (answer == gui::mrOk && !nextDisks.empty()) {
            drive_.Insert(nextDisks.front());
            nextDisks.erase(nextDisks.begin());
        }
        return answer;
    }

  private:
    wintest::TWineDrive& drive_;
};

std::string Label(const std::string& disk) {
    const Bytes bytes = codectest::ReadFile(disk + "\\.windows-label");
    std::string text(bytes.begin(), bytes.end());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0'))
        text.pop_back();
    return text;
}

TEST(ZipVolumesWin, SpannedDisksAreAskedForUntilChangedLabelledAndReadBackWithLabelChecks) {
    unziptest::TTempFolder tmp;
    std::vector<std::string> disks;
    for (int n = 1; n <= 3; ++n) {
        disks.push_back(tmp.Path() + "\\disk" + std::to_string(n));
        fs::create_directories(disks.back());
        std::ofstream(disks.back() + "\\.windows-serial") << std::to_string(1111 * n);
        std::ofstream(disks.back() + "\\.windows-label") << "x";
    }
    wintest::TWineDrive drive(DRIVE_REMOVABLE, 'B');
    ASSERT_TRUE(drive.Insert(disks[0])) << "no mount manager to define drive B:";
    fs::create_directories(tmp.Path() + "\\src");
    codectest::WriteFile(tmp.Path() + "\\src\\big.bin", codectest::RandomBytes(900000, 5));
    codectest::WriteFile(tmp.Path() + "\\src\\text.txt", codectest::TextBytes(40000, 6));

    zip::TWinExtractFileSystem files;
    TSmallDisks output;
    TDiskChanger changer(drive);
    gui::TPrompterScope scope(changer);
    zip::TZipper z(files, output);
    z.TempPath = tmp.Path();
    z.SetZipName("B:\\set.zip");
    z.FilesList.Add(tmp.Path() + "\\src\\big.bin");
    z.FilesList.Add(tmp.Path() + "\\src\\text.txt");
    z.MultiZipInfo.MultiMode = zip::mmSpan;
    z.MultiZipInfo.SaveZipInfoOnFirstDisk = true;
    // The first answer leaves disk 1 in the drive: its serial number shows it, so disk 2 is
    // asked for again. Disk 1 comes back at the end for the side file.
    changer.nextDisks = {disks[0], disks[1], disks[2], disks[0]};
    for (int i = 0; i < 4; ++i)
        changer.AnswerMessage(gui::mrOk);
    ASSERT_EQ(z.Zip(), 2);
    EXPECT_EQ(z.VolumesWritten(), 3);
    EXPECT_EQ(changer.MessageTexts(),
              (std::vector<std::string>{"Please insert disk 2 of the multi-disk set.",
                                        "Please insert disk 2 of the multi-disk set.",
                                        "Please insert disk 3 of the multi-disk set.",
                                        "Please insert disk 1 of the multi-disk set."}));
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(Label(disks[n]), "PKBACK# 00" + std::to_string(n + 1));
        ASSERT_TRUE(fs::exists(disks[n] + "\\set.zip")) << n;
        EXPECT_LE(int64_t(fs::file_size(disks[n] + "\\set.zip")), kDiskRoom - (n == 0 ? 2 * 58 + 2070 : 0))
            << n;
    }
    EXPECT_TRUE(fs::exists(disks[0] + "\\set.zfc"));

    // The reader checks each disk's label as it asks for it.
    zip::TUnZipper reader(files);
    drive.Insert(disks[2]);
    reader.SetZipName("B:\\set.zip");
    reader.OnGetNextDisk = [&](zip::TUnZipper&, int disk, std::string&) {
        drive.Insert(disks[size_t(disk - 1)]);
    };
    EXPECT_TRUE(reader.TestArchive());
    EXPECT_EQ(reader.MultiMode(), zip::mmSpan);
}

} // namespace
