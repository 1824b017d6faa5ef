// Win32 file-system services of the zip library.
//
// The directory search keeps one level per open folder in a growing vector, so a tree is as
// deep as the system's path limit allows; sizes are 64-bit so that the zip side can see (and
// refuse with a message) files of 4 GiB or more. Only "." and ".." are skipped: a folder whose
// name begins with a dot is an ordinary folder on Windows.
//
// CopyFileTo works on raw handles rather than streams because closing is part of success: a
// write-behind failure shows up at CloseHandle, and a stream's destructor cannot report it.

#include <windows.h>

#include "zip/ZipLibWin.h"

#include "gui/Prompter.h"
#include "zip/ZipLib.h"
#include "zip/ZipMatch.h"

#include <cstring>
#include <vector>

#ifdef SetVolumeLabel
#undef SetVolumeLabel
#endif

namespace zip {

namespace {

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

int64_t SizeOf(const WIN32_FIND_DATAA& data) {
    return static_cast<int64_t>(uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '\\' && !(path.size() == 3 && path[1] == ':'))
        path.pop_back();
    return path;
}

std::string ConvertWith(std::string_view name, BOOL(WINAPI* convert)(LPCSTR, LPSTR, DWORD)) {
    std::string out(name);
    if (!out.empty()) convert(out.data(), out.data(), static_cast<DWORD>(out.size()));
    return out;
}

std::string SystemAnsiToOem(std::string_view name) {
    return ConvertWith(name, CharToOemBuffA);
}
std::string SystemOemToAnsi(std::string_view name) {
    return ConvertWith(name, OemToCharBuffA);
}

} // namespace

// --- TDirSearch --------------------------------------------------------------------------

struct TDirSearch::TSearchData {
    std::string folder; // ends with "\"
    int partIndex;      // the folder pattern of this level, or -1: the file mask applies
    HANDLE handle = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA data{};
    bool started = false;
    bool firstFailed = false;

    ~TSearchData() {
        if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
    }

    // The next entry of this folder, false when there is none.
    bool Next() {
        if (!started) {
            started = true;
            handle = FindFirstFileA((folder + "*.*").c_str(), &data);
            firstFailed = handle == INVALID_HANDLE_VALUE;
            return !firstFailed;
        }
        return !firstFailed && FindNextFileA(handle, &data);
    }
};

TDirSearch::TDirSearch(const std::string& startPath, bool recurse, const std::string& fileMask)
    : fileMask_(fileMask), recurse_(recurse) {
    SearchStart start = SplitSearchStart(startPath);
    parts_ = std::move(start.parts);
    Push(start.folder, parts_.empty() ? -1 : 0);
}

TDirSearch::~TDirSearch() = default;

void TDirSearch::Push(std::string folder, int partIndex) {
    auto level = std::make_unique<TSearchData>();
    level->folder = std::move(folder);
    level->partIndex = partIndex;
    levels_.push_back(std::move(level));
}

void TDirSearch::Pop() {
    levels_.pop_back();
}

std::string TDirSearch::NextFile(int64_t& size) {
    size = 0;
    while (!levels_.empty()) {
        TSearchData& level = *levels_.back();
        if (!level.Next()) {
            Pop();
            continue;
        }
        const char* name = level.data.cFileName;
        if (IsDotOrDotDot(name)) continue;
        const bool isFolder = level.data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        const std::string path = level.folder + name;
        if (level.partIndex >= 0) {
            if (isFolder && IsMatch(parts_[level.partIndex], name)) {
                const int next =
                    level.partIndex + 1 < static_cast<int>(parts_.size()) ? level.partIndex + 1 : -1;
                Push(path + "\\", next);
            }
            continue;
        }
        if (isFolder) {
            if (!recurse_) continue;
            Push(path + "\\", -1);
            return path + "\\";
        }
        // "*.*" must find a name without extension too.
        const std::string matched = std::strchr(name, '.') ? std::string(name) : std::string(name) + ".";
        if (IsMatch(fileMask_, matched)) {
            size = SizeOf(level.data);
            return path;
        }
    }
    return std::string();
}

// --- Files and folders -------------------------------------------------------------------

std::optional<uint32_t> FileDosDateTime(const std::string& fileName) {
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExA(fileName.c_str(), GetFileExInfoStandard, &attributes)) return std::nullopt;
    return DosDateTimeOf(attributes.ftLastWriteTime);
}

