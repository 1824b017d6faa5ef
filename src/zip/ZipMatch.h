#pragma once
// Wildcard matching of file names: "*", "?" and character sets in angle brackets ("<a-c>",
// "<!0-9>", "<^xy>"), ignoring case through one Windows-1252 fold table.

#include <cstdint>
#include <string_view>

namespace zip {

// Matcher result codes.
enum : int {
    mrNoMatch = 0,      // a malformed set, or no position after a star let the rest match
    mrMatch = 1,        // the whole text fits the pattern
    mrPatternEnded = 2, // the pattern was used up while text was left
    mrTextEnded = 3,    // the text was used up while pattern was left
    mrMismatch = 5,     // a character did not fit its pattern element
};

int Matcher(std::string_view pattern, std::string_view text);
inline bool IsMatch(std::string_view pattern, std::string_view text) {
    return Matcher(pattern, text) == mrMatch;
}

// The Windows-1252 upper case of one byte (the fold the matcher uses).
uint8_t UpperCase1252(uint8_t c);

} // namespace zip
