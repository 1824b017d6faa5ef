#pragma once
// The job file operations on the system's files (ANSI names).

#include "job/JobStore.h"

namespace job {

class SystemJobFileSystem final : public JobFileSystem {
  public:
    bool Exists(const std::string& path) override;
    bool IsReadOnly(const std::string& path) override;
    bool SetReadOnly(const std::string& path, bool readOnly) override;
    bool Read(const std::string& path, std::string& contents, std::string& error) override;
    bool Write(const std::string& path, const std::string& contents) override;
    bool Copy(const std::string& from, const std::string& to) override;
    bool Remove(const std::string& path) override;
    bool ForceDirectories(const std::string& folder) override;
    int64_t DriveSizeBytes(const std::string& path) override;
};

// The one instance the program uses.
SystemJobFileSystem& SystemJobFiles();

} // namespace job
