// jobdrv as a separate process on real files: an old file is mended on a resave, a locked
// job keeps all but its date, a save that cannot make its backup leaves the file alone, and
// every outcome has its output and exit code.

#include "JobTestSupport.h"
#include "WinTestSupport.h"
#include "core/LocaleWin.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

namespace {

struct DriverRun {
    std::string output;
    DWORD exitCode = 99;
};

// jobdrv with its standard output and error read through a pipe.
DriverRun Jobdrv(const std::string& arguments) {
    std::string driver = TW_JOBDRV_EXE;
    std::replace(driver.begin(), driver.end(), '/', '\\');
    std::string line = "\"Z:" + driver + "\" " + arguments;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    DriverRun run;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    const BOOL started =
        CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    char chunk[4096];
    DWORD got = 0;
    while (started && ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0)
        run.output.append(chunk, got);
    if (started) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    return run;
}

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

} // namespace

TEST(Jobdrv, ResaveMendsAnOldFileAndShowPrintsWhatItWrote) {
    TempFolder folder;
    const std::string file = folder / "Old Job.dat";
    std::vector<std::string> lines = jobtest::JobLines();
    lines[6] = "1";
    lines[7] = "5000";
    const std::string passwordLine = "#####" + core::ScrambleText(std::string(121, 'k'), core::ScrambleKey);
    lines[10] = passwordLine;
    lines.insert(lines.begin() + 29, "a line of a newer layout");
    lines.insert(lines.end() - 1, "c:\\data\\");
    WriteWholeFile(file, jobtest::JoinLines(lines, "\n"));

    const DriverRun resave = Jobdrv("resave " + Quoted(file));
    EXPECT_EQ(resave.output, "saved\n");
    EXPECT_EQ(resave.exitCode, 0u);
    const std::string written = ReadWholeFile(file);
    const std::vector<std::string> back = jobtest::SplitLines(written);
    ASSERT_EQ(back.size(), 32u) << written;
    EXPECT_EQ(back[6], "2");
    EXPECT_EQ(back[7], "4095");
    EXPECT_EQ(back[10], passwordLine);
    EXPECT_EQ(back[29], "*-Include-*");
    EXPECT_EQ(back[30], "c:\\data\\");
    EXPECT_EQ(written.find('\n'), written.find("\r\n") + 1);
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'),
              std::count(written.begin(), written.end(), '\r'));
    EXPECT_FALSE(testsupport::FileExists(file + ".~ba"));

    const DriverRun show = Jobdrv("show " + Quoted(file));
    EXPECT_EQ(show.output, written);
    EXPECT_EQ(show.exitCode, 0u);

    const DriverRun missing = Jobdrv("show " + Quoted(folder / "none.dat"));
    EXPECT_EQ(missing.output, "missing: " + folder / "none.dat" + "\n");
    EXPECT_EQ(missing.exitCode, 1u);

    lines[10] = "#####1234x";
    WriteWholeFile(file, jobtest::JoinLines(lines));
    const DriverRun damaged = Jobdrv("resave " + Quoted(file));
    EXPECT_EQ(damaged.output.rfind("error: Job file " + file + ": ", 0), 0u) << damaged.output;
    EXPECT_EQ(damaged.exitCode, 2u);
}

TEST(Jobdrv, LockedJobKeepsAllButItsDateAndAFailedBackupLeavesTheFile) {
    TempFolder folder;
    const std::string file = folder / "Locked.dat";
    const std::string stored = jobtest::JoinLines(jobtest::JobLines());
    WriteWholeFile(file, stored);
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
    const DriverRun locked = Jobdrv("resave " + Quoted(file) + " --dest z: --maxzip 100 --after 46100.75");
    EXPECT_EQ(locked.output, "saved\n");
    std::vector<std::string> expected = jobtest::JobLines();
    expected[3] = "46100.7500000000";
    EXPECT_EQ(ReadWholeFile(file), jobtest::JoinLines(expected));
    EXPECT_TRUE(GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(testsupport::FileExists(file + ".~ba"));
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A folder where the backup copy would go: the copy fails, so the file is not touched.
    WriteWholeFile(file, stored);
    ASSERT_TRUE(CreateDirectoryA((file + ".~ba").c_str(), nullptr));
    const DriverRun blocked = Jobdrv("resave " + Quoted(file) + " --dest z:");
    EXPECT_EQ(blocked.output, "log: Job file not saved: " + file + "\nnot saved\n");
    EXPECT_EQ(blocked.exitCode, 1u);
    EXPECT_EQ(ReadWholeFile(file), stored);
}

TEST(Jobdrv, ResaveOfAShorterTextLeavesNothingOfTheLongerFileBehind) {
    TempFolder folder;
    const std::string file = folder / "Shrinks.dat";
    std::vector<std::string> lines = jobtest::JobLines();
    lines[0] = "e:\\" + std::string(3000, 'd') + "|f:\\backup|";
    WriteWholeFile(file, jobtest::JoinLines(lines));
    const DriverRun resave = Jobdrv("resave " + Quoted(file) + " --dest z:");
    EXPECT_EQ(resave.output, "saved\n");
    lines[0] = "z:";
    EXPECT_EQ(ReadWholeFile(file), jobtest::JoinLines(lines));
}

// Also run under other system locales (the job tests' locale entries): the day number is
// written with the locale's decimal separator and read with either.
TEST(JobdrvLocale, DayNumberFollowsTheSystemLocale) {
    const char separator = core::SystemLocaleFormat().decimalSeparator;
    const char* underTest = std::getenv("TARNWICK_LOCALE_UNDER_TEST");
    EXPECT_EQ(separator, underTest && *underTest ? ',' : '.')
        << "the locale entries run decimal-comma locales";
    TempFolder folder;
    const std::string file = folder / "Dated.dat";
    std::vector<std::string> lines = jobtest::JobLines();
    lines[3] = separator == ',' ? "46000.25" : "46000,25";
    WriteWholeFile(file, jobtest::JoinLines(lines));
    EXPECT_EQ(jobtest::SplitLines(Jobdrv("show " + Quoted(file)).output)[3],
              std::string("46000") + separator + "2500000000");
    const DriverRun resave = Jobdrv("resave " + Quoted(file) + " --after 46100" + separator + "75");
    EXPECT_EQ(resave.output, "saved\n");
    EXPECT_EQ(jobtest::SplitLines(ReadWholeFile(file))[3], std::string("46100") + separator + "7500000000");
}
