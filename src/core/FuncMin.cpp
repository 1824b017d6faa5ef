#include "core/FuncMin.h"

#include "gui/Wait.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace core {

namespace {

int versionLanguage = 0x0406;
int versionCodePage = 0x04E4;

// The version resource, checked before use: a damaged one gives nothing.
std::vector<char> VersionResource(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return {};
    return data;
}

std::string VersionString(const std::string& path, const char* valueName) {
    std::vector<char> data = VersionResource(path);
    if (data.empty()) return {};
    char query[64];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04X%04X\\%s", versionLanguage & 0xFFFF,
                  versionCodePage & 0xFFFF, valueName);
    char* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), query, reinterpret_cast<void**>(&value), &length) || !value ||
        length == 0)
        return {};
    std::string text(value, length);
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

std::string FolderOfMask(const std::string& mask) {
    const size_t slash = mask.find_last_of("\\/:");
    return slash == std::string::npos ? std::string() : mask.substr(0, slash + 1);
}

} // namespace

int SetVersionInfoLanguage(int id) {
    if (id >= 0) versionLanguage = id;
    return versionLanguage;
}

int SetVersionInfoCodePage(int codePage) {
    if (codePage >= 0) versionCodePage = codePage;
    return versionCodePage;
}

int64_t GetFileSizeByName(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return -1;
    FindClose(search);
    return (static_cast<int64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
}

bool OpensForSharedReading(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool FileHasAttributes(const std::string& path, uint32_t mask, gui::FileAttributes& attributes) {
    const uint32_t current = attributes.Get(path);
    return current != gui::InvalidFileAttributes && (current & mask) == mask;
}

bool DeleteFilesByMask(const std::string& mask) {
    const std::string folder = FolderOfMask(mask);
    std::vector<std::string> matches;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(mask.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) matches.push_back(folder + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    bool allDeleted = true;
    for (const std::string& file : matches) {
        gui::ProcessMessages();
        if (!DeleteFileA(file.c_str())) allDeleted = false;
    }
    return allDeleted;
}

std::string GetFileVersionString(const std::string& path) {
    std::vector<char> data = VersionResource(path);
    if (data.empty()) return {};
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
        length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD)
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned{HIWORD(fixed->dwProductVersionMS)},
                  unsigned{LOWORD(fixed->dwProductVersionMS)}, unsigned{HIWORD(fixed->dwProductVersionLS)},
                  unsigned{LOWORD(fixed->dwProductVersionLS)});
    return text;
}

std::string GetFileInternalName(const std::string& path) {
    return VersionString(path, "InternalName");
}

std::string GetFileLegalCopyright(const std::string& path) {
    return VersionString(path, "LegalCopyright");
}

std::string GetFileProductName(const std::string& path) {
    return VersionString(path, "ProductName");
}

uint32_t SetFileAttributesTri(const std::string& path, int readOnly, int archive, int system, int hidden,
                              gui::FileAttributes& attributes) {
    const uint32_t old = attributes.Get(path);
    if (old == gui::InvalidFileAttributes) {
        const uint32_t error = GetLastError();
        return error ? error : ERROR_FILE_NOT_FOUND;
    }
    uint32_t wanted = old;
    const std::pair<int, uint32_t> changes[] = {{readOnly, gui::AttributeReadOnly},
                                                {archive, gui::AttributeArchive},
                                                {system, gui::AttributeSystem},
                                                {hidden, gui::AttributeHidden}};
    for (const auto& [flag, bit] : changes) {
        if (flag < 0) continue;
        wanted = flag > 0 ? (wanted | bit) : (wanted & ~bit);
    }
    return wanted == old ? 0 : attributes.Set(path, wanted);
}

namespace {

// The two characters some OEM code pages lack are mapped by fixed values, in both directions.
constexpr unsigned char ansiSubstitutes[2] = {0xD8, 0xF8};
constexpr unsigned char oemSubstitutes[2] = {0x9D, 0x9B};

using CharSetCall = BOOL(WINAPI*)(LPCSTR, LPSTR, DWORD);

std::string ConvertName(const std::string& name, CharSetCall convert, bool substitute,
                        const unsigned char (&from)[2], const unsigned char (&to)[2]) {
    std::string converted(name.size(), '\0');
    if (!name.empty()) convert(name.data(), converted.data(), static_cast<DWORD>(name.size()));
    if (substitute)
        for (size_t i = 0; i < name.size(); ++i)
            for (int k = 0; k < 2; ++k)
                if (static_cast<unsigned char>(name[i]) == from[k]) converted[i] = static_cast<char>(to[k]);
    return converted;
}

} // namespace

std::string AnsiToOemName(const std::string& name, bool substitute) {
    return ConvertName(name, &CharToOemBuffA, substitute, ansiSubstitutes, oemSubstitutes);
}

std::string OemToAnsiName(const std::string& name, bool substitute) {
    return ConvertName(name, &OemToCharBuffA, substitute, oemSubstitutes, ansiSubstitutes);
}

bool DriveExists(char letter) {
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z') throw EConvertError("Not a valid drive ID");
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
    const char root[] = {letter, ':', '\\', '\0'};
    ULARGE_INTEGER total;
    const bool exists = GetDiskFreeSpaceExA(root, nullptr, &total, nullptr) != 0;
    SetErrorMode(previous);
    return exists;
}

} // namespace core
