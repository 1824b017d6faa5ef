// The unzip component's properties and seams: dates, comments changed in memory, the archive
// size, the cursor around reading, memory pieces handed to the caller, what a subclass may
// keep itself, and copying the settings of another component.

// Its archives come from python and zip, Linux programs: native build only.
#ifndef _WIN32

#include "DecodeSupport.h"
#include "UnZipperSupport.h"
#include "gui/Clock.h"
#include "gui/ScriptedPrompter.h"
#include "zip/UnZipper.h"
#include "zip/ZipCodecErrors.h"
#include "zip/ZipLib.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using unziptest::TStdFileSystem;
using unziptest::TTempFolder;
namespace fs = std::filesystem;

class UnZipperComponent : public ::testing::Test {
  protected:
    int Shell(const std::string& command) { return codectest::Run("cd '" + tmp.Path() + "' && " + command); }
    // feb.txt carries 31 February, which passes the date repair but is no date.
    void MakeDated() {
        ASSERT_EQ(Shell("python3 -c \"import zipfile\nwith zipfile.ZipFile('d.zip','w') as z:\n"
                        " z.writestr(zipfile.ZipInfo('feb.txt',(2020,2,31,10,0,0)),'x');"
                        " z.writestr(zipfile.ZipInfo('ok.txt',(2021,3,4,5,6,8)),'y'*300)\""),
                  0);
    }

    TTempFolder tmp;
    TStdFileSystem files;
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope scope{prompter};
};

// Records every cursor shown, answering the one before as the screen would.
struct TCursorLog {
    zip::TZipCursor shown = zip::TZipCursor::Default;
    std::vector<zip::TZipCursor> history;
    zip::TCursorSeam Seam() {
        return [this](zip::TZipCursor cursor) {
            const zip::TZipCursor before = shown;
            shown = cursor;
            history.push_back(cursor);
            return before;
        };
    }
};

TEST_F(UnZipperComponent, DatesCommentsAndSizeOfTheArchive) {
    MakeDated();
    gui::ManualClock clock(45000.25);
    gui::SetClock(&clock);
    zip::TUnZipper z(files);
    z.SetZipName(tmp / "d.zip");
    EXPECT_EQ(z.DateTime(0), 45000.25); // no such day: the time of asking
    EXPECT_EQ(z.DateTime(1), *zip::DosDateTimeToDateTime(zip::PackDosDateTime(2021, 3, 4, 5, 6, 8)));
    gui::SetClock(nullptr);
    EXPECT_EQ(z.ZipSize(), static_cast<int64_t>(fs::file_size(tmp / "d.zip")));

    EXPECT_EQ(z.EndCentral().Modified, 0);
    z.SetFileComment(1, "changed");
    EXPECT_EQ(z.FileComment(1), "changed");
    EXPECT_EQ(z.EndCentral().Modified, 1);
    zip::TUnZipper other(files);
    other.SetZipName(tmp / "d.zip");
    other.SetZipComment("whole set");
    EXPECT_EQ(other.ZipComment(), "whole set");
    EXPECT_EQ(other.EndCentral().Modified, 1);

    zip::TUnZipper missing(files);
    missing.SetZipName(tmp / "none.zip");
    EXPECT_EQ(missing.ZipSize(), 0);
}

// Names compare under the program's one fold (Windows-1252): an accented name in the other
// case is the archive already open, not a new one.
TEST_F(UnZipperComponent, AnAccentedNameInTheOtherCaseIsTheSameArchive) {
    zip::TUnZipper z(files);
    z.SetZipName(tmp / "CAF\xC9.ZIP");
    z.SetZipName(tmp / "caf\xE9.zip");
    EXPECT_EQ(z.ZipName(), tmp / "CAF\xC9.ZIP");
    z.SetZipName(tmp / "CAFE.ZIP");
    EXPECT_EQ(z.ZipName(), tmp / "CAFE.ZIP");
}

