#pragma once
// The file-system side of folder choices, on the real Win32 calls.

#include "core/UserFolders.h"

namespace core {

class WinFolderOps final : public FolderOps {
  public:
    bool DirectoryExists(const std::string& folder) override;
    bool ForceDirectories(const std::string& folder) override;
    bool FileExists(const std::string& file) override;
    bool CopyOneFile(const std::string& from, const std::string& to) override;
};

} // namespace core
