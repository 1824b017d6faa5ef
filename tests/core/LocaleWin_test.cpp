// The text helpers under the user's real locale settings. ctest runs this test once per locale
// (TARNWICK_LC_ALL for Wine, TARNWICK_LOCALE_UNDER_TEST for the expectations); the plain run
// is the pinned en_US.
#include "core/DateText.h"
#include "core/FuncMin.h"
#include "core/LocaleWin.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>

namespace {
struct LocaleExpectation {
    const char* name;
    int dateOrder;
    char decimalSeparator;
    unsigned oemCodePage;
};
constexpr LocaleExpectation expectations[] = {{"en_US", 0, '.', 437}, {"de_DE", 1, ',', 850},
                                              {"da_DK", 1, ',', 850}, {"ja_JP", 2, '.', 932},
                                              {"ko_KR", 2, '.', 949}, {"zh_TW", 2, '.', 950}};
} // namespace

TEST(SystemLocale, DatesNumbersSpeedsAndOemNamesFollowTheLocale) {
    const char* underTest = std::getenv("TARNWICK_LOCALE_UNDER_TEST");
    const std::string name = underTest && *underTest ? underTest : "en_US";
    const LocaleExpectation* expected = nullptr;
    for (const auto& candidate : expectations)
        if (name == candidate.name) expected = &candidate;
    ASSERT_NE(expected, nullptr) << name;

    const core::LocaleFormat locale = core::SystemLocaleFormat();
    EXPECT_EQ(core::GetDateOrder(locale.shortDateFormat), expected->dateOrder) << locale.shortDateFormat;
    EXPECT_EQ(locale.decimalSeparator, expected->decimalSeparator);
    EXPECT_EQ(GetOEMCP(), expected->oemCodePage);

    for (const int hour : {0, 9, 12, 17}) {
        const gui::DateTime moment = core::EncodeDateTime({2026, 3, 4, hour, 5, 9, 0});
        const std::string text = core::DateToStrFixed(moment, locale);
        EXPECT_DOUBLE_EQ(core::StrToDateFixed(text, locale), moment)
            << text << " in " << locale.longTimeFormat;
    }

    EXPECT_EQ(core::SpeedText(5540, 10, locale.decimalSeparator).text,
              std::string("4") + expected->decimalSeparator + "0x");
    EXPECT_DOUBLE_EQ(core::StrToFloatAnySep("40.5", locale.decimalSeparator), 40.5);
    EXPECT_DOUBLE_EQ(core::StrToFloatAnySep("40,5", locale.decimalSeparator), 40.5);

    // Where the ANSI and OEM code pages are one, names pass unchanged.
    const std::map<unsigned, std::string> sameInBoth = {
        {932, "\x83\x65\x83\x58\x83\x67"}, {949, "\xc7\xd1\xb1\xdb"}, {950, "\xa4\xa4\xa4\xe5"}};
    if (const auto name = sameInBoth.find(expected->oemCodePage); name != sameInBoth.end()) {
        EXPECT_EQ(core::AnsiToOemName(name->second, false), name->second);
    } else {
        EXPECT_EQ(core::AnsiToOemName("caf\xe9", false), "caf\x82");
        EXPECT_EQ(core::OemToAnsiName("caf\x82", false), "caf\xe9");
    }
}
