#pragma once
// The write sink's output file on Win32: a long-name file stream that can be closed, read
// back and reopened, and the staging file beside it in the temporary folder.

#include "zip/WriteSink.h"

#include <functional>

namespace zip {

class TWinSinkFile : public TSinkFile {
  public:
    using TDriveTypeText = std::function<std::string(const std::string& path)>;
    // Creates (truncates) the output, or with keepExisting opens it as it is (an archive
    // appended to in place). driveTypeText answers "Fixed", "Removable", ...
    TWinSinkFile(std::string name, std::string stagingName, TDriveTypeText driveTypeText,
                 bool keepExisting = false);

    const std::string& Name() const override { return name_; }
    int64_t Position() override;
    void Seek(int64_t position) override;
    size_t Write(const uint8_t* data, size_t count) override;
    int64_t Size() override;
    void Close() override;
    void Reopen() override;
    bool ReadBack(int64_t position, uint8_t* buffer, size_t count) override;
    std::string DriveType() override { return driveTypeText_(name_); }
    std::unique_ptr<gui::TStream> OpenStaging() override;
    void DeleteStaging() override;

  private:
    gui::TStream& Stream();

    std::string name_, stagingName_;
    TDriveTypeText driveTypeText_;
    std::unique_ptr<gui::TStream> stream_;
    // Kept here: the component asks for it several times per entry, and each answer from the
    // file would be a call into the file system. -1 = ask the file.
    int64_t position_ = -1;
};

} // namespace zip
