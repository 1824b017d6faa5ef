#pragma once
// What the program needs of an INI file, so that settings code runs over a file on disk
// (TIniFile) or over text in memory (tests, the native build) alike.

#include "gui/IniDocument.h"

#include <string>
#include <vector>

namespace gui {

class IniAccess {
  public:
    virtual ~IniAccess() = default;

    virtual std::string ReadString(const std::string& section, const std::string& key,
                                   const std::string& defaultValue) = 0;
    virtual bool ValueExists(const std::string& section, const std::string& key) = 0;
    virtual bool SectionExists(const std::string& section) = 0;
    virtual std::vector<std::string> ReadSection(const std::string& section) = 0;
    virtual std::vector<std::string> ReadSectionValues(const std::string& section) = 0;
    // Writes fail silently (false) as the profile functions do; never a torn file.
    virtual bool WriteString(const std::string& section, const std::string& key,
                             const std::string& value) = 0;
    virtual bool DeleteKey(const std::string& section, const std::string& key) = 0;
    virtual bool EraseSection(const std::string& section) = 0;

    // "abc" or an absent key gives the default.
    int ReadInteger(const std::string& section, const std::string& key, int defaultValue) {
        return ParseIniInteger(ReadString(section, key, std::string()), defaultValue);
    }
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) {
        return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
    }
    bool WriteInteger(const std::string& section, const std::string& key, int value) {
        return WriteString(section, key, std::to_string(value));
    }
    bool WriteBool(const std::string& section, const std::string& key, bool value) {
        return WriteString(section, key, value ? "1" : "0");
    }
};

// An INI file held in memory.
class TMemIniFile : public IniAccess {
  public:
    explicit TMemIniFile(std::string_view text = {}) : document_(IniDocument::Parse(text)) {}
    std::string Text() const { return document_.Serialize(); }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) override {
        std::string value;
        return document_.Find(section, key, value) ? value : defaultValue;
    }
    bool ValueExists(const std::string& section, const std::string& key) override {
        std::string value;
        return document_.Find(section, key, value);
    }
    bool SectionExists(const std::string& section) override { return document_.SectionExists(section); }
    std::vector<std::string> ReadSection(const std::string& section) override {
        return document_.Keys(section);
    }
    std::vector<std::string> ReadSectionValues(const std::string& section) override {
        return document_.KeyValues(section);
    }
    bool WriteString(const std::string& section, const std::string& key, const std::string& value) override {
        return document_.Set(section, key, value);
    }
    bool DeleteKey(const std::string& section, const std::string& key) override {
        document_.DeleteKey(section, key);
        return true;
    }
    bool EraseSection(const std::string& section) override {
        document_.EraseSection(section);
        return true;
    }

  private:
    IniDocument document_;
};

} // namespace gui
