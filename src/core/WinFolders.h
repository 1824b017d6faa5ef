#pragma once
// Folders and files on the real Win32 calls: the one test for a folder or a file, the one
// way to make a folder with its parents, and the FolderOps of the folder choice over them.

#include "core/UserFolders.h"

#include <string>

namespace core {

// "C:" counts as its root folder.
bool DirectoryExists(const std::string& folder);
bool FileExists(const std::string& file);
// Creates the folder and any missing parents; true when it exists as a folder afterwards (a
// file of its name is no folder).
bool ForceDirectories(const std::string& folder);

// The initial folder of the dialogs for the user's files: the subfolder of UserFileFolder,
// made when it is the user's own; the program folder itself when per-user data is on but the
// user has no folder, or the folder cannot be made.
std::string UserDialogFolder(const UserFolders& folders, const std::string& programFolder,
                             const std::string& subfolder = {});

class WinFolderOps final : public FolderOps {
  public:
    bool DirectoryExists(const std::string& folder) override;
    bool ForceDirectories(const std::string& folder) override;
    bool FileExists(const std::string& file) override;
    bool CopyOneFile(const std::string& from, const std::string& to) override;
};

} // namespace core
