#include "core/LogFile.h"

#include "core/WinFolders.h"
#include "gui/Wait.h"

#include <windows.h>

namespace core {

namespace {

constexpr int retryDelayMs = 1000;

std::string SystemErrorText(DWORD error) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length ? std::string(buffer, length) : "error " + std::to_string(error);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

// created: the file did not exist before this call.
HANDLE OpenForAppend(const std::string& path, bool& created) {
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    created = file != INVALID_HANDLE_VALUE && GetLastError() != ERROR_ALREADY_EXISTS;
    return file;
}

// Opens, with one retry after a second unless retry is false; reason set on failure.
HANDLE OpenWithRetry(const std::string& path, bool retry, bool& created, std::string& reason) {
    HANDLE file = OpenForAppend(path, created);
    if (file == INVALID_HANDLE_VALUE && retry) {
        gui::Wait(retryDelayMs, false);
        file = OpenForAppend(path, created);
    }
    if (file == INVALID_HANDLE_VALUE)
        reason = "Cannot write to " + path + ": " + SystemErrorText(GetLastError());
    return file;
}

std::string Joined(const std::vector<std::string>& lines, const std::string& firstLine, bool created) {
    std::string text = created && !firstLine.empty() ? firstLine + "\r\n" : std::string();
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

bool WriteAll(HANDLE file, const std::string& text) {
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

std::string LogLine(const std::string& stampText, const std::string& text, bool stamp) {
    if (!stamp || text.empty()) return text;
    return (stampText.empty() ? std::string(" ") : stampText) + " > " + text;
}

std::string LogCreatedLine(const std::string& stampText) {
    return stampText + " Log Created. ";
}

void AppendLogLine(const std::string& path, const std::string& line, const std::string& firstLine) {
    AppendLines(path, {line}, firstLine);
}

void AppendLines(const std::string& path, const std::vector<std::string>& lines,
                 const std::string& firstLine) {
    bool created = false;
    std::string reason;
    HANDLE file = OpenWithRetry(path, true, created, reason);
    if (file == INVALID_HANDLE_VALUE) throw ELogWriteError(reason);
    const bool written = WriteAll(file, Joined(lines, firstLine, created));
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!written) throw ELogWriteError("Cannot write to " + path + ": " + SystemErrorText(error));
}

TLogFiles::TLogFiles(std::string fallbackLog, std::function<std::string()> stamp)
    : fallbackLog_(std::move(fallbackLog)), stamp_(std::move(stamp)) {}

TLogFiles::~TLogFiles() {
    CloseAll();
}

void TLogFiles::Hold() {
    ++holds_;
}

void TLogFiles::Release() {
    if (holds_ > 0) --holds_;
    if (holds_ > 0) return;
    CloseAll();
    failed_.clear();
}

void TLogFiles::CloseAll() {
    for (auto& [path, file] : open_)
        CloseHandle(file);
    open_.clear();
}

void TLogFiles::Close(const std::string& path) {
    const auto found = open_.find(path);
    if (found == open_.end()) return;
    CloseHandle(found->second);
    open_.erase(found);
}

bool TLogFiles::WriteOwn(const std::string& path, const std::vector<std::string>& lines,
                         const std::string& firstLine, std::string& reason) {
    HANDLE file = INVALID_HANDLE_VALUE;
    bool created = false;
    if (const auto found = open_.find(path); found != open_.end()) {
        file = found->second;
    } else {
        // A file known to fail is tried once more, without the second's wait per line.
        file = OpenWithRetry(path, !failed_.contains(path), created, reason);
        if (file == INVALID_HANDLE_VALUE) return false;
        open_[path] = file;
    }
    const bool written = WriteAll(file, Joined(lines, firstLine, created));
    if (!written) reason = "Cannot write to " + path + ": " + SystemErrorText(GetLastError());
    if (!written || !Held()) Close(path);
    return written;
}

LogWritten TLogFiles::Write(const std::string& path, const std::vector<std::string>& lines,
                            const std::string& firstLine, bool fallBack) {
    std::string reason;
    if (path.empty()) return LogWritten::Dropped;
    if (WriteOwn(path, lines, firstLine, reason)) {
        failed_.erase(path);
        return LogWritten::Own;
    }
    const bool firstFailure = failed_.insert(path).second;
    const bool toFallback = fallBack && path != fallbackLog_;
    std::vector<std::string> text;
    const std::string stamp = stamp_ ? stamp_() : std::string();
    if (firstFailure) text.push_back(LogLine(stamp, reason, true));
    if (toFallback) text.insert(text.end(), lines.begin(), lines.end());
    if (text.empty()) return LogWritten::Dropped;
    std::string fallbackReason;
    if (path != fallbackLog_ && !fallbackLog_.empty() &&
        WriteOwn(fallbackLog_, text, LogCreatedLine(stamp), fallbackReason)) {
        failed_.erase(fallbackLog_);
        return toFallback ? LogWritten::Fallback : LogWritten::Dropped;
    }
    // Nowhere left to say it: the debugger hears it once.
    if (firstFailure) OutputDebugStringA((reason + "\n").c_str());
    if (!fallbackReason.empty() && failed_.insert(fallbackLog_).second)
        OutputDebugStringA((fallbackReason + "\n").c_str());
    return LogWritten::Dropped;
}

std::string ProgramLogArchiveName(const std::string& logFolder, const std::string& programBaseName,
                                  int number) {
    std::string digits = "00" + std::to_string(number);
    return logFolder + programBaseName + "_Log_" + digits.substr(digits.size() - 3) + ".txt";
}

std::string ArchiveProgramLog(const std::string& programLog, const std::string& logFolder,
                              const std::string& programBaseName) {
    auto name = [&](int number) { return ProgramLogArchiveName(logFolder, programBaseName, number); };
    int number = 1;
    while (Exists(name(number))) {
        if (number > 99) DeleteFileA(name(number).c_str());
        ++number;
    }
    // Numbers wrap within 050-099, so 001-049, the oldest, are kept and the rest rotate.
    if (number == 50 || number >= 99) {
        for (int old = 50; old <= 99; ++old)
            DeleteFileA(name(old).c_str());
        number = 50;
    }
    const std::string archive = name(number);
    if (!ForceDirectories(logFolder))
        throw ELogWriteError("Cannot create the log folder " + logFolder + ": " +
                             SystemErrorText(GetLastError()));
    if (!CopyFileA(programLog.c_str(), archive.c_str(), FALSE))
        throw ELogWriteError("Cannot copy the log to " + archive + ": " + SystemErrorText(GetLastError()));
    HANDLE emptied = CreateFileA(programLog.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (emptied == INVALID_HANDLE_VALUE)
        throw ELogWriteError("Cannot empty the log " + programLog + ": " + SystemErrorText(GetLastError()));
    CloseHandle(emptied);
    for (int pass = 0; pass < 201; ++pass)
        gui::ProcessMessages();
    return archive;
}

} // namespace core
