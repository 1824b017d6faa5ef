#include "job/DirectoryListerWin.h"

#include <windows.h>

namespace job {

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

SystemDirectoryLister::SystemDirectoryLister() {
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
    char name[MAX_PATH * 2];
    do {
        DirEntry& entry = entries.emplace_back();
        BOOL usedDefault = FALSE;
        const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, found.cFileName, -1, name,
                                               sizeof name, nullptr, &usedDefault);
        entry.Name.assign(name, length > 0 ? static_cast<size_t>(length - 1) : 0);
        entry.NameLost = usedDefault != FALSE || length <= 0;
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