TEST_F(UnZipperComponent, ReadingShowsTheHourglassAndPutsTheCursorBackOnFailure) {
    MakeDated();
    TCursorLog log;
    zip::TUnZipper z(files);
    z.Cursor = log.Seam();
    std::vector<zip::TZipCursor> whileReading;
    z.OnEndReadFileInfo = [&](zip::TUnZipper&, int, int) { whileReading.push_back(log.shown); };
    z.SetZipName(tmp / "d.zip");
    z.ReadZip();
    EXPECT_EQ(whileReading,
              (std::vector<zip::TZipCursor>{zip::TZipCursor::HourGlass, zip::TZipCursor::HourGlass}));
    EXPECT_EQ(log.shown, zip::TZipCursor::Default);

    codectest::WriteFile(tmp / "junk.zip", codectest::RandomBytes(3000, 2));
    zip::TUnZipper junk(files);
    junk.Cursor = log.Seam();
    junk.SetZipName(tmp / "junk.zip");
    log.history.clear();
    EXPECT_THROW(junk.ReadZip(), zip::EIncompleteZip);
    EXPECT_EQ(log.history,
              (std::vector<zip::TZipCursor>{zip::TZipCursor::HourGlass, zip::TZipCursor::Default}));
}

TEST_F(UnZipperComponent, MemoryExtractionHandsTheFilledBufferToTheCaller) {
    MakeDated();
    zip::TUnZipper z(files);
    z.SetZipName(tmp / "d.zip");
    std::vector<std::tuple<std::string, size_t, int>> pieces;
    std::string seen;
    z.OnGetNextBuffer = [&](zip::TUnZipper&, uint8_t*& buffer, const std::string& name, size_t used,
                            int number, bool&) {
        pieces.emplace_back(name, used, number);
        seen.assign(reinterpret_cast<const char*>(buffer), used);
    };
    std::unique_ptr<uint8_t[]> buffer;
    EXPECT_EQ(z.UnZipToBuffer(buffer, 1), 1);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0], std::make_tuple(std::string("ok.txt"), size_t(300), 1));
    EXPECT_EQ(seen, std::string(300, 'y'));
}

// A subclass that keeps the volume mode and the label check with its own settings.
class TKeepsVolumeSettings : public zip::TUnZipper {
  public:
    using TUnZipper::TUnZipper;
    zip::TMultiMode mode = zip::mmNone;
    bool labels = false;
    zip::TMultiMode MultiMode() const override { return mode; }
    void SetMultiMode(zip::TMultiMode m) override { mode = m; }
    bool GetCheckDiskLabels() const override { return labels; }
    void SetCheckDiskLabels(bool on) override { labels = on; }
};

TEST_F(UnZipperComponent, SubclassKeepsTheVolumeModeAndAssignCopiesSettings) {
    fs::create_directories(tmp / "src");
    codectest::WriteFile(tmp / "src/noise.bin", codectest::RandomBytes(150000, 5));
    ASSERT_EQ(Shell("cd src && zip -q -s 64k ../set.zip noise.bin"), 0);
    TKeepsVolumeSettings z(files);
    z.SetZipName(tmp / "set.zip");
    EXPECT_TRUE(z.TestArchive());
    EXPECT_EQ(z.mode, zip::mmBlocks);
    z.ClearZip();
    EXPECT_EQ(z.mode, zip::mmNone);

    zip::TUnZipper source(files);
    source.SetZipName(tmp / "set.zip");
    source.SetDestDir(tmp / "out");
    source.SetRootDir("C:\\Data");
    source.RecreateDirs = source.DoAll = source.ReplaceReadOnly = source.UseTempFile = true;
    source.OverwriteMode = zip::ifNewer;
    source.FilesList.Add("*.bin");
    source.CheckDiskLabels = false;
    source.TempPath = tmp.Path();
    source.Password = "pw";
    z.labels = true;
    z.Assign(source);
    EXPECT_EQ(z.ZipName(), tmp / "set.zip");
    EXPECT_EQ(z.DestDir(), tmp / "out");
    EXPECT_EQ(z.RootDir(), "C:\\Data\\");
    EXPECT_TRUE(z.RecreateDirs && z.DoAll && z.ReplaceReadOnly && z.UseTempFile);
    EXPECT_EQ(z.OverwriteMode, zip::ifNewer);
    EXPECT_EQ(z.FilesList.Text(), source.FilesList.Text());
    EXPECT_FALSE(z.labels);
    EXPECT_EQ(z.GetTempZipPath(), tmp.Path() + "\\");
    z.TempPath = tmp / "missing";
    EXPECT_EQ(z.GetTempZipPath(), files.SystemTempPath());
    EXPECT_EQ(z.Password, "pw");
}

} // namespace

#endif // _WIN32
