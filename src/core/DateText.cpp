#include "core/DateText.h"

#include "gui/CivilDate.h"
#include "gui/TextTrim.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace core {

namespace {

using gui::CivilFromDays;
using gui::DaysFromCivil;
using gui::DaysInMonth;
constexpr int64_t epochDays = gui::DateTimeEpochDays;

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string TwoDigits(int value) {
    std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

[[noreturn]] void NotADate(std::string_view text) {
    throw EConvertError("'" + std::string(text) + "' is not a valid date");
}

// Reads up to maxDigits digits; false when there is none.
bool ReadNumber(std::string_view text, size_t& position, int maxDigits, int& value, int& digits) {
    value = 0;
    digits = 0;
    while (position < text.size() && digits < maxDigits && text[position] >= '0' && text[position] <= '9') {
        value = value * 10 + (text[position] - '0');
        ++position;
        ++digits;
    }
    return digits > 0;
}

void SkipBlanks(std::string_view text, size_t& position) {
    while (position < text.size() && text[position] == ' ')
        ++position;
}

bool MatchesDesignator(std::string_view text, size_t position, const std::string& designator) {
    if (designator.empty() || text.size() - position < designator.size()) return false;
    for (size_t i = 0; i < designator.size(); ++i)
        if (UpperAscii(text[position + i]) != UpperAscii(designator[i])) return false;
    return true;
}

// Two-digit years fall within fifty years of the current one.
int ExpandYear(int year, int digits) {
    if (digits > 2) return year;
    const int currentYear = DecodeDateTime(gui::CurrentClock().Now()).year;
    int expanded = currentYear - currentYear % 100 + year;
    if (expanded > currentYear + 50)
        expanded -= 100;
    else if (expanded <= currentYear - 50)
        expanded += 100;
    return expanded;
}

// A single "t" writes one letter: only when that letter is a whole character and tells AM
// from PM, else the text could not be read back.
bool SingleLetterDesignators(const LocaleFormat& locale) {
    const std::string& am = locale.amDesignator;
    const std::string& pm = locale.pmDesignator;
    auto ascii = [](const std::string& text) {
        return !text.empty() && static_cast<unsigned char>(text[0]) < 0x80;
    };
    return ascii(am) && ascii(pm) && UpperAscii(am[0]) != UpperAscii(pm[0]);
}

// Reads an AM/PM designator, whole or as its one letter; 0 none, 1 AM, 2 PM.
int ReadDesignator(std::string_view text, size_t& position, const LocaleFormat& locale) {
    if (MatchesDesignator(text, position, locale.pmDesignator)) {
        position += locale.pmDesignator.size();
        return 2;
    }
    if (MatchesDesignator(text, position, locale.amDesignator)) {
        position += locale.amDesignator.size();
        return 1;
    }
    if (SingleLetterDesignators(locale) && position < text.size()) {
        const char letter = UpperAscii(text[position]);
        const bool endsThere = position + 1 == text.size() || text[position + 1] == ' ';
        if (endsThere && letter == UpperAscii(locale.pmDesignator[0])) return ++position, 2;
        if (endsThere && letter == UpperAscii(locale.amDesignator[0])) return ++position, 1;
    }
    return 0;
}

std::string FormatTime(const DateParts& parts, const LocaleFormat& locale) {
    const std::string& picture = locale.longTimeFormat;
    std::string text;
    for (size_t i = 0; i < picture.size();) {
        const char c = picture[i];
        size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c)
            ++run;
        if (c == '\'') {
            const size_t close = picture.find('\'', i + 1);
            text += picture.substr(i + 1, (close == std::string::npos ? picture.size() : close) - i - 1);
            i = close == std::string::npos ? picture.size() : close + 1;
            continue;
        }
        switch (c) {
        case 'h': {
            const int hour12 = parts.hour % 12 == 0 ? 12 : parts.hour % 12;
            text += run >= 2 ? TwoDigits(hour12) : std::to_string(hour12);
            break;
        }
        case 'H':
            text += run >= 2 ? TwoDigits(parts.hour) : std::to_string(parts.hour);
            break;
        case 'm':
            text += run >= 2 ? TwoDigits(parts.minute) : std::to_string(parts.minute);
            break;
        case 's':
            text += run >= 2 ? TwoDigits(parts.second) : std::to_string(parts.second);
            break;
        case 't': {
            const std::string& designator = parts.hour < 12 ? locale.amDesignator : locale.pmDesignator;
            text += run >= 2 || !SingleLetterDesignators(locale) ? designator : designator.substr(0, 1);
            break;
        }
        default:
            text.append(run, c);
            break;
        }
        i += run;
    }
    return text;
}

} // namespace

