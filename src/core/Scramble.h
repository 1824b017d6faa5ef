#pragma once
// The reversible scrambling of stored passwords: groups of five decimal digits, each a
// 16-bit value of two bytes of a length-prefixed buffer plus a fixed key. The key belongs to
// the stored format; files written with one key read back only with the same key.

#include "core/ConvertError.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace core {

constexpr unsigned ScrambleKey = 0x6e3a;
// Characters a scrambled text keeps; the rest of a longer text is lost.
constexpr size_t MaxScrambledLength = 255;

std::string ScrambleText(std::string_view text, unsigned key);
// Throws EConvertError on a group that is not a number.
std::string UnscrambleText(std::string_view scrambled, unsigned key);

} // namespace core
