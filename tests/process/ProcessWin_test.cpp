// The real program file, started as separate processes from scratch folders.
#include "WinTestSupport.h"
#include "WineDriveWinSupport.h"
#include "core/DateText.h"
#include "core/Switches.h"
#include "job/JobFile.h"

#include <gtest/gtest.h>

#include <vector>

using testsupport::TempFolder;

namespace {

// How long another process may take: generous, as a Wine process on a loaded two-core machine
// can start and end many times slower than alone. Only a hung process waits it out.
constexpr DWORD patienceMs = 120'000;

// The build folder's program, as a Windows path (Wine maps the Unix root to Z:).
std::string BuiltProgram() {
    std::string path = TW_PROGRAM_FILE;
    if (!path.empty() && path[0] == '/') {
        for (char& c : path)
            if (c == '/') c = '\\';
        path = "Z:" + path;
    }
    return path;
}

std::string CopyProgramInto(const TempFolder& folder) {
    const std::string target = folder / "tarnwick.exe";
    EXPECT_TRUE(CopyFileA(BuiltProgram().c_str(), target.c_str(), FALSE)) << GetLastError();
    return target;
}

class Process {
  public:
    Process(const std::string& program, const std::string& arguments = "") {
        std::string commandLine = "\"" + program + "\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        created_ = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &info_);
    }
    ~Process() {
        if (!created_) return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 99);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    bool Created() const { return created_; }
    DWORD Id() const { return info_.dwProcessId; }
    // The exit code, or STILL_ACTIVE when it did not end in time.
    DWORD WaitForExit(DWORD milliseconds = patienceMs) {
        WaitForSingleObject(info_.hProcess, milliseconds);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

  private:
    PROCESS_INFORMATION info_{};
    bool created_ = false;
};

struct WindowSearch {
    DWORD processId;
    const char* className;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (owner != search->processId || lstrcmpA(name, search->className) != 0) return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindWindowOf(DWORD processId, const char* className) {
    WindowSearch search{processId, className, nullptr};
    EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Polls a condition about another process; other processes cannot be put on our clock.
template <typename Condition> bool Eventually(Condition condition) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < patienceMs) {
        if (condition()) return true;
        Sleep(20);
    }
    return condition();
}

HWND MainWindowOf(const Process& process) {
    HWND window = nullptr;
    Eventually(
        [&] { return (window = FindWindowOf(process.Id(), "TMF")) != nullptr && IsWindowVisible(window); });
    return window;
}

void AskToClose(const std::string& program, const Process& process) {
    const UINT message = RegisterWindowMessageA(core::InstanceName(program).c_str());
    HWND application = FindWindowOf(process.Id(), "TApplication");
    ASSERT_NE(application, nullptr);
    ASSERT_TRUE(PostMessageA(application, message, 16, 0));
}

} // namespace

TEST(ProgramProcess, CopiesInTwoFoldersRunSideBySide) {
    const testsupport::KeptRunValue runValue;
    TempFolder one, two;
    const std::string first = CopyProgramInto(one), second = CopyProgramInto(two);
    Process a(first), b(second);
    ASSERT_TRUE(a.Created() && b.Created());
    EXPECT_NE(MainWindowOf(a), nullptr);
    EXPECT_NE(MainWindowOf(b), nullptr);
    AskToClose(first, a);
    AskToClose(second, b);
    EXPECT_EQ(a.WaitForExit(), 0u);
    EXPECT_EQ(b.WaitForExit(), 0u);
}

TEST(ProgramProcess, SecondStartBringsTheFirstBackAndEnds) {
    const testsupport::KeptRunValue runValue;
    TempFolder folder;
    const std::string program = CopyProgramInto(folder);
    Process first(program);
    HWND mainWindow = MainWindowOf(first);
    ASSERT_NE(mainWindow, nullptr);
    HWND application = FindWindowOf(first.Id(), "TApplication");
    ASSERT_NE(application, nullptr);

    PostMessageA(mainWindow, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(Eventually([&] { return IsIconic(application) && !IsWindowVisible(mainWindow); }));

    Process second(program, "/H");
    ASSERT_TRUE(second.Created());
    bool secondShowedAWindow = false;
    const DWORD exitCode = [&] {
        for (;;) {
            if (FindWindowOf(second.Id(), "TMF")) secondShowedAWindow = true;
            const DWORD code = second.WaitForExit(20);
            if (code != STILL_ACTIVE) return code;
        }
    }();
    EXPECT_EQ(exitCode, 0u);
    EXPECT_FALSE(secondShowedAWindow);

    EXPECT_TRUE(Eventually([&] {
        return !IsIconic(application) && IsWindowVisible(mainWindow) && GetForegroundWindow() == mainWindow;
    })) << "iconic="
        << IsIconic(application) << " visible=" << IsWindowVisible(mainWindow);

    AskToClose(program, first);
    EXPECT_EQ(first.WaitForExit(), 0u);
    EXPECT_NE(testsupport::ReadWholeFile(folder / "tarnwick.ini").find("Crashed=0"), std::string::npos);
}

// --- The start-up sequence of a real program file: its state, the drive cache, the programs
// started after start-up. ---

namespace {

std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') {
        for (char& c : path)
            if (c == '/') c = '\\';
        path = "Z:" + path;
    }
    return path;
}

// Runs a program to its end and returns what it wrote to standard output (through a file,
// which the child cannot keep open past its end).
std::string OutputOf(const std::string& program, const std::string& arguments,
                     const std::string& outputFile) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE output =
        CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    if (output == INVALID_HANDLE_VALUE) return {};
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + program + "\" " + arguments;
    if (CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &info)) {
        WaitForSingleObject(info.hProcess, patienceMs);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    CloseHandle(output);
    return testsupport::ReadWholeFile(outputFile);
}

