#pragma once
// Job files for the tests: a complete file as the program writes it, and a file system in
// memory whose copies and writes fail on request.

#include "core/Scramble.h"
#include "job/JobFile.h"
#include "job/JobStore.h"
#include "job/WindowlessHost.h"

#include <cctype>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace jobtest {

inline constexpr gui::DateTime now = 46123.25;

inline core::LocaleFormat CommaLocale() {
    core::LocaleFormat locale;
    locale.shortDateFormat = "dd.MM.yyyy";
    locale.dateSeparator = '.';
    locale.longTimeFormat = "HH:mm:ss";
    locale.decimalSeparator = ',';
    return locale;
}

inline job::JobTextContext Context(const core::LocaleFormat& locale = {}) {
    return job::JobTextContext{locale, now};
}

// Every line of a job with its options set one way or the other, no items.
inline std::vector<std::string> JobLines(const core::LocaleFormat& locale = {}) {
    std::string day = "46000.5000000000";
    day[5] = locale.decimalSeparator;
    return {"e:|f:\\backup|",
            "1",
            "0",
            day,
            "1",
            "Backup-#",
            "6",
            "650",
            "0",
            "1",
            "#####" + core::ScrambleText("secret", core::ScrambleKey),
            "1",
            "0",
            "1",
            "0",
            "1",
            "1",
            "0",
            "1",
            "0",
            "1",
            "0",
            "Main|Other",
            "1",
            "1",
            "15",
            "c:\\pre.bat",
            "3",
            "c:\\post.bat",
            job::IncludeMarker,
            job::ExcludeMarker};
}

inline std::string JoinLines(const std::vector<std::string>& lines, const std::string& end = "\r\n") {
    std::string text;
    for (const std::string& line : lines)
        text += line + end;
    return text;
}

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 2) {
        end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
    }
    return lines;
}

inline job::JobDefinition Read(const std::vector<std::string>& lines, job::JobDefinition job = {}) {
    job::ReadJobText(JoinLines(lines), job, Context());
    return job;
}

class MemoryJobFiles final : public job::JobFileSystem {
  public:
    std::map<std::string, std::string> files;
    std::set<std::string> readOnly, folders, failingCopyTargets;
    bool tornWrites = false; // a write stores half and fails
    int writes = 0;

    bool Exists(const std::string& path) override { return files.count(path) != 0; }
    bool IsReadOnly(const std::string& path) override { return readOnly.count(path) != 0; }
    bool SetReadOnly(const std::string& path, bool locked) override {
        locked ? (void)readOnly.insert(path) : (void)readOnly.erase(path);
        return Exists(path);
    }
    bool Read(const std::string& path, std::string& contents, std::string& error) override {
        error = "The device is not ready.";
        return Exists(path) && (contents = files[path], true);
    }
    bool Write(const std::string& path, const std::string& contents) override {
        ++writes;
        files[path] = tornWrites ? contents.substr(0, contents.size() / 2) : contents;
        return !tornWrites;
    }
    bool Copy(const std::string& from, const std::string& to) override {
        if (!Exists(from) || failingCopyTargets.count(to)) return false;
        files[to] = files[from];
        return true;
    }
    bool Remove(const std::string& path) override { return files.erase(path), true; }
    bool ForceDirectories(const std::string& folder) override { return folders.insert(folder), true; }
    std::map<char, int64_t> driveSizes; // by upper-case letter; others unknown
    int64_t DriveSizeBytes(const std::string& path) override {
        const auto found =
            path.empty() ? driveSizes.end() : driveSizes.find(static_cast<char>(std::toupper(path[0])));
        return found == driveSizes.end() ? 0 : found->second;
    }
};

// Records the log and the waits; work queued for a wait runs inside it, as a timer tick
// would inside the window's pumped wait.
class RecordingHost final : public job::WindowlessHost {
  public:
    std::vector<std::string> log;
    std::vector<int> waits;
    std::function<void()> duringNextWait;

    void AddToLog(const std::string& text) override { log.push_back(text); }
    void Wait(int milliseconds) override {
        waits.push_back(milliseconds);
        if (const std::function<void()> work = std::exchange(duringNextWait, nullptr)) work();
    }
};

} // namespace jobtest
