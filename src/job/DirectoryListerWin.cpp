#include "job/DirectoryListerWin.h"

#include <windows.h>

namespace job {

namespace {
// WC_ERR_INVALID_CHARS, which the XP headers leave out: only systems far newer than XP take a
// UTF-8 ANSI code page.
constexpr DWORD errorOnInvalidChars = 0x80;
} // namespace

std::wstring WidePath(const std::string& path) {
    if (path.empty()) return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(), length);
    return wide;
}

unsigned long PathAttributes(const std::string& path) {
    if (path.empty()) return INVALID_FILE_ATTRIBUTES;
    return GetFileAttributesW(WidePath(path).c_str());
}

bool NameInCodePage(const wchar_t* name, unsigned codePage, std::string& text) {
    // A UTF-16 unit takes at most three bytes in UTF-8, two in a double-byte code page.
    char narrow[MAX_PATH * 3];
    int length = 0;
    bool lost = false;
    if (codePage == CP_UTF8) {
        // UTF-8 takes neither the best-fit flag nor a used-default flag; what it cannot hold is
        // an unpaired surrogate, which fails the strict call. The lenient one gives the text
        // the log shows.
        length = WideCharToMultiByte(CP_UTF8, errorOnInvalidChars, name, -1, narrow, sizeof narrow, nullptr,
                                     nullptr);
        lost = length <= 0;
        if (lost) length = WideCharToMultiByte(CP_UTF8, 0, name, -1, narrow, sizeof narrow, nullptr, nullptr);
    } else {
        BOOL usedDefault = FALSE;
        length = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, name, -1, narrow, sizeof narrow, nullptr,
                                     &usedDefault);
        lost = usedDefault != FALSE || length <= 0;
    }
    text.assign(narrow, length > 0 ? static_cast<size_t>(length - 1) : 0);
    return !lost;
}

SystemDirectoryLister::SystemDirectoryLister() : codePage_(GetACP()) {
    std::array<bool, 256> leads{};
    for (int c = 0x80; c < 256; ++c)
        leads[c] = IsDBCSLeadByte(static_cast<BYTE>(c)) != 0;
    SetAnsiLeadBytes(leads);
}

void SystemDirectoryLister::List(const std::string& pattern, std::vector<DirEntry>& entries) {
    entries.clear();
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(WidePath(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        DirEntry& entry = entries.emplace_back();
        entry.NameLost = !NameInCodePage(found.cFileName, codePage_, entry.Name);
        entry.Attributes = found.dwFileAttributes;
        entry.Size = static_cast<int64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
        FILETIME local;
        WORD date = 0, time = 0;
        if (FileTimeToLocalFileTime(&found.ftLastWriteTime, &local))
            FileTimeToDosDateTime(&local, &date, &time);
        entry.DosDateTime = static_cast<uint32_t>(date) << 16 | time;
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

bool SystemDirectoryLister::FileExists(const std::string& path) {
    const DWORD attributes = PathAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool SystemDirectoryLister::DirectoryExists(const std::string& path) {
    const DWORD attributes = PathAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace job
