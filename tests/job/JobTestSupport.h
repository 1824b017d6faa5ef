#pragma once
// Job file texts for the tests: a complete file as the program writes it, and line helpers.

#include "core/DateText.h"
#include "core/Scramble.h"
#include "job/JobFile.h"

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

// Every line of a job with all options set one way or the other, no items.
inline std::vector<std::string> JobLines(const core::LocaleFormat& locale = {}) {
    std::string day = "46000.5000000000";
    if (locale.decimalSeparator != '.') day[5] = locale.decimalSeparator;
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
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return lines;
}

} // namespace jobtest

#include "job/JobStore.h"
#include "job/WindowlessHost.h"

#include <functional>
#include <map>
#include <set>

namespace jobtest {

// Job files in memory, with every step able to fail.
class MemoryJobFiles final : public job::JobFileSystem {
  public:
    struct File {
        std::string contents;
        bool readOnly = false;
    };
    std::map<std::string, File> files;
    std::set<std::string> folders;
    std::vector<std::string> calls; // "write PATH", "copy FROM TO", ...

    std::set<std::string> failingCopyTargets;
    bool tornWrites = false; // a write stores half and fails
    bool failingReads = false;

    bool Exists(const std::string& path) override { return files.count(path) != 0; }
    bool IsReadOnly(const std::string& path) override {
        const auto found = files.find(path);
        return found != files.end() && found->second.readOnly;
    }
    bool SetReadOnly(const std::string& path, bool readOnly) override {
        calls.push_back((readOnly ? "lock " : "unlock ") + path);
        const auto found = files.find(path);
        if (found == files.end()) return false;
        found->second.readOnly = readOnly;
        return true;
    }
    bool Read(const std::string& path, std::string& contents, std::string& error) override {
        const auto found = files.find(path);
        if (failingReads || found == files.end()) {
            error = "The device is not ready.";
            return false;
        }
        contents = found->second.contents;
        return true;
    }
    bool Write(const std::string& path, const std::string& contents) override {
        calls.push_back("write " + path);
        File& file = files[path];
        if (file.readOnly) return false;
        file.contents = tornWrites ? contents.substr(0, contents.size() / 2) : contents;
        return !tornWrites;
    }
    bool Copy(const std::string& from, const std::string& to) override {
        calls.push_back("copy " + from + " " + to);
        const auto found = files.find(from);
        if (found == files.end() || failingCopyTargets.count(to)) return false;
        files[to] = found->second;
        return true;
    }
    bool Remove(const std::string& path) override {
        files.erase(path);
        return true;
    }
    bool ForceDirectories(const std::string& folder) override {
        folders.insert(folder);
        return true;
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
        if (duringNextWait) {
            const std::function<void()> work = std::move(duringNextWait);
            duringNextWait = nullptr;
            work();
        }
    }
};

} // namespace jobtest
