// The registry hives (and on request the whole system state) of an NT-family system, saved by
// the system's own tools so that they can be zipped: NTBACKUP on Windows 2000 and later,
// rdisk with EXPAND on NT 4. The tools run as separate processes; their end is judged only by
// the dates of the files they write and by whether the system-state file can be opened.
#include "core/DateText.h"
#include "gui/Shell.h"
#include "job/DirectoryListerWin.h"
#include "job/JobItems.h"
#include "job/JobPump.h"

#include <windows.h>

namespace job {

namespace {

constexpr int pollRounds = 100;
constexpr int expandRounds = 10;
constexpr int pollWaitMs = 5000;
constexpr char stateFile[] = "syssta.bkf";
const char* const hiveNames[] = {"system", "software", "security", "sam", "default"};

std::optional<gui::DateTime> LastWriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    FILETIME local;
    SYSTEMTIME time;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &time))
        return std::nullopt;
    return core::EncodeDateTime(
        {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond, time.wMilliseconds});
}

bool OpensForReading(const std::string& path) {
    const HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

} // namespace

bool JobItems::Newer(const std::string& path) const {
    const auto written = LastWriteTime(path);
    return written && *written > run_.JobStartTime;
}

void JobItems::WaitCancellable(int milliseconds) {
    constexpr int step = 250;
    while (milliseconds > 0 && !host_.Cancelled()) {
        const int now = std::min(milliseconds, step);
        host_.Wait(now);
        milliseconds -= now;
    }
}

// Logged always; a box only for someone at the screen, so an unattended job never stops at one.
void JobItems::ReportBackupFailure(const std::string& text) {
    host_.AddToLog(text);
    if (!host_.Hidden()) host_.ShowWarning(text);
}

void JobItems::SystemStateBackup() {
    if (host_.Cancelled()) return;
    WaitCancellable(2000);
    const bool nt4 = place_.Version.major < 5;
    const std::string repair = place_.WindowsFolder + "\\repair\\";
    const std::string regback = repair + "regback\\";
    const std::string stateCopy = run_.TempPath + stateFile;

    const bool started =
        nt4 ? gui::Shell().Open("rdisk.exe", "/s-")
            : gui::Shell().StartHidden("NTBACKUP.EXE", "backup systemstate /F \"" + stateCopy + "\"",
                                       std::string{});
    if (!started) {
        ReportBackupFailure(
            nt4 ? "Rdisk failed, check if rdisk.exe is installed."
                : "NTBackup failed, check if NTBackup.exe is installed. If this is a XP Home "
                  "version you can find it on the Windows XP CD under \\VALUEADD\\MSFT\\NTBACKUP "
                  "directory.");
        return;
    }
    WaitCancellable(30000);

    // The tool writes its copies into one of two folders; which one shows only once it has
    // begun, so every poll looks again.
    const auto awaited = [&] {
        std::vector<std::string> files;
        if (nt4) {
            for (const char* name :
                 {"ntuser.da_", "default._", "software._", "system._", "security._", "sam._"})
                files.push_back(repair + name);
        } else {
            const std::string hives = lister_.FileExists(regback + "system") ? regback : repair;
            for (const char* name : hiveNames)
                files.push_back(hives + name);
            files.push_back(stateCopy);
        }
        return files;
    };
    const auto allNewer = [&](const std::vector<std::string>& files) {
        for (const std::string& file : files)
            if (!Newer(file)) return false;
        return true;
    };
    for (int round = 1; round <= pollRounds && !host_.Cancelled(); ++round) {
        const std::string waiting = "Waiting for registry files to be finished.  -  " + std::to_string(round);
        if (allNewer(awaited())) {
            if (nt4) break;
            WaitCancellable(pollWaitMs);
            host_.SetStatusText(waiting);
            if (OpensForReading(stateCopy)) break;
        } else {
            WaitCancellable(pollWaitMs);
            host_.SetStatusText(waiting);
        }
    }

    if (nt4) {
        const char* const compressed[][2] = {{"DEFAULT._", "DEFAULT"},   {"SAM._", "SAM"},
                                             {"SECURITY._", "SECURITY"}, {"SOFTWARE._", "SOFTWARE"},
                                             {"SYSTEM._", "SYSTEM"},     {"NTUSER.DA_", "NTUSER.DAT"}};
        std::vector<std::string> expanded;
        for (const char* name : {"system", "software", "security", "sam", "default", "ntuser.dat"})
            expanded.push_back(regback + name);
        const std::string upperRepair = place_.WindowsFolder + "\\REPAIR\\";
        for (int round = 0; round < expandRounds && !host_.Cancelled(); ++round) {
            CreateDirectoryW(WidePath(regback).c_str(), nullptr);
            for (const auto& pair : compressed)
                gui::Shell().Open("EXPAND",
                                  upperRepair + pair[0] + " " + upperRepair + "REGBACK\\" + pair[1]);
            if (allNewer(expanded)) break;
            WaitCancellable(pollWaitMs);
        }
    }
    WaitCancellable(10000);
    PumpAfterLongStep(host_);
    if (host_.Cancelled()) return;

    if (nt4) {
        // Stale copies are reported and still listed, as on the later systems.
        const std::string notCreated = "Registry backup files not created, check if rdisk.exe is installed.";
        if (!lister_.FileExists(regback + "system")) {
            ReportBackupFailure(notCreated);
        } else {
            if (!Newer(regback + "system")) ReportBackupFailure(notCreated);
            scan_.ScanItem(regback + "*.*");
        }
        scan_.DrainQueue();
    } else {
        const std::string notCreated =
            "Registry backup files not created, check if NTBackup.exe is installed.";
        std::string hives;
        if (lister_.FileExists(regback + "system"))
            hives = place_.WindowsFolder + "\\repair\\RegBack\\";
        else if (lister_.FileExists(repair + "system"))
            hives = repair;
        if (hives.empty()) {
            ReportBackupFailure(notCreated);
        } else {
            if (!Newer(hives + "system")) ReportBackupFailure(notCreated);
            if (run_.DoIncludeSysState)
                scan_.ScanItem(stateCopy);
            else
                DeleteFileW(WidePath(stateCopy).c_str());
            scan_.ScanItem(hives + "*.*");
        }
        scan_.DrainQueue();
    }
    if (!host_.Hidden()) {
        host_.SetStatusText("Files to backup: " + std::to_string(run_.FilesToBak));
        host_.SetTotalText(scan_.TotalStatus());
    }
}

} // namespace job
