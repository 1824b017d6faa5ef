// Dates of the image. The program keeps local time as days since 1899-12-30; the image keeps
// civil fields plus the zone offset. Conversion goes through days since 1970 with the
// proleptic Gregorian calendar, which is exact for every year a disc can carry.

#include "disc/IsoRecords.h"

#include <cmath>
#include <cstdio>

namespace disc {

namespace {

constexpr int64_t kDaysFrom1899To1970 = 25569;

int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

} // namespace

CivilTime CivilFromDateTime(gui::DateTime value) {
    CivilTime civil;
    if (!std::isfinite(value) || value < 0 || value > 2958465) return civil; // beyond 9999-12-31
    int64_t hundredths = std::llround(value * 8640000.0);
    int64_t days = hundredths / 8640000;
    int64_t rest = hundredths % 8640000;
    CivilFromDays(days - kDaysFrom1899To1970, civil.year, civil.month, civil.day);
    civil.hour = static_cast<int>(rest / 360000);
    civil.minute = static_cast<int>(rest / 6000 % 60);
    civil.second = static_cast<int>(rest / 100 % 60);
    civil.hundredths = static_cast<int>(rest % 100);
    return civil;
}

bool DateTimeFromCivil(const CivilTime& c, gui::DateTime& value) {
    static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (c.month < 1 || c.month > 12 || c.day < 1 || c.hour > 23 || c.minute > 59 || c.second > 59)
        return false;
    int monthDays = kMonthDays[c.month - 1] + (c.month == 2 && IsLeap(c.year) ? 1 : 0);
    if (c.day > monthDays || c.hour < 0 || c.minute < 0 || c.second < 0) return false;
    value = static_cast<double>(DaysFromCivil(c.year, c.month, c.day) + kDaysFrom1899To1970) +
            (c.hour * 3600 + c.minute * 60 + c.second) / 86400.0;
    return true;
}

void PutRecordDate(uint8_t* p, gui::DateTime value, int16_t gmtOffset) {
    CivilTime c = CivilFromDateTime(value);
    int years = c.year - 1900;
    p[0] = static_cast<uint8_t>(years < 0 ? 0 : (years > 255 ? 255 : years));
    p[1] = static_cast<uint8_t>(c.month);
    p[2] = static_cast<uint8_t>(c.day);
    p[3] = static_cast<uint8_t>(c.hour);
    p[4] = static_cast<uint8_t>(c.minute);
    p[5] = static_cast<uint8_t>(c.second);
    p[6] = static_cast<uint8_t>(static_cast<int8_t>(gmtOffset));
}

bool GetRecordDate(const uint8_t* p, gui::DateTime& value) {
    CivilTime c;
    c.year = 1900 + p[0];
    c.month = p[1];
    c.day = p[2];
    c.hour = p[3];
    c.minute = p[4];
    c.second = p[5];
    return DateTimeFromCivil(c, value);
}

void PutDescriptorDate(uint8_t* p, gui::DateTime value, int16_t gmtOffset) {
    if (value == 0) {
        std::memset(p, '0', 16);
        p[16] = 0;
        return;
    }
    CivilTime c = CivilFromDateTime(value);
    char text[40];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d%02d", c.year % 10000, c.month, c.day, c.hour,
                  c.minute, c.second, c.hundredths);
    std::memcpy(p, text, 16);
    p[16] = static_cast<uint8_t>(static_cast<int8_t>(gmtOffset));
}

} // namespace disc
