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

HANDLE OpenForAppend(const std::string& path) {
    return CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
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
    if (!stamp) return text;
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
    HANDLE file = OpenForAppend(path);
    if (file == INVALID_HANDLE_VALUE) {
        gui::Wait(retryDelayMs, false);
        file = OpenForAppend(path);
    }
    if (file == INVALID_HANDLE_VALUE)
        throw ELogWriteError("Cannot write to " + path + ": " + SystemErrorText(GetLastError()));
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    std::string text = size.QuadPart == 0 && !firstLine.empty() ? firstLine + "\r\n" : std::string();
    for (const std::string& line : lines)
        text += line + "\r\n";
    const bool written = WriteAll(file, text);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!written) throw ELogWriteError("Cannot write to " + path + ": " + SystemErrorText(error));
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
    WinFolderOps folders;
    if (!folders.ForceDirectories(logFolder))
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
