#pragma once
// Dates, numbers and speeds as the program writes and reads them. Every date stored as text
// uses one fixed pattern built from the locale's date order and separator, so files written
// on one machine read back on the same machine whatever the user's short date format; the
// time keeps the locale's long time format. The locale comes in as values, so every locale
// is tested on any machine.

#include "core/ConvertError.h"
#include "gui/Clock.h"

#include <string>
#include <string_view>

namespace core {

struct LocaleFormat {
    std::string shortDateFormat = "M/d/yyyy"; // as the locale states it
    char dateSeparator = '/';
    std::string longTimeFormat = "h:mm:ss tt"; // Windows picture: h H m s t, 'quoted' literals
    char timeSeparator = ':';
    std::string amDesignator = "AM";
    std::string pmDesignator = "PM";
    char decimalSeparator = '.';
};

// 0 month first, 1 day first, 2 year first: the first of D, E/Y or M in the format decides.
int GetDateOrder(std::string_view format);
// "dd/mm/yyyy", "mm/dd/yyyy" or "yyyy/mm/dd" with the locale's separator.
std::string FixedDateFormat(const LocaleFormat& locale);

struct DateParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};
gui::DateTime EncodeDateTime(const DateParts& parts);
DateParts DecodeDateTime(gui::DateTime value);

// Date in the fixed format, a blank, the time in the locale's long time format.
std::string DateToStrFixed(gui::DateTime value, const LocaleFormat& locale);
// Date in the fixed order with 1-2 digit day and month and a 2- or 4-digit year, optionally
// followed by a time (h:mm[:ss] with an optional AM/PM designator). Throws EConvertError.
gui::DateTime StrToDateFixed(std::string_view text, const LocaleFormat& locale);

// Accepts "." or "," whichever the locale does not use. Throws EConvertError.
double StrToFloatAnySep(std::string_view text, char decimalSeparator);

struct SpeedTextResult {
    std::string text;      // "10x" for CDs, "4.0x" for DVDs
    std::string mediaKind; // "CD" or "DVD"
};
// Media types below 4 are CDs (176.4 KB/s a multiple), the others DVDs (1,385 KB/s).
SpeedTextResult SpeedText(int kilobytesPerSecond, int mediaType, char decimalSeparator);

} // namespace core
