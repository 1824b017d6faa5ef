#pragma once
// An INI file on disk over the portable text model. Reads see the file as it is now (the
// parsed text is reused while the file's size and time stay the same). Every write rewrites
// the whole file into a temporary file in the same folder and moves it over the old one, so
// a crash or a full disk leaves the old file or the new one, never a torn one. Write
// failures return false and are otherwise silent, as the settings layer expects.

#include "gui/IniAccess.h"

#include <cstdint>
#include <string>
#include <vector>

namespace gui {

class TIniFile : public IniAccess {
  public:
    explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}
    const std::string& FileName() const { return fileName_; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) override;
    bool ValueExists(const std::string& section, const std::string& key) override;
    bool SectionExists(const std::string& section) override;
    std::vector<std::string> ReadSection(const std::string& section) override;
    std::vector<std::string> ReadSectionValues(const std::string& section) override;
    bool WriteString(const std::string& section, const std::string& key, const std::string& value) override;
    bool DeleteKey(const std::string& section, const std::string& key) override;
    bool EraseSection(const std::string& section) override;

  private:
    std::string fileName_;
    IniDocument document_;
    bool loaded_ = false;
    uint64_t loadedSize_ = 0;
    uint64_t loadedTime_ = 0;

    const IniDocument& Current();
    bool Store(const IniDocument& changed);
};

} // namespace gui