std::string IniValue(const std::string& file, const char* section, const char* key) {
    char value[1024] = {};
    GetPrivateProfileStringA(section, key, "<none>", value, sizeof value, file.c_str());
    return value;
}

// Commands the drive took whose operation code is the given byte: "<seq> <h:t:l> <op> ...".
int LoggedCommands(const std::string& log, const std::string& opcode) {
    int count = 0;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(start, end - start);
        const size_t first = line.find(' '),
                     second = first == std::string::npos ? first : line.find(' ', first + 1);
        if (second != std::string::npos && line.compare(second + 1, opcode.size() + 1, opcode + " ") == 0)
            ++count;
        start = end + 1;
    }
    return count;
}

// The local day as a day number (days since 30 December 1899), as the program counts days.
int Today() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return static_cast<int>(core::EncodeDateTime({now.wYear, now.wMonth, now.wDay, 0, 0, 0, 0}));
}

} // namespace

TEST(ProgramProcess, HiddenStartProbesTheDrivesOnceAndLeavesItsState) {
    const testsupport::KeptRunValue runValue;
    TempFolder folder;
    const std::string program = CopyProgramInto(folder);
    ASSERT_TRUE(CopyFileA(WindowsPath(TW_SIMDRIVE_DLL).c_str(), (folder / "WNASPI32.DLL").c_str(), FALSE));
    // The simulated writer's letter is a CD drive of the system, as a real writer's is: the
    // drive cache holds only while its letters are.
    wintest::TWineDrive cdDrive(DRIVE_CDROM);
    ASSERT_TRUE(cdDrive.Defined());
    const std::string letter = cdDrive.Root().substr(0, 1);
    testsupport::WriteWholeFile(
        folder / "simdrive.ini",
        "[Bus]\r\nCompletion=sync\r\nLog=sim.log\r\n[Drive0]\r\nAddress=0:0:0\r\nLetter=" + letter +
            "\r\n"
            "Vendor=SIMVEND\r\nProduct=SIM WRITER\r\nRevision=1.00\r\nWrites=CD-R,CD-RW\r\nDisc=d0\r\n"
            "[Disc:d0]\r\nMedia=CD-R\r\nImage=d0.img\r\n");
    // A copy of its own: the marker writes beside itself, and other tests start the build's.
    const std::string marker = folder / "marker.exe";
    ASSERT_TRUE(CopyFileA(WindowsPath(TW_CMDMARKER_EXE).c_str(), marker.c_str(), FALSE));
    const std::string markerLog = folder / "cmdmarker.txt";
    const std::string ini = folder / "tarnwick.ini";
    // Per-user data off: the user file is the program-folder file, not one shared by every test.
    testsupport::WriteWholeFile(ini,
                                "[Settings]\r\nUseUserData2kXP=0\r\nUseUserData=0\r\n"
                                "[JobOnStart]\r\nJobName=weekly.dat\r\n[ExecuteAfterJobOnStart]\r\n1=\"" +
                                    marker + "\" /x \"two words\"\r\n");
    SetEnvironmentVariableA("SIMDRIVE_INI", (folder / "simdrive.ini").c_str());
    const std::string scan = OutputOf(WindowsPath(TW_DISCDRV_EXE), "scan", folder / "scan.txt");
    SetEnvironmentVariableA("SIMDRIVE_INI", nullptr);
    const std::string firstDrive = scan.substr(0, scan.find_first_of("\r\n"));
    ASSERT_FALSE(firstDrive.empty()) << scan;
    const int probesByScan = LoggedCommands(testsupport::ReadWholeFile(folder / "sim.log"), "5a");

    const int startDay = Today();
    auto startedUp = [&] {
        return testsupport::FileExists(markerLog) && IniValue(ini, "Settings", "Crashed") == "0";
    };
    {
        Process first(program, "/H");
        ASSERT_TRUE(first.Created());
        ASSERT_TRUE(Eventually(startedUp));
        EXPECT_EQ(IniValue(ini, "Devices", "0"), firstDrive + "1.0.0.0");
        EXPECT_EQ(IniValue(ini, "Devices", "CDDriveList"), letter);
        EXPECT_EQ(IniValue(ini, "DeviceCap0", "9"), "1") << "the simulated drive writes CD-R";
        EXPECT_EQ(IniValue(ini, "JobOnStart", "DaysCount"), "1");
        // Today's day number (the day the start began, should midnight pass meanwhile).
        const std::string lastDate = IniValue(ini, "JobOnStart", "LastDate");
        EXPECT_TRUE(lastDate == std::to_string(startDay) || lastDate == std::to_string(Today())) << lastDate;
        EXPECT_EQ(IniValue(ini, "JobOnStart", "MaxDays"), "10");
        EXPECT_EQ(testsupport::RunValue(), "\"" + program + "\" /A");
        EXPECT_NE(testsupport::ReadWholeFile(markerLog).find("/x \"two words\""), std::string::npos);
        AskToClose(program, first);
        EXPECT_EQ(first.WaitForExit(), 0u);
    }
    const int probesByFirstStart = LoggedCommands(testsupport::ReadWholeFile(folder / "sim.log"), "5a");
    EXPECT_GT(probesByFirstStart, probesByScan);

    DeleteFileA(markerLog.c_str());
    Process second(program, "/H");
    ASSERT_TRUE(Eventually(startedUp));
    AskToClose(program, second);
    EXPECT_EQ(second.WaitForExit(), 0u);
    EXPECT_EQ(LoggedCommands(testsupport::ReadWholeFile(folder / "sim.log"), "5a"), probesByFirstStart)
        << "the second start reads the cache";
    EXPECT_EQ(IniValue(ini, "JobOnStart", "DaysCount"), "1") << "one day counts once";
}

