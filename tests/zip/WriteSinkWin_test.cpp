// The write sink onto real files of a Wine drive: read-back, header patches and the staging
// route end with the bytes that were meant.

#include "WineDriveWinSupport.h"
#include "gui/Clock.h"
#include "gui/DriveType.h"
#include "gui/Wait.h"
#include "zip/ExtractFilesWin.h"
#include "zip/UnZipper.h"
#include "zip/WriteSinkWin.h"
#include "zip/ZipLibWin.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {

std::string TempFolder() {
    char buffer[MAX_PATH + 1];
    GetTempPathA(sizeof buffer, buffer);
    std::string folder = std::string(buffer) + "tw-sink-" + std::to_string(GetCurrentProcessId());
    zip::ForceDirs(folder);
    return folder + "\\";
}

std::vector<uint8_t> ReadAll(const std::string& name) {
    zip::TLFNFileStream in(name, gui::fmOpenRead | gui::fmShareDenyNone);
    std::vector<uint8_t> bytes(static_cast<size_t>(in.Size()));
    in.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}

// Two and a half megabytes of counting bytes with a patched 4-byte header at 100 and one
// across the second megabyte boundary; both routes must give the same file.
std::vector<uint8_t> WriteThrough(zip::TWriteSink& sink) {
    std::vector<uint8_t> expected;
    // The staging buffer holds one megabyte: larger amounts go in pieces.
    auto put = [&](size_t count, bool flush) {
        while (count > 0) {
            const size_t n = std::min(count, zip::kSinkBufferSize);
            for (size_t i = 0; i < n; ++i)
                sink.StagingBuffer()[i] = static_cast<uint8_t>(expected.size() + i);
            expected.insert(expected.end(), sink.StagingBuffer(), sink.StagingBuffer() + n);
            count -= n;
            sink.WriteToSink(n, flush && count == 0);
        }
    };
    put(1000, false);
    const uint8_t header[] = {0xDE, 0xAD, 0xBE, 0xEF};
    std::copy(header, header + 4, sink.StagingBuffer());
    sink.WriteAt(4, sink.UseTempFile ? 100 : 101);
    std::copy(header, header + 4, expected.begin() + 100);
    put(zip::kSinkBufferSize * 2 + zip::kSinkBufferSize / 2, true);
    return expected;
}

TEST(WriteSinkWin, BytesReachTheFileThroughBothRoutesWithReadBack) {
    const std::string folder = TempFolder();
    for (bool useTemp : {false, true}) {
        SCOPED_TRACE(useTemp);
        const std::string out = folder + (useTemp ? "staged.zip" : "direct.zip");
        const std::string staging = zip::StagingFileName(folder, out);
        std::vector<uint8_t> expected;
        {
            zip::TWinSinkFile file(out, staging, gui::DriveTypeText);
            EXPECT_EQ(file.DriveType(), "Fixed");
            zip::TWriteSink sink(file);
            sink.UseTempFile = useTemp;
            sink.WriteVerify = true;
            expected = WriteThrough(sink);
        }
        EXPECT_EQ(ReadAll(out), expected);
        EXPECT_FALSE(zip::FileExists(staging));
        DeleteFileA(out.c_str());
    }
    RemoveDirectoryA(folder.c_str());
}

// Counts what the sink asks of the file: read-backs and reopenings.
class TCountingSinkFile : public zip::TWinSinkFile {
  public:
    using TWinSinkFile::TWinSinkFile;
    int readBacks = 0, reopens = 0;
    bool ReadBack(int64_t position, uint8_t* buffer, size_t count) override {
        ++readBacks;
        return TWinSinkFile::ReadBack(position, buffer, count);
    }
    void Reopen() override {
        ++reopens;
        TWinSinkFile::Reopen();
    }
};

// Past the 50,000,000-byte mark with WriteVerify on: removable and CD media are never read
// back (they may answer from a cache), but they get their pause on the program's clock before
// the file is opened again; a fixed drive is read back and reopened without a pause.
TEST(WriteSinkWin, RemovableAndCdDrivesAreNotReadBackAndPauseBeforeTheReopen) {
    struct TCase {
        unsigned type;
        const char* text;
    };
    for (const TCase& kind :
         {TCase{DRIVE_REMOVABLE, "Removable"}, TCase{DRIVE_CDROM, "CDROM"}, TCase{DRIVE_FIXED, "Fixed"}}) {
        SCOPED_TRACE(kind.text);
        wintest::TWineDrive drive(kind.type);
        ASSERT_TRUE(drive.Defined()) << "no Wine mount manager to define drives with";
        ASSERT_EQ(gui::DriveTypeText(drive.Root()), kind.text);
        gui::ManualClock clock;
        gui::SetClock(&clock);
        const std::string out = drive.Root() + "set.zip";
        std::vector<uint8_t> expected;
        int readBacks = 0, reopens = 0;
        {
            TCountingSinkFile file(out, drive.Root() + "set.tmp", gui::DriveTypeText);
            zip::TWriteSink sink(file);
            sink.WriteVerify = true;
            sink.WaitSeconds = [](int seconds) { gui::Wait(seconds * 1000, false); };
            const size_t megabytes = zip::kReopenEvery / zip::kSinkBufferSize + 1;
            for (size_t i = 0; i < megabytes; ++i) {
                std::fill(sink.StagingBuffer(), sink.StagingBuffer() + zip::kSinkBufferSize,
                          uint8_t(i * 7 + 1));
                expected.insert(expected.end(), sink.StagingBuffer(),
                                sink.StagingBuffer() + zip::kSinkBufferSize);
                sink.WriteToSink(zip::kSinkBufferSize, i + 1 == megabytes);
            }
            readBacks = file.readBacks;
            reopens = file.reopens;
            EXPECT_EQ(clock.MonotonicMs(), kind.type == DRIVE_FIXED ? 0 : 10000);
        }
        gui::SetClock(nullptr);
        const bool readBack = kind.type == DRIVE_FIXED;
        EXPECT_EQ(readBacks, readBack ? 48 : 0);
        // Every verified megabyte closes and reopens the file; the mark once more.
        EXPECT_EQ(reopens, 48 + 1);
        EXPECT_TRUE(ReadAll(out) == expected);
        DeleteFileA(out.c_str());
    }
}

TEST(WriteSinkWin, StagingFileFollowsTheTempPathRule) {
    zip::TWinExtractFileSystem files;
    zip::TUnZipper z(files);
    char buffer[MAX_PATH + 1];
    GetTempPathA(sizeof buffer, buffer);
    const std::string system = buffer;
    EXPECT_EQ(zip::StagingFileName(z.GetTempZipPath(), "E:\\Sets\\Monday.zip"), system + "Monday.tmp");
    z.TempPath = "C:\\no\\such\\folder";
    EXPECT_EQ(zip::StagingFileName(z.GetTempZipPath(), "Monday.zip"), system + "Monday.tmp");
    const std::string folder = TempFolder();
    for (const std::string& tempPath : {folder, folder.substr(0, folder.size() - 1)}) {
        z.TempPath = tempPath;
        EXPECT_EQ(zip::StagingFileName(z.GetTempZipPath(), "E:\\Sets\\Monday.zip"), folder + "Monday.tmp");
    }
    RemoveDirectoryA(folder.c_str());
}

} // namespace
