#pragma once
// Small portable helpers of the zip library: 64-bit arithmetic and percentages, slashes,
// left and right parts of texts, wildcard tests, DOS date-times, and the pure halves of the
// path conversion and the directory search (the Win32 halves are in ZipLibWin.h).

#include "gui/Clock.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zip {

inline int64_t Min64(int64_t a, int64_t b) {
    return a < b ? a : b;
}
inline int64_t Max64(int64_t a, int64_t b) {
    return a > b ? a : b;
}

// round(part * 100 / whole), at most 100; 0 when whole <= 0. Halves round to even.
int Percent(int64_t part, int64_t whole);
int PercentF(double part, double whole);

void SlashesToUnix(std::string& text);
void SlashesToDos(std::string& text);
std::string RightStr(std::string_view text, size_t count);
std::string LeftStr(std::string_view text, size_t count);
// "*", "?", "<", ">" or "|".
bool HasWildcards(std::string_view text);
// The name with its extension (from the last dot after the last folder) replaced by `ext`,
// or `ext` added when it has none.
std::string ChangeFileExt(const std::string& name, const std::string& ext);
// "X:\" (upper case) for a name on drive X; empty (the current drive) otherwise.
std::string DriveRootOf(std::string_view name);

std::string PCharToStr(const char* text);
// A zero-terminated copy; none for an empty text.
std::unique_ptr<char[]> StrToNewPChar(std::string_view text);

// DOS date-time: time in the low word (seconds / 2, minutes, hours), date in the high word
// (day, month, years since 1980).
uint32_t PackDosDateTime(int year, int month, int day, int hour, int minute, int second);
// Clamps hour to 23, minute and second to 59, year to 2099, month to 1-12 and a day of 0 to 1;
// the value is re-packed only when a part was out of range. Days past the month's end stay.
uint32_t FixDosDateTime(uint32_t value);
// nullopt for a date that does not exist (a 30th of February).
std::optional<gui::DateTime> DosDateTimeToDateTime(uint32_t value);
// Clamped to the DOS range 1980-01-01 .. 2107-12-31 23:59:58.
uint32_t DateTimeToDosDateTime(gui::DateTime value);
// A file's time against an entry's DOS time at the 2-second precision of DOS times (both
// clamped first): below 0 when the file is older, 0 when they are the same, above 0 when the
// file is newer. Full file times would make every odd-second file look newer than its entry.
int CompareDosTime(uint32_t fileDosDateTime, uint32_t entryDosDateTime);
int CompareDosTime(gui::DateTime fileTime, uint32_t entryDosDateTime);

// Path conversion between long and short forms, with the file system behind a lookup:
// given the path up to and including one component, the lookup answers the component's name
// on disk in the wanted form, or nullopt when it is not there.
using PathLookup = std::function<std::optional<std::string>(const std::string& path, bool toLong)>;
std::string ConvertPathWith(std::string_view path, bool toLong, const PathLookup& lookup);

// The start of a directory search: the fixed folder (ending with "\") and the folder patterns
// that follow it, one per level, when the start path holds wildcards.
struct SearchStart {
    std::string folder;
    std::vector<std::string> parts;
};
SearchStart SplitSearchStart(std::string_view startPath);

} // namespace zip
