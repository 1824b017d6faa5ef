#pragma once
// The one case-insensitive comparison of the program: string lists, sorted list boxes, grids
// and the catalogue and schedule code all order names with it, so they agree with each other.
// It folds letters to upper case with a fixed Windows-1252 table (ASCII and the Western
// accented letters) and then compares bytes, so the order does not depend on the locale of
// the machine, and there is no "word sort" that would ignore hyphens and apostrophes.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace gui {

namespace detail {
constexpr std::array<uint8_t, 256> MakeUpperFold1252() {
    std::array<uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = static_cast<uint8_t>(c);
    for (int c = 'a'; c <= 'z'; ++c)
        table[c] = static_cast<uint8_t>(c - 32);
    // Latin-1 lower-case letters sit 32 above their capitals; 0xF7 is the division sign and
    // 0xDF (sharp s) has no single capital.
    for (int c = 0xE0; c <= 0xFE; ++c)
        if (c != 0xF7) table[c] = static_cast<uint8_t>(c - 32);
    // The Windows-1252 letters in 0x80..0x9F: s, oe and z with marks, and y with diaeresis.
    table[0x9A] = 0x8A;
    table[0x9C] = 0x8C;
    table[0x9E] = 0x8E;
    table[0xFF] = 0x9F;
    return table;
}
inline constexpr std::array<uint8_t, 256> upperFold1252 = MakeUpperFold1252();
} // namespace detail

inline uint8_t FoldCaseI(uint8_t c) {
    return detail::upperFold1252[c];
}

// Negative, zero or positive as a sorts before, equal to or after b ignoring case.
int CompareTextI(std::string_view a, std::string_view b);
inline bool SameTextI(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareTextI(a, b) == 0;
}
// Byte order, for lists that are asked to be case-sensitive.
int CompareStrOrdinal(std::string_view a, std::string_view b);
// The string with every letter folded to upper case by the same table.
std::string UpperCaseI(std::string_view text);

} // namespace gui
