// Portable helpers of the zip library.
//
// DOS date-times are the zip format's 32-bit stamps (two-second steps, 1980-2107); date-time
// values are the program's day counts since 1899-12-30 with the time as the fraction. The
// conversion between them uses the proleptic Gregorian day count, so no time zone or C
// library state is involved: the local time is what the stamp says.
//
// Path conversion and the split of a search start are pure text work here; the file system
// comes in through a lookup so that drive, UNC and relative forms are tested without one.

#include "zip/ZipLib.h"

#include "gui/CivilDate.h"

#include <cmath>
#include <cstring>

namespace zip {

namespace {

constexpr double SecondsPerDay = 86400.0;

using gui::CivilFromDays;
using gui::DaysFromCivil;
using gui::DaysInMonth;
constexpr int64_t DateTimeEpoch = gui::DateTimeEpochDays;

int RoundPercent(long double value) {
    const long double rounded = std::nearbyint(value);
    return rounded > 100 ? 100 : static_cast<int>(rounded);
}

} // namespace

int Percent(int64_t part, int64_t whole) {
    if (whole <= 0) return 0;
    return RoundPercent(static_cast<long double>(part) * 100 / static_cast<long double>(whole));
}

int PercentF(double part, double whole) {
    if (!(whole > 0) || std::isnan(part)) return 0;
    return RoundPercent(static_cast<long double>(part) * 100 / whole);
}

void SlashesToUnix(std::string& text) {
    for (char& c : text)
        if (c == '\\') c = '/';
}

void SlashesToDos(std::string& text) {
    for (char& c : text)
        if (c == '/') c = '\\';
}

std::string RightStr(std::string_view text, size_t count) {
    return std::string(count >= text.size() ? text : text.substr(text.size() - count));
}

std::string LeftStr(std::string_view text, size_t count) {
    return std::string(text.substr(0, count));
}

std::string ChangeFileExt(const std::string& name, const std::string& ext) {
    const size_t dot = name.find_last_of(".\\/:");
    if (dot != std::string::npos && name[dot] == '.') return name.substr(0, dot) + ext;
    return name + ext;
}

std::string DriveRootOf(std::string_view name) {
    if (name.size() < 2 || name[1] != ':') return {};
    const char letter = name[0] >= 'a' && name[0] <= 'z' ? static_cast<char>(name[0] - 'a' + 'A') : name[0];
    return std::string(1, letter) + ":\\";
}

bool HasWildcards(std::string_view text) {
    return text.find_first_of("*?<>|") != std::string_view::npos;
}

std::string PCharToStr(const char* text) {
    return text ? std::string(text) : std::string();
}

std::unique_ptr<char[]> StrToNewPChar(std::string_view text) {
    if (text.empty()) return nullptr;
    auto copy = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(copy.get(), text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

uint32_t PackDosDateTime(int year, int month, int day, int hour, int minute, int second) {
    const uint32_t date = uint32_t(year - 1980) << 9 | uint32_t(month) << 5 | uint32_t(day);
    const uint32_t time = uint32_t(hour) << 11 | uint32_t(minute) << 5 | uint32_t(second / 2);
    return date << 16 | time;
}

uint32_t FixDosDateTime(uint32_t value) {
    int second = int(value & 0x1F) * 2;
    int minute = int(value >> 5) & 0x3F;
    int hour = int(value >> 11) & 0x1F;
    int day = int(value >> 16) & 0x1F;
    int month = int(value >> 21) & 0x0F;
    int year = int(value >> 25) + 1980;
    bool changed = false;
    auto clamp = [&changed](int& field, int low, int high) {
        if (field < low || field > high) {
            field = field < low ? low : high;
            changed = true;
        }
    };
    clamp(hour, 0, 23);
    clamp(minute, 0, 59);
    clamp(second, 0, 59);
    clamp(year, 1980, 2099);
    clamp(month, 1, 12);
    clamp(day, 1, 31);
    return changed ? PackDosDateTime(year, month, day, hour, minute, second) : value;
}

std::optional<gui::DateTime> DosDateTimeToDateTime(uint32_t value) {
    const int second = int(value & 0x1F) * 2;
    const int minute = int(value >> 5) & 0x3F;
    const int hour = int(value >> 11) & 0x1F;
    const int day = int(value >> 16) & 0x1F;
    const int month = int(value >> 21) & 0x0F;
    const int year = int(value >> 25) + 1980;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59)
        return std::nullopt;
    const int64_t days = DaysFromCivil(year, unsigned(month), unsigned(day)) - DateTimeEpoch;
    return static_cast<double>(days) + (hour * 3600 + minute * 60 + second) / SecondsPerDay;
}

uint32_t DateTimeToDosDateTime(gui::DateTime value) {
    const double lowest = static_cast<double>(DaysFromCivil(1980, 1, 1) - DateTimeEpoch);
    const double highest = static_cast<double>(DaysFromCivil(2107, 12, 31) - DateTimeEpoch) +
                           (23 * 3600 + 59 * 60 + 58) / SecondsPerDay;
    if (!(value >= lowest)) value = lowest;
    if (value > highest) value = highest;
    int64_t days = static_cast<int64_t>(std::floor(value));
    int64_t seconds = std::llround((value - static_cast<double>(days)) * SecondsPerDay);
    if (seconds >= 86400) {
        ++days;
        seconds -= 86400;
    }
    int year, month, day;
    CivilFromDays(days + DateTimeEpoch, year, month, day);
    return PackDosDateTime(year, month, day, int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60));
}

int CompareDosTime(uint32_t fileDosDateTime, uint32_t entryDosDateTime) {
    // Packed DOS values order like the times they hold: year, month, day, hour, minute and
    // second sit in falling bit positions.
    const uint32_t file = FixDosDateTime(fileDosDateTime);
    const uint32_t entry = FixDosDateTime(entryDosDateTime);
    return file < entry ? -1 : file > entry ? 1 : 0;
}

int CompareDosTime(gui::DateTime fileTime, uint32_t entryDosDateTime) {
    return CompareDosTime(DateTimeToDosDateTime(fileTime), entryDosDateTime);
}

std::string ConvertPathWith(std::string_view input, bool toLong, const PathLookup& lookup) {
    std::string path(input);
    if (path.size() >= 2 && path[1] == ':' && (path.size() == 2 || path[2] != '\\'))
        path = path.substr(0, 2) + "\\" + path.substr(2);
    const bool trailing = path.size() > 1 && path.back() == '\\';
    if (trailing) path.pop_back();

    // The root is kept as it is: "\", "\\server\share" or "X:".
    std::string built;
    size_t rest = 0;
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        const size_t server = path.find('\\', 2);
        const size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
        if (share == std::string::npos) return path + (trailing ? "\\" : "");
        built = path.substr(0, share);
        rest = share + 1;
    } else if (path.size() >= 2 && path[1] == ':') {
        built = path.substr(0, 2);
        rest = path.size() > 2 ? 3 : 2;
    } else if (!path.empty() && path[0] == '\\') {
        rest = 1;
    }
    const bool rooted = rest > 0;