int GetDateOrder(std::string_view format) {
    for (char c : format) {
        switch (UpperAscii(c)) {
        case 'D':
            return 1;
        case 'E':
        case 'Y':
            return 2;
        case 'M':
            return 0;
        default:
            break;
        }
    }
    return 0;
}

std::string FixedDateFormat(const LocaleFormat& locale) {
    const std::string sep(1, locale.dateSeparator);
    switch (GetDateOrder(locale.shortDateFormat)) {
    case 0:
        return "mm" + sep + "dd" + sep + "yyyy";
    case 2:
        return "yyyy" + sep + "mm" + sep + "dd";
    default:
        return "dd" + sep + "mm" + sep + "yyyy";
    }
}

gui::DateTime EncodeDateTime(const DateParts& parts) {
    const double days = static_cast<double>(DaysFromCivil(parts.year, parts.month, parts.day) - epochDays);
    const double time =
        (parts.hour * 3'600'000.0 + parts.minute * 60'000.0 + parts.second * 1000.0 + parts.millisecond) /
        86'400'000.0;
    // Before the epoch the fraction still counts forward within the day, as the day count does.
    return days >= 0 ? days + time : days - time;
}

DateParts DecodeDateTime(gui::DateTime value) {
    DateParts parts;
    const double whole = std::trunc(value);
    int64_t milliseconds = std::llround(std::fabs(value - whole) * 86'400'000.0);
    int64_t days = static_cast<int64_t>(whole);
    if (milliseconds >= 86'400'000) {
        milliseconds -= 86'400'000;
        days += value >= 0 ? 1 : -1;
    }
    CivilFromDays(days + epochDays, parts.year, parts.month, parts.day);
    parts.hour = static_cast<int>(milliseconds / 3'600'000);
    parts.minute = static_cast<int>(milliseconds / 60'000 % 60);
    parts.second = static_cast<int>(milliseconds / 1000 % 60);
    parts.millisecond = static_cast<int>(milliseconds % 1000);
    return parts;
}

std::string DateToStrFixed(gui::DateTime value, const LocaleFormat& locale) {
    const DateParts parts = DecodeDateTime(value);
    const std::string sep(1, locale.dateSeparator);
    const std::string day = TwoDigits(parts.day), month = TwoDigits(parts.month);
    std::string year = std::to_string(parts.year);
    while (year.size() < 4)
        year = "0" + year;
    std::string date;
    switch (GetDateOrder(locale.shortDateFormat)) {
    case 0:
        date = month + sep + day + sep + year;
        break;
    case 2:
        date = year + sep + month + sep + day;
        break;
    default:
        date = day + sep + month + sep + year;
        break;
    }
    return date + " " + FormatTime(parts, locale);
}

gui::DateTime StrToDateFixed(std::string_view text, const LocaleFormat& locale) {
    size_t position = 0;
    SkipBlanks(text, position);
    int numbers[3] = {};
    int digits[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (position >= text.size() || text[position] != locale.dateSeparator) NotADate(text);
            ++position;
        }
        if (!ReadNumber(text, position, 4, numbers[i], digits[i])) NotADate(text);
    }
    DateParts parts;
    int yearDigits = 0;
    switch (GetDateOrder(locale.shortDateFormat)) {
    case 0:
        parts.month = numbers[0], parts.day = numbers[1], parts.year = numbers[2], yearDigits = digits[2];
        if (digits[0] > 2 || digits[1] > 2) NotADate(text);
        break;
    case 2:
        parts.year = numbers[0], parts.month = numbers[1], parts.day = numbers[2], yearDigits = digits[0];
        if (digits[1] > 2 || digits[2] > 2) NotADate(text);
        break;
    default:
        parts.day = numbers[0], parts.month = numbers[1], parts.year = numbers[2], yearDigits = digits[2];
        if (digits[0] > 2 || digits[1] > 2) NotADate(text);
        break;
    }
    if (yearDigits == 3) NotADate(text);
    parts.year = ExpandYear(parts.year, yearDigits);
    if (parts.year < 1 || parts.month < 1 || parts.month > 12 || parts.day < 1 ||
        parts.day > DaysInMonth(parts.year, parts.month))
        NotADate(text);

    SkipBlanks(text, position);
    if (position < text.size()) {
        // The designator stands before the time in some locales (ko-KR, zh-TW), after it in others.
        int designator = ReadDesignator(text, position, locale);
        SkipBlanks(text, position);
        int value = 0, count = 0;
        if (!ReadNumber(text, position, 2, value, count)) NotADate(text);
        parts.hour = value;
        for (int* field : {&parts.minute, &parts.second}) {
            if (position >= text.size() || text[position] != locale.timeSeparator) break;
            ++position;
            if (!ReadNumber(text, position, 2, value, count)) NotADate(text);
            *field = value;
        }
        SkipBlanks(text, position);
        if (designator == 0) designator = ReadDesignator(text, position, locale);
        if (designator != 0 && (parts.hour > 12 || parts.hour == 0)) NotADate(text);
        if (designator == 2 && parts.hour < 12) parts.hour += 12;
        if (designator == 1 && parts.hour == 12) parts.hour = 0;
        SkipBlanks(text, position);
        if (position != text.size() || parts.hour > 23 || parts.minute > 59 || parts.second > 59)
            NotADate(text);
    }
    return EncodeDateTime(parts);
}

double StrToFloatAnySep(std::string_view text, char decimalSeparator) {
    std::string work(text);
    if (work.find(decimalSeparator) == std::string::npos) {
        const char other = decimalSeparator == ',' ? '.' : ',';
        const size_t found = work.find(other);
        if (found != std::string::npos) work[found] = decimalSeparator;
    }
    const std::string_view number = gui::TrimView(work);

    auto fail = [&]() -> double {
        throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
    };
    // The grammar is checked here; the conversion itself is the library's correctly rounded one.
    std::string plain;
    size_t i = 0;
    if (i < number.size() && (number[i] == '+' || number[i] == '-')) {
        if (number[i] == '-') plain += '-';
        ++i;
    }
    bool anyDigit = false;
    auto digits = [&] {
        while (i < number.size() && number[i] >= '0' && number[i] <= '9') {
            plain += number[i++];
            anyDigit = true;
        }
    };
    digits();
    if (i < number.size() && number[i] == decimalSeparator) {
        plain += '.';
        ++i;
        digits();
    }
    if (!anyDigit) return fail();
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < number.size() && (number[i] == '+' || number[i] == '-')) plain += number[i++];
        int exponentDigits = 0;
        while (i < number.size() && number[i] >= '0' && number[i] <= '9' && exponentDigits < 4) {
            plain += number[i++];
            ++exponentDigits;
        }
        if (exponentDigits == 0) return fail();
    }
    if (i != number.size()) return fail();
    double value = 0;
    const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value)) return fail();
    return value;
}

SpeedTextResult SpeedText(int kilobytesPerSecond, int mediaType, char decimalSeparator) {
    if (mediaType < 4) {
        // Half away from zero, as the "0x" picture rounds.
        const double multiple = kilobytesPerSecond / 176.4;
        return {std::to_string(static_cast<long long>(std::round(multiple))) + "x", "CD"};
    }
    const long long tenths = std::llround(kilobytesPerSecond / 1385.0 * 10);
    const long long magnitude = tenths < 0 ? -tenths : tenths;
    std::string text = (tenths < 0 ? "-" : "") + std::to_string(magnitude / 10) + decimalSeparator +
                       std::to_string(magnitude % 10) + "x";
    return {text, "DVD"};
}

} // namespace core
