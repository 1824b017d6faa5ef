// The Windows side of the script runs of the program: drive letters over Unix folders (the
// Linux side makes the media), and the answer to a box the program shows.
//   scriptdrv drive TYPE UNIXFOLDER      a free letter between M: and Y: of that type over the
//                                        folder; prints "letter X"
//   scriptdrv insert X TYPE UNIXFOLDER   another folder in drive X (a medium swapped)
//   scriptdrv remove X                   the letter goes
//   scriptdrv windows                    lists the top-level windows (class, title, shown,
//                                        program), for a script that waits in vain
//   scriptdrv box PROGRAM BUTTON MS      waits up to MS for a box of the program file PROGRAM
//                                        (full Windows path), prints "box: " and its text and
//                                        clicks BUTTON (ok, cancel, yes, no; none: only
//                                        looks); "none" when no box came
// TYPE is removable, cdrom or fixed. Results go to standard output: a Wine process's exit code
// does not always reach the script.
#include "WineDriveWinSupport.h"

#include <windows.h>

#include <psapi.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

unsigned DriveTypeNamed(const std::string& name) {
    if (name == "removable") return DRIVE_REMOVABLE;
    if (name == "cdrom") return DRIVE_CDROM;
    if (name == "fixed") return DRIVE_FIXED;
    return 0;
}

int ButtonNamed(const std::string& name) {
    if (name == "ok") return IDOK;
    if (name == "cancel") return IDCANCEL;
    if (name == "yes") return IDYES;
    if (name == "no") return IDNO;
    return 0;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string ProgramOf(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (process == nullptr) return {};
    char name[MAX_PATH * 2] = {};
    const DWORD length = GetModuleFileNameExA(process, nullptr, name, sizeof name);
    CloseHandle(process);
    return std::string(name, length);
}

struct BoxSearch {
    std::string program;
    HWND box = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<BoxSearch*>(data);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    if (Lower(ProgramOf(window)) != Lower(search.program)) return TRUE;
    search.box = window;
    return FALSE;
}

BOOL CALLBACK CollectText(HWND child, LPARAM data) {
    char className[64] = {};
    GetClassNameA(child, className, sizeof className);
    if (std::strcmp(className, "Static") != 0) return TRUE;
    char text[4096] = {};
    GetWindowTextA(child, text, sizeof text);
    auto& all = *reinterpret_cast<std::string*>(data);
    if (text[0] != 0) all += (all.empty() ? "" : " ") + std::string(text);
    return TRUE;
}

int Box(const std::string& program, const std::string& buttonName, int milliseconds) {
    const int button = ButtonNamed(buttonName);
    if (button == 0 && buttonName != "none") return 2;
    for (int waited = 0; waited <= milliseconds; waited += 100) {
        BoxSearch search{program};
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        const HWND control = search.box && button ? GetDlgItem(search.box, button) : nullptr;
        if (search.box && (control || !button)) {
            std::string text;
            EnumChildWindows(search.box, CollectText, reinterpret_cast<LPARAM>(&text));
            for (char& c : text)
                if (c == '\r' || c == '\n') c = ' ';
            std::printf("box: %s\n", text.c_str());
            std::fflush(stdout);
            if (control) PostMessageA(control, BM_CLICK, 0, 0);
            return 0;
        }
        Sleep(100);
    }
    std::printf("none\n");
    return 1;
}

BOOL CALLBACK ListWindow(HWND window, LPARAM) {
    char className[64] = {}, title[256] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    std::printf("%s\t%s\t%d\t%s\n", className, title, IsWindowVisible(window) ? 1 : 0,
                ProgramOf(window).c_str());
    return TRUE;
}

// A letter of its own among M: to Y:, so that script runs side by side do not meet.
int Drive(unsigned type, const std::string& folder) {
    constexpr int letters = 'Y' - 'M' + 1;
    const int start = static_cast<int>(GetCurrentProcessId() % letters);
    for (int i = 0; i < letters; ++i) {
        const char letter = static_cast<char>('M' + (start + i) % letters);
        const std::string root = std::string(1, letter) + ":\\";
        if (GetDriveTypeA(root.c_str()) != DRIVE_NO_ROOT_DIR) continue;
        if (wintest::DefineUnixDrive(letter, folder, type)) {
            std::printf("letter %c\n", letter);
            return 0;
        }
    }
    std::printf("no letter\n");
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "drive" && argc == 4 && DriveTypeNamed(argv[2]) != 0)
        return Drive(DriveTypeNamed(argv[2]), argv[3]);
    if (command == "insert" && argc == 5 && DriveTypeNamed(argv[3]) != 0) {
        const bool ok = wintest::DefineUnixDrive(argv[2][0], argv[4], DriveTypeNamed(argv[3]));
        std::printf(ok ? "ok\n" : "failed\n");
        return ok ? 0 : 1;
    }
    if (command == "remove" && argc == 3) {
        wintest::DefineUnixDrive(argv[2][0], "", 0);
        std::printf("ok\n");
        return 0;
    }
    if (command == "windows") return EnumWindows(ListWindow, 0) ? 0 : 1;
    if (command == "box" && argc == 5) return Box(argv[2], argv[3], std::atoi(argv[4]));
    std::fprintf(stderr, "usage: scriptdrv drive|insert|remove|box ...\n");
    return 2;
}
