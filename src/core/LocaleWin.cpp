#include "core/LocaleWin.h"

#include <windows.h>

namespace core {

namespace {
std::string LocaleText(LCTYPE type, const char* fallback) {
    char buffer[128];
    const int length = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer);
    return length > 1 ? std::string(buffer, static_cast<size_t>(length - 1)) : std::string(fallback);
}
} // namespace

LocaleFormat SystemLocaleFormat() {
    LocaleFormat locale;
    locale.shortDateFormat = LocaleText(LOCALE_SSHORTDATE, "M/d/yyyy");
    locale.dateSeparator = LocaleText(LOCALE_SDATE, "/")[0];
    locale.longTimeFormat = LocaleText(LOCALE_STIMEFORMAT, "h:mm:ss tt");
    locale.timeSeparator = LocaleText(LOCALE_STIME, ":")[0];
    locale.amDesignator = LocaleText(LOCALE_S1159, "");
    locale.pmDesignator = LocaleText(LOCALE_S2359, "");
    locale.decimalSeparator = LocaleText(LOCALE_SDECIMAL, ".")[0];
    return locale;
}

} // namespace core
