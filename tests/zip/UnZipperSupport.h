#pragma once
// A portable file system for the unzip tests.

#include "../TestSupport.h" // also from the benchmarks, which see tests/zip only
#include "zip/ExtractFiles.h"

#include <string>

namespace unziptest {

// Paths use "\" as the component separates them; "/" works too on both builds.
class TStdFileSystem : public zip::TExtractFileSystem {
  public:
    std::unique_ptr<gui::TStream> OpenRead(const std::string& name) override;
    std::optional<gui::DateTime> FileDate(const std::string& name) override;
    bool DirectoryExists(const std::string& folder) override;
    bool ForceDirectories(const std::string& folder) override;
    std::unique_ptr<gui::TStream> CreateTemp(const std::string& target, std::string& tempName) override;
    bool Replace(const std::string& temp, const std::string& target, bool replaceReadOnly) override;
    void Delete(const std::string& name) override;
    void SetDate(const std::string& name, uint32_t dosDateTime) override;
    void SetAttributes(const std::string& name, uint32_t attributes) override;
    std::string SystemTempPath() override;
};

std::string Native(const std::string& path);

using TTempFolder = testsupport::TTempFolder;

} // namespace unziptest
