#pragma once
// What the Windows tests of the selection share: a host that records what the engine
// reports (a posted cancel when a chosen status text shows), trees on disk with chosen sizes
// and dates, a lister overlaying in-memory archive bits (Wine keeps no cleared bit), and a
// shell that really starts the tool stand-ins and waits for them, so a manual clock cannot
// outrun them.

#include "WinTestSupport.h"
#include "core/LogFile.h"
#include "gui/Application.h"
#include "gui/Clock.h"
#include "gui/FileAttributes.h"
#include "gui/Shell.h"
#include "gui/Wait.h"
#include "job/DirectoryListerWin.h"
#include "job/WindowlessHost.h"
#include "zip/ZipLib.h"

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

class RecordingHost : public job::WindowlessHost {
  public:
    explicit RecordingHost(gui::ManualClock& clock) : clock_(clock) {}
    std::vector<std::string> log, jobLog, boxes;
    std::string status, total, attributeList;
    bool cancelled = false, hidden = true;
    int waitedMs = 0;
    std::vector<std::string> totals; // every megabyte total shown
    // A cancel posted when a status text starting so shows; the next pump delivers it.
    std::string cancelOnStatus;
    std::function<void(const std::string&)> onStatus;

    void AddToLog(const std::string& text) override { log.push_back(text); }
    void Wait(int milliseconds) override {
        waitedMs += milliseconds;
        clock_.Advance(milliseconds);
        gui::ProcessMessages();
    }
    void AddToJobLog(const std::string& text, bool) override { jobLog.push_back(text); }
    void SetStatusText(const std::string& text) override {
        status = text;
        if (onStatus) onStatus(text);
        if (!cancelOnStatus.empty() && text.rfind(cancelOnStatus, 0) == 0) {
            cancelOnStatus.clear();
            gui::TApplication::Instance().Post([this] { cancelled = true; });
        }
    }
    void SetTotalText(const std::string& text) override {
        total = text;
        totals.push_back(text);
    }
    void Pump() override { gui::ProcessMessages(); }
    void PumpIfDue() override { gui::PumpIfDue(20); }
    bool Cancelled() override { return cancelled; }
    void SetCancelled(bool value) override { cancelled = value; }
    bool Hidden() override { return hidden; }
    void ShowMessage(const std::string& text, gui::TMsgIcon) override { boxes.push_back(text); }
    void FlushAttributeList() override {
        if (!attributeList.empty()) core::AppendLines(attributeList, ArchiveBitPending(), "");
        ArchiveBitPending().clear();
    }
    bool Logged(const std::string& text) const {
        return std::find(log.begin(), log.end(), text) != log.end() ||
               std::find(jobLog.begin(), jobLog.end(), text) != jobLog.end();
    }

  private:
    gui::ManualClock& clock_;
};

inline std::wstring Wide(const std::string& text) {
    return job::WidePath(text);
}

// A file of the given size, last written at the given local DOS date-time (0: now).
inline void MakeFile(const std::wstring& path, size_t size, uint32_t dosDateTime = 0) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string bytes(size, 'x');
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(size), &written, nullptr);
    if (dosDateTime != 0) {
        FILETIME local, utc;
        DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16), static_cast<WORD>(dosDateTime), &local);
        LocalFileTimeToFileTime(&local, &utc);
        SetFileTime(file, nullptr, nullptr, &utc);
    }
    CloseHandle(file);
}
inline void MakeFile(const std::string& path, size_t size, uint32_t dosDateTime = 0) {
    MakeFile(Wide(path), size, dosDateTime);
}
inline void MakeFolder(const std::string& path) {
    CreateDirectoryW(Wide(path).c_str(), nullptr);
}

// The system's listing with the archive bits of an in-memory table (paths absent from it
// keep what the system says).
class ArchiveBitLister : public job::DirectoryLister {
  public:
    gui::MemoryFileAttributes bits;
    void List(const std::string& pattern, std::vector<job::DirEntry>& entries) override {
        system_.List(pattern, entries);
        const std::string folder(job::FolderPart(pattern));
        for (job::DirEntry& entry : entries) {
            const uint32_t known = bits.Get(folder + entry.Name);
            if (known != gui::InvalidFileAttributes) entry.Attributes = known;
        }
    }
    bool FileExists(const std::string& path) override { return system_.FileExists(path); }
    bool DirectoryExists(const std::string& path) override { return system_.DirectoryExists(path); }

  private:
    job::SystemDirectoryLister system_;
};

// Starts programs found where the system would find them (the test's own folder first) and
// waits for them; a program that cannot be found fails as the system's shell does. Every start
// is kept with its parameters and the program's exit code, so a test sees a command line the
// tool refused.
class WaitingShell : public gui::TShell {
  public:
    struct Call {
        std::string Program, Parameters;
        DWORD ExitCode = 0;
    };
    std::vector<std::string> started;
    std::vector<Call> calls;
    std::vector<std::string> missing; // programs that are "not installed"
    bool Open(const std::string& target, const std::string& parameters, const std::string& folder) override {
        return Start(target, parameters);
    }
    bool StartHidden(const std::string& program, const std::string& parameters, const std::string&) override {
        return Start(program, parameters);
    }
    bool Help(void*, const std::string&, unsigned, uintptr_t) override { return false; }

  private:
    bool Start(const std::string& program, const std::string& parameters) {
        if (std::find(missing.begin(), missing.end(), program) != missing.end()) return false;
        char found[MAX_PATH];
        if (!SearchPathA(nullptr, program.c_str(), ".exe", MAX_PATH, found, nullptr)) return false;
        std::string command = "\"" + std::string(found) + "\" " + parameters;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(found, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process))
            return false;
        Call call{program, parameters, STILL_ACTIVE};
        if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &call.ExitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        started.push_back(program);
        calls.push_back(call);
        return true;
    }
};

} // namespace testsupport
