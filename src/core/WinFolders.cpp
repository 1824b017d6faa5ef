#include "core/WinFolders.h"

#include <windows.h>

namespace core {

bool DirectoryExists(const std::string& folder) {
    const std::string path = folder.size() == 2 && folder[1] == ':' ? folder + "\\" : folder;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::string& file) {
    const DWORD attributes = GetFileAttributesA(file.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const std::string& folder) {
    std::string path = folder;
    while (!path.empty() && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    if (path.empty() || (path.size() == 2 && path[1] == ':')) return !path.empty() && DirectoryExists(path);
    if (DirectoryExists(path)) return true;
    const size_t slash = path.find_last_of("\\/");
    // A parent that cannot be made may still be there (a network share's root): the folder
    // itself decides.
    if (slash != std::string::npos && slash > 0) ForceDirectories(path.substr(0, slash));
    // A file of that name also answers "already exists": only a folder counts.
    CreateDirectoryA(path.c_str(), nullptr);
    return DirectoryExists(path);
}

bool WinFolderOps::DirectoryExists(const std::string& folder) {
    return core::DirectoryExists(folder);
}

bool WinFolderOps::ForceDirectories(const std::string& folder) {
    return core::ForceDirectories(folder);
}

bool WinFolderOps::FileExists(const std::string& file) {
    return core::FileExists(file);
}

bool WinFolderOps::CopyOneFile(const std::string& from, const std::string& to) {
    return CopyFileA(from.c_str(), to.c_str(), TRUE) != 0;
}

std::string UserDialogFolder(const UserFolders& folders, const std::string& programFolder,
                             const std::string& subfolder) {
    const std::string base =
        UserFileFolder(folders.perUserDataOn, folders.dataDir, folders.userName, programFolder);
    // Per-user data without a folder of the user's: the program folder itself.
    if (folders.perUserDataOn && base == programFolder) return programFolder;
    const std::string folder = base + subfolder;
    // A folder that cannot be made would open the dialog nowhere.
    if (base != programFolder && !ForceDirectories(folder)) return programFolder;
    return folder;
}

} // namespace core