std::optional<uint32_t> DosDateTimeOf(const FILETIME& lastWrite) {
    FILETIME local;
    SYSTEMTIME time;
    if (!FileTimeToLocalFileTime(&lastWrite, &local) || !FileTimeToSystemTime(&local, &time))
        return std::nullopt;
    if (time.wYear < 1980) return PackDosDateTime(1980, 1, 1, 0, 0, 0);
    if (time.wYear > 2107) return FixDosDateTime(PackDosDateTime(2107, 12, 31, 23, 59, 58));
    return FixDosDateTime(
        PackDosDateTime(time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond));
}

std::optional<gui::DateTime> FileDateTime(const std::string& fileName) {
    const std::optional<uint32_t> dos = FileDosDateTime(fileName);
    return dos ? DosDateTimeToDateTime(*dos) : std::nullopt;
}

bool FileExists(const std::string& fileName) {
    const DWORD attributes = GetFileAttributesA(fileName.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::string& path) {
    std::string folder = WithoutTrailingSlash(path);
    if (folder.size() == 2 && folder[1] == ':') folder += '\\';
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirs(const std::string& path) {
    const std::string folder = WithoutTrailingSlash(path);
    if (folder.empty() || DirExists(folder)) return true;
    const size_t cut = folder.find_last_of('\\');
    if (cut != std::string::npos && cut > 0 && !ForceDirs(folder.substr(0, cut))) return false;
    return CreateDirectoryA(folder.c_str(), nullptr) || DirExists(folder);
}

std::string CurrentDir() {
    std::string folder(GetCurrentDirectoryA(0, nullptr), '\0');
    folder.resize(GetCurrentDirectoryA(static_cast<DWORD>(folder.size()), folder.data()));
    return folder;
}

bool CopyFileTo(const std::string& source, const std::string& destination) {
    bool ok = false;
    HANDLE in = CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    HANDLE out = INVALID_HANDLE_VALUE;
    if (in != INVALID_HANDLE_VALUE)
        out = CreateFileA(destination.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out != INVALID_HANDLE_VALUE) {
        std::vector<char> buffer(1 << 16);
        ok = true;
        while (true) {
            DWORD got = 0, written = 0;
            if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
                ok = false;
                break;
            }
            if (got == 0) break;
            if (!WriteFile(out, buffer.data(), got, &written, nullptr) || written != got) {
                ok = false;
                break;
            }
        }
        ok = CloseHandle(out) && ok;
        if (!ok) DeleteFileA(destination.c_str());
    }
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (!ok) {
        gui::TMessageBoxRequest request;
        request.Caption = "Error";
        request.Text = "Could not copy from " + source + " -> " + destination;
        request.Buttons = gui::TMsgButtons::OK;
        gui::Prompter().MessageBox(request);
    }
    return ok;
}

// --- Volumes and paths -------------------------------------------------------------------

bool SetVolumeLabel(const std::string& root, const std::string& label) {
    // An empty label removes the old one (Wine's -A entry cannot take a null label).
    SetVolumeLabelA(root.c_str(), "");
    return SetVolumeLabelA(root.c_str(), label.c_str());
}

std::string GetVolumeLabel(const std::string& root) {
    char name[MAX_PATH + 1] = {};
    if (!GetVolumeInformationA(root.c_str(), name, sizeof name, nullptr, nullptr, nullptr, nullptr, 0))
        return std::string();
    return std::string(name).substr(0, 13);
}

std::string ConvertPath(const std::string& path, bool toLong) {
    return ConvertPathWith(path, toLong,
                           [](const std::string& component, bool wantLong) -> std::optional<std::string> {
                               WIN32_FIND_DATAA data;
                               HANDLE handle = FindFirstFileA(component.c_str(), &data);
                               if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
                               FindClose(handle);
                               if (wantLong || data.cAlternateFileName[0] == '\0')
                                   return std::string(data.cFileName);
                               return std::string(data.cAlternateFileName);
                           });
}

NameConverters SystemNameConverters() {
    return {SystemAnsiToOem, SystemOemToAnsi};
}

} // namespace zip
