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

TEST_F(LogFileTest, StampedEmptyTextIsAnEmptyLineAndOnlyANewFileGetsItsFirstLine) {
    EXPECT_EQ(core::LogLine("06/12/2026 10:00:00", "", true), "");
    const std::string log = folder / "tarnwick.log";
    WriteWholeFile(log, ""); // emptied by a clear or an archive
    core::AppendLogLine(log, "after clearing", core::LogCreatedLine("06/12/2026 10:00:00"));
    EXPECT_EQ(ReadWholeFile(log), "after clearing\r\n");
}

namespace {
class LogFilesTest : public LogFileTest {
  protected:
    std::string fallback = folder / "tarnwick.log";
    core::TLogFiles logs{fallback, [] { return std::string("06/12/2026 10:00:00"); }};
};
} // namespace

TEST_F(LogFilesTest, HeldFilesStayOpenReadableAndWrittenPerLineUntilReleased) {
    const std::string job = folder / "job_100.txt";
    logs.Hold();
    EXPECT_EQ(logs.Write(job, {"one"}, "created"), core::LogWritten::Own);
    // Another reader sees each line at once while the writer keeps the file.
    EXPECT_EQ(ReadWholeFile(job), "created\r\none\r\n");
    HANDLE other = CreateFileA(job.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(other, INVALID_HANDLE_VALUE) << "open for the run";
    EXPECT_EQ(logs.Write(job, {"two", "three"}, "created"), core::LogWritten::Own);
    EXPECT_EQ(ReadWholeFile(job), "created\r\none\r\ntwo\r\nthree\r\n");
    logs.Hold(); // a restore during the job
    logs.Release();
    EXPECT_TRUE(logs.Held()) << "the job still runs";
    logs.Release();
    other = CreateFileA(job.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(other, INVALID_HANDLE_VALUE) << "closed at the end of the run";
    CloseHandle(other);
    EXPECT_EQ(logs.Write(job, {"idle"}, "created"), core::LogWritten::Own);
    other = CreateFileA(job.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(other, INVALID_HANDLE_VALUE) << "idle lines close their file";
    CloseHandle(other);
}

TEST_F(LogFilesTest, UnwritableFileSendsItsLinesToTheFallbackWithTheReasonOnce) {
    WriteWholeFile(folder / "Log", "a file where the folder should be");
    const std::string job = folder / "Log\\job_100.txt";
    EXPECT_EQ(logs.Write(job, {"first"}, "created"), core::LogWritten::Fallback);
    const int64_t waited = clock.MonotonicMs();
    EXPECT_GE(waited, 1000) << "one retry";
    EXPECT_EQ(logs.Write(job, {"second"}, "created"), core::LogWritten::Fallback);
    EXPECT_EQ(clock.MonotonicMs(), waited) << "a file known to fail is not waited for again";
    EXPECT_EQ(logs.Write(job, {"mirrored"}, "created", false), core::LogWritten::Dropped);
    const std::string text = ReadWholeFile(fallback);
    EXPECT_EQ(text.substr(0, text.find("Cannot write to ")),
              "06/12/2026 10:00:00 Log Created. \r\n06/12/2026 10:00:00 > ");
    EXPECT_NE(text.find("Cannot write to " + job + ": "), std::string::npos);
    EXPECT_TRUE(text.ends_with("\r\nfirst\r\nsecond\r\n")) << text;
    EXPECT_EQ(text.find("Cannot write", text.find("Cannot write") + 1), std::string::npos);

    // The fallback itself unwritable: lines are dropped, nothing is thrown.
    HANDLE holder = CreateFileA(fallback.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(logs.Write(job, {"lost"}, "created"), core::LogWritten::Dropped);
    EXPECT_EQ(logs.Write(fallback, {"lost too"}, "created"), core::LogWritten::Dropped);
    CloseHandle(holder);
    EXPECT_EQ(ReadWholeFile(fallback), text);
}
