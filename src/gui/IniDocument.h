#pragma once
// The text model of an INI file with the semantics of the Windows profile functions:
// section and key names compare case-insensitively, the first occurrence of a section or
// key wins, and a rewrite keeps the order of everything it did not touch, comments and
// lines it does not understand included. Any byte sequence parses; nothing is rejected.

#include <string>
#include <string_view>
#include <vector>

namespace gui {

class IniDocument {
  public:
    IniDocument() = default;
    static IniDocument Parse(std::string_view text);
    // CR LF line ends; an empty document serializes to an empty string.
    std::string Serialize() const;

    // Returns false when the key is absent; value is then left alone.
    bool Find(std::string_view section, std::string_view key, std::string& value) const;
    bool SectionExists(std::string_view section) const;
    // Keys of the first matching section, in file order.
    std::vector<std::string> Keys(std::string_view section) const;
    // "key=value" lines of the first matching section, in file order.
    std::vector<std::string> KeyValues(std::string_view section) const;

    // Fails (returns false) for names or values that would change the file's structure:
    // line breaks anywhere, "]" in a section name, "=" in a key, an empty key.
    bool Set(std::string_view section, std::string_view key, std::string_view value);
    void DeleteKey(std::string_view section, std::string_view key);
    void EraseSection(std::string_view section);

  private:
    enum class Kind { Section, Entry, Other };
    struct Line {
        Kind kind;
        std::string text;  // the raw line as read or written, without its line end
        std::string name;  // section name or key, trimmed
        std::string value; // entry value, trimmed, quotes removed
    };
    std::vector<Line> lines_;

    // Index of the first matching section header, or npos.
    size_t FindSection(std::string_view section) const;
    // One past the last line that belongs to the section starting at header.
    size_t SectionEnd(size_t header) const;
    size_t FindEntry(size_t header, std::string_view key) const;
};

// Case-insensitive comparison of ASCII letters, as the profile functions compare names.
bool SameNameI(std::string_view a, std::string_view b);

// Integer as the INI layer reads it: optional sign, decimal digits or "0x"/"$" hex.
// Anything else, or a value outside 32 bits, gives the default.
int ParseIniInteger(std::string_view text, int defaultValue);

} // namespace gui
