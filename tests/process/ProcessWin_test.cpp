// The real program file, started as separate processes from scratch folders.
#include "WinTestSupport.h"
#include "core/Switches.h"

#include <gtest/gtest.h>

#include <vector>

using testsupport::TempFolder;

namespace {

constexpr DWORD patienceMs = 30'000;

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
