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

class WinFolderOps final : public FolderOps {
  public:
    bool DirectoryExists(const std::string& folder) override;
    bool ForceDirectories(const std::string& folder) override;
    bool FileExists(const std::string& file) override;
    bool CopyOneFile(const std::string& from, const std::string& to) override;
};

} // namespace core
