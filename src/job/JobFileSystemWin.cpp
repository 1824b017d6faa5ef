#include "job/JobFileSystemWin.h"

#include "core/WinFolders.h"
#include "gui/SysError.h"
#include "job/DriveSpace.h"

#include <windows.h>

namespace job {

namespace {

DWORD AttributesOf(const std::string& path) {
    return GetFileAttributesA(path.c_str());
}

bool IsFile(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The backup copy and a torn new file are ours to replace and remove, read-only or not.
void MakeWritable(const std::string& path) {
    const DWORD attributes = AttributesOf(path);
    if (IsFile(attributes) && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
}

} // namespace

bool SystemJobFileSystem::Exists(const std::string& path) {
    return IsFile(AttributesOf(path));
}

bool SystemJobFileSystem::IsReadOnly(const std::string& path) {
    const DWORD attributes = AttributesOf(path);
    return IsFile(attributes) && (attributes & FILE_ATTRIBUTE_READONLY);
}

bool SystemJobFileSystem::SetReadOnly(const std::string& path, bool readOnly) {
    const DWORD attributes = AttributesOf(path);
    if (!IsFile(attributes)) return false;
    const DWORD wanted =
        readOnly ? attributes | FILE_ATTRIBUTE_READONLY : attributes & ~FILE_ATTRIBUTE_READONLY;
    if (wanted == attributes) return true;
    return SetFileAttributesA(path.c_str(), wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted) != 0;
}

bool SystemJobFileSystem::Read(const std::string& path, std::string& contents, std::string& error) {
    contents.clear();
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = gui::SysErrorMessage(GetLastError());
        return false;
    }
    bool ok = true;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart > 0x7FFFFFFF) {
        error = size.QuadPart > 0x7FFFFFFF ? "the file is too large" : gui::SysErrorMessage(GetLastError());
        ok = false;
    } else {
        contents.resize(static_cast<size_t>(size.QuadPart));
        size_t done = 0;
        while (ok && done < contents.size()) {
            DWORD got = 0;
            if (!::ReadFile(file, contents.data() + done, static_cast<DWORD>(contents.size() - done), &got,
                            nullptr)) {
                error = gui::SysErrorMessage(GetLastError());
                ok = false;
            } else if (got == 0) {
                contents.resize(done); // the file shrank meanwhile
                break;
            }
            done += got;
        }
    }
    CloseHandle(file);
    return ok;
}

bool SystemJobFileSystem::Write(const std::string& path, const std::string& contents) {
    // Opened without replacing, so a hidden job file keeps its attributes.
    const HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = ::WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) &&
              written == contents.size();
    ok = ok && SetEndOfFile(file);
    ok = CloseHandle(file) && ok;
    return ok;
}

bool SystemJobFileSystem::Copy(const std::string& from, const std::string& to) {
    MakeWritable(to);
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

bool SystemJobFileSystem::Remove(const std::string& path) {
    MakeWritable(path);
    return DeleteFileA(path.c_str()) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool SystemJobFileSystem::ForceDirectories(const std::string& folder) {
    return core::ForceDirectories(folder);
}

int64_t SystemJobFileSystem::DriveSizeBytes(const std::string& path) {
    return job::DriveSizeBytes(DriveOfPath(path));
}

SystemJobFileSystem& SystemJobFiles() {
    static SystemJobFileSystem files;
    return files;
}

} // namespace job
