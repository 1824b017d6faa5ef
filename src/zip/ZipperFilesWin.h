#pragma once
// The zip (create) component's file system over Win32 (ANSI calls): sources opened so that
// other programs may go on reading, writing and even deleting them while they are zipped,
// the recursive directory search, the write sink's output file, work files, and the drive
// services of volume sets (free space, labels, serial numbers).

#include "zip/WriteSinkWin.h"
#include "zip/ZipperFiles.h"

namespace zip {

class TWinZipperFileSystem : public TZipperFileSystem {
  public:
    // driveTypeText answers "Fixed", "Removable", ... for a path (the write sink's read-back
    // and reopen rules depend on it).
    explicit TWinZipperFileSystem(TWinSinkFile::TDriveTypeText driveTypeText);

    std::optional<TSourceInfo> Info(const std::string& name) override;
    std::unique_ptr<gui::TStream> OpenSource(const std::string& name) override;
    bool OpensFromAnyThread() const override { return true; }
    void Search(const std::string& startPath, bool recurse, const std::string& mask,
                const std::function<bool(const std::string& name, int64_t size)>& found) override;
    std::unique_ptr<TSinkFile> OpenOutput(const std::string& name, bool keepExisting,
                                          const std::string& stagingName) override;
    std::unique_ptr<gui::TStream> CreateWorkFile(const std::string& name) override;
    std::unique_ptr<gui::TStream> OpenReadWrite(const std::string& name) override;
    bool DeleteFile(const std::string& name) override;
    bool RenameFile(const std::string& from, const std::string& to) override;
    bool CopyFile(const std::string& from, const std::string& to) override;
    bool SetAttributes(const std::string& name, uint32_t attributes) override;
    std::string ShortName(const std::string& path) override;
    int64_t DiskFree(const std::string& root) override;
    bool SetVolumeLabel(const std::string& root, const std::string& label) override;
    uint32_t VolumeSerial(const std::string& root) override;

  private:
    TWinSinkFile::TDriveTypeText driveTypeText_;
};

} // namespace zip
