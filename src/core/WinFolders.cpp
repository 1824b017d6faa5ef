#include "core/WinFolders.h"

#include <windows.h>

namespace core {

bool WinFolderOps::DirectoryExists(const std::string& folder) {
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WinFolderOps::ForceDirectories(const std::string& folder) {
    std::string path = folder;
    while (!path.empty() && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    if (path.empty() || (path.size() == 2 && path[1] == ':'))
        return !path.empty() && DirectoryExists(path + "\\");
    if (DirectoryExists(path)) return true;
    const size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos && !ForceDirectories(path.substr(0, slash))) return false;
    // A file of that name also answers "already exists": only a folder counts.
    CreateDirectoryA(path.c_str(), nullptr);
    return DirectoryExists(path);
}

bool WinFolderOps::FileExists(const std::string& file) {
    const DWORD attributes = GetFileAttributesA(file.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WinFolderOps::CopyOneFile(const std::string& from, const std::string& to) {
    return CopyFileA(from.c_str(), to.c_str(), TRUE) != 0;
}

} // namespace core
