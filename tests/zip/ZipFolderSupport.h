#pragma once
// A source tree for the zip (create) component's tests: a temporary folder addressed with "\"
// as the component writes paths, small file helpers, and the three peers that every written
// archive must satisfy.

#include "ZipperSupport.h"

#include <string>

namespace ziptest {

class TZipFolder {
  public:
    // `name` relative to the folder, "/" or "\" between parts.
    std::string P(const std::string& name) const;
    std::string Native(const std::string& name) const { return unziptest::Native(P(name)); }
    void Put(const std::string& name, const std::string& bytes) const;
    std::string Get(const std::string& name) const;
    bool Exists(const std::string& name) const;
    // Sets the file's modification time to `seconds` after 2024-01-01 00:00:00 (local).
    void SetTime(const std::string& name, int64_t seconds) const;
    // Runs unzip -t, 7z t and python's testzip on the archive; empty when all three pass or
    // when there are no peers here, else what failed.
    std::string PeerTrouble(const std::string& archive) const;

  private:
    unziptest::TTempFolder tmp_;
};

} // namespace ziptest