// --- A job named on the command line of a hidden start: it runs and the program ends. ---

namespace {

// The job file's text, as the job store writes it.
std::string JobFileText(const std::string& destination, const std::string& include,
                        const std::string& marker) {
    job::JobDefinition job;
    job.Destination = destination;
    job.IncludeList = {include};
    job.PreRunFile = "\"" + marker + "\" /pre";
    job.PreWait = 1;
    job.PostRunFile = "\"" + marker + "\" /post";
    job.PostWait = 1;
    return job::WriteJobText(job, {});
}

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

} // namespace

TEST(ProgramProcess, AHiddenStartWithAJobRunsItWithItsProgramsAndEndsWhetherTheDestinationIsThereOrNot) {
    const testsupport::KeptRunValue runValue;
    TempFolder folder;
    const std::string program = CopyProgramInto(folder);
    const std::string marker = folder / "marker.exe";
    ASSERT_TRUE(CopyFileA(WindowsPath(TW_CMDMARKER_EXE).c_str(), marker.c_str(), FALSE));
    const std::string markerLog = folder / "cmdmarker.txt";
    const auto settings = [&](const std::string& lastState) {
        testsupport::WriteWholeFile(folder / "tarnwick.ini",
                                    "[Settings]\r\nUseUserData2kXP=0\r\nUseUserData=0\r\n" + lastState);
    };
    // A program that ran before and closed in the usual way.
    settings("[LastState]\r\ndefault=1\r\n");
    CreateDirectoryA((folder / "source").c_str(), nullptr);
    testsupport::WriteWholeFile(folder / "source\\a.txt", "some bytes");

    // A folder: the program before the job, its wait, the selection, the end with the program
    // after the job; the program then ends by itself.
    testsupport::WriteWholeFile(folder / "X.dat", JobFileText(folder / "dest", folder / "source\\", marker));
    {
        Process run(program, "/H /=" + folder / "X.dat");
        ASSERT_TRUE(run.Created());
        EXPECT_EQ(run.WaitForExit(), 0u) << "an unattended run closes the program after its job\n"
                                         << testsupport::ReadWholeFile(folder / "tarnwick.log");
    }
    std::string marks = testsupport::ReadWholeFile(markerLog);
    EXPECT_EQ(Count(marks, "/pre"), 1) << marks;
    EXPECT_EQ(Count(marks, "/post"), 1) << marks;
    EXPECT_LT(marks.find("/pre"), marks.find("/post"));
    std::string log = testsupport::ReadWholeFile(folder / "tarnwick.log");
    EXPECT_NE(log.find("Backup started: "), std::string::npos) << log;
    EXPECT_NE(log.find("Bytes to backup: 10"), std::string::npos) << log;
    EXPECT_TRUE(testsupport::FileExists(folder / "Log\\X_100.txt"));

    // A destination that is not there: its line, no program before the job, the one after it.
    char letter = 0;
    for (char candidate = 'Y'; candidate >= 'M' && !letter; --candidate) {
        const char root[] = {candidate, ':', '\\', 0};
        if (GetDriveTypeA(root) == DRIVE_NO_ROOT_DIR) letter = candidate;
    }
    ASSERT_NE(letter, 0);
    const std::string missing = std::string(1, letter) + ":\\Backup";
    DeleteFileA(markerLog.c_str());
    settings(""); // and no saved window state to keep it hidden
    testsupport::WriteWholeFile(folder / "X.dat", JobFileText(missing, folder / "source\\", marker));
    {
        Process run(program, "/H /=" + folder / "X.dat");
        ASSERT_TRUE(run.Created());
        EXPECT_EQ(run.WaitForExit(), 0u);
    }
    marks = testsupport::ReadWholeFile(markerLog);
    EXPECT_EQ(Count(marks, "/pre"), 0) << marks;
    EXPECT_EQ(Count(marks, "/post"), 1) << marks;
    log = testsupport::ReadWholeFile(folder / "tarnwick.log");
    EXPECT_NE(log.find("Job cancelled, destination is not ready: " + missing), std::string::npos) << log;
}
