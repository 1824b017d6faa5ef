#pragma once
// The unzip component's file system over Win32 (ANSI calls). File attributes go through the
// program's one attributes interface, so tests can watch them (Wine does not keep them all).

#include "gui/FileAttributes.h"
#include "zip/ExtractFiles.h"

namespace zip {

class TWinExtractFileSystem : public TExtractFileSystem {
  public:
    explicit TWinExtractFileSystem(gui::FileAttributes& attributes = gui::SystemFileAttributes())
        : attributes_(attributes) {}
    std::unique_ptr<gui::TStream> OpenRead(const std::string& name) override;
    std::optional<gui::DateTime> FileDate(const std::string& name) override;
    bool DirectoryExists(const std::string& folder) override;
    bool ForceDirectories(const std::string& folder) override;
    std::unique_ptr<gui::TStream> CreateTemp(const std::string& target, std::string& tempName) override;
    bool Replace(const std::string& temp, const std::string& target, bool replaceReadOnly) override;
    std::unique_ptr<gui::TStream> CreateTarget(const std::string& target) override;
    void Delete(const std::string& name) override;
    void SetDate(const std::string& name, uint32_t dosDateTime) override;
    bool SetOpenFileDate(gui::TStream& file, uint32_t dosDateTime) override;
    void SetAttributes(const std::string& name, uint32_t attributes) override;
    bool IsRemovableDrive(const std::string& name) override;
    std::string VolumeLabel(const std::string& name) override;
    std::string SystemTempPath() override;

  private:
    gui::FileAttributes& attributes_;
};

} // namespace zip