    bool first = true;
    while (rest < path.size()) {
        size_t end = path.find('\\', rest);
        if (end == std::string::npos) end = path.size();
        std::string component = path.substr(rest, end - rest);
        std::string prefix = built + (rooted || !first ? "\\" : "");
        if (!component.empty() && component != "." && component != ".." && !HasWildcards(component)) {
            if (std::optional<std::string> found = lookup(prefix + component, toLong);
                found && !found->empty())
                component = *found;
        }
        built = prefix + component;
        first = false;
        rest = end + 1;
    }
    if (rooted && first)
        built += "\\"; // the root alone: "C:\" or "\"
    else if (trailing)
        built += "\\";
    return built;
}

SearchStart SplitSearchStart(std::string_view startPath) {
    std::string path(startPath);
    if (!path.empty() && path.back() != '\\') path += '\\';
    SearchStart start;
    const size_t wild = path.find_first_of("*?<>|");
    if (wild == std::string::npos) {
        start.folder = path;
        return start;
    }
    const size_t cut = path.rfind('\\', wild);
    const size_t partsBegin = cut == std::string::npos ? 0 : cut + 1;
    start.folder = path.substr(0, partsBegin);
    for (size_t at = partsBegin; at < path.size();) {
        size_t end = path.find('\\', at);
        if (end == std::string::npos) end = path.size();
        if (end > at) start.parts.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return start;
}

} // namespace zip
