#include "WinTestSupport.h"
#include "core/LogFile.h"
#include "gui/Application.h"
#include "gui/Clock.h"

#include <gtest/gtest.h>

using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

namespace {
class LogFileTest : public testing::Test {
  protected:
    void SetUp() override {
        gui::Application();
        gui::SetClock(&clock);
    }
    void TearDown() override {
        gui::SetClock(nullptr);
        testsupport::DrainQueue();
    }
    gui::ManualClock clock;
    TempFolder folder;
};
} // namespace

TEST_F(LogFileTest, NewFilesStartWithTheirFirstLineAndLinesAppend) {
    const std::string log = folder / "tarnwick.log";
    const std::string stamp = "06/12/2026 10:00:00";
    core::AppendLogLine(log, core::LogLine(stamp, "first", true), core::LogCreatedLine(stamp));
    core::AppendLogLine(log, core::LogLine(stamp, "plain", false), core::LogCreatedLine(stamp));
    core::AppendLogLine(log, core::LogLine("", "no date", true), core::LogCreatedLine(""));
    core::AppendLogLine(log, core::LogLine(stamp, "", false), "");
    EXPECT_EQ(ReadWholeFile(log), "06/12/2026 10:00:00 Log Created. \r\n"
                                  "06/12/2026 10:00:00 > first\r\n"
                                  "plain\r\n"
                                  "  > no date\r\n"
                                  "\r\n");
    EXPECT_EQ(core::LogCreatedLine(""), " Log Created. ");
}

TEST_F(LogFileTest, BusyFileIsRetriedOnceAfterASecond) {
    const std::string log = folder / "busy.log";
    WriteWholeFile(log, "old\r\n");
    HANDLE holder = CreateFileA(log.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    // The holder lets go while the writer waits for its retry.
    gui::Application().Post([&] { CloseHandle(holder); });
    core::AppendLogLine(log, "new", "");
    EXPECT_GE(clock.MonotonicMs(), 1000);
    EXPECT_EQ(ReadWholeFile(log), "old\r\nnew\r\n");

    holder = CreateFileA(log.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_THROW(core::AppendLogLine(log, "lost", ""), core::ELogWriteError);
    CloseHandle(holder);
    EXPECT_EQ(ReadWholeFile(log), "old\r\nnew\r\n");
}

TEST_F(LogFileTest, ArchiveTakesTheNextNumberAndRotatesWithinTheUpperHalf) {
    const std::string log = folder / "tarnwick.log";
    const std::string logFolder = folder / "Log\\";
    WriteWholeFile(log, "line\r\n");
    EXPECT_EQ(core::ArchiveProgramLog(log, logFolder, "tarnwick"), logFolder + "tarnwick_Log_001.txt");
    EXPECT_EQ(ReadWholeFile(log), "");
    EXPECT_EQ(ReadWholeFile(logFolder + "tarnwick_Log_001.txt"), "line\r\n");

    for (int number = 1; number <= 99; ++number)
        WriteWholeFile(core::ProgramLogArchiveName(logFolder, "tarnwick", number), std::to_string(number));
    WriteWholeFile(log, "full\r\n");
    EXPECT_EQ(core::ArchiveProgramLog(log, logFolder, "tarnwick"), logFolder + "tarnwick_Log_050.txt");
    EXPECT_EQ(ReadWholeFile(logFolder + "tarnwick_Log_049.txt"), "49") << "the oldest are kept";
    EXPECT_EQ(ReadWholeFile(logFolder + "tarnwick_Log_050.txt"), "full\r\n");
    EXPECT_FALSE(testsupport::FileExists(logFolder + "tarnwick_Log_051.txt"));
    EXPECT_FALSE(testsupport::FileExists(logFolder + "tarnwick_Log_099.txt"));
}

TEST_F(LogFileTest, FailedCopyKeepsTheLog) {
    const std::string log = folder / "tarnwick.log";
    WriteWholeFile(log, "precious\r\n");
    // A file where the Log folder should be: the folder cannot be made.
    WriteWholeFile(folder / "Log", "in the way");
    EXPECT_THROW(core::ArchiveProgramLog(log, folder / "Log\\", "tarnwick"), core::ELogWriteError);
    EXPECT_EQ(ReadWholeFile(log), "precious\r\n");
}
