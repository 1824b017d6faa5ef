#pragma once
// Names in the two directory trees of an image: the short ISO identifier made from a long name,
// the conversion of ANSI text to and from UCS-2, and the orderings the directory records and
// path tables must follow.

#include <cstdint>
#include <string>
#include <string_view>

namespace disc {

// Longest short name (without ";1"): readers of every level accept it, and it is what the
// identifiers of earlier versions of this program looked like.
constexpr size_t kShortNameMax = 13;
// A Joliet record (33 bytes, the UCS-2 identifier, a pad byte) must stay within 255 bytes.
constexpr size_t kJolietNameMax = 110;

// One ANSI byte (Windows-1252) as a UCS-2 code unit and back ('_' where there is none).
char16_t AnsiToUcs2(unsigned char c);
char Ucs2ToAnsi(char16_t unit);
std::u16string AnsiToUcs2(std::string_view text);
std::string Ucs2ToAnsi(std::u16string_view text);

// The short name before uniqueness: upper case, unsafe characters as "_", the extension kept
// (files only) and the whole cut to kShortNameMax.
std::string MakeShortName(std::string_view longName, bool isFile);

// The n-th alternative of a short name that collided in its folder ("NAME~1.EXT", ...).
std::string NumberedShortName(std::string_view shortName, unsigned number, bool isFile);

// A long name as it may stand in a Joliet identifier (the characters Joliet forbids as "_").
std::string MakeLongName(std::string_view name);

// Ordering of ISO identifiers: name, then extension, each padded with blanks.
int CompareIsoNames(std::string_view a, std::string_view b);
// Ordering of Joliet identifiers: UCS-2 code units, ordinal.
int CompareJolietNames(std::u16string_view a, std::u16string_view b);

} // namespace disc
