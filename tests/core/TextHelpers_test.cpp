#include "core/DateText.h"
#include "core/PathText.h"

#include <gtest/gtest.h>

#include <cmath>

using core::LocaleFormat;

namespace {
LocaleFormat UnitedStates() {
    return {};
}
LocaleFormat Germany() {
    return {"dd.MM.yyyy", '.', "HH:mm:ss", ':', "", "", ','};
}
LocaleFormat Japan() {
    return {"yyyy/MM/dd", '/', "H:mm:ss", ':', "\x8c\xdf\x91\x4f", "\x8c\xdf\x8c\xe3", '.'};
}
LocaleFormat Sweden() {
    return {"yyyy-MM-dd", '-', "HH:mm:ss", ':', "", "", ','};
}
// AM/PM before the time, in the ANSI code pages 949 and 950.
LocaleFormat Korea() {
    return {"yyyy-MM-dd", '-', "tt h:mm:ss", ':', "\xbf\xc0\xc0\xfc", "\xbf\xc0\xc8\xc4", '.'};
}
LocaleFormat Taiwan() {
    return {"yyyy/M/d", '/', "tt hh:mm:ss", ':', "\xa4\x57\xa4\xc8", "\xa4\x55\xa4\xc8", '.'};
}
LocaleFormat SingleLetter() {
    return {"M/d/yyyy", '/', "h:mm:ss t", ':', "AM", "PM", '.'};
}
LocaleFormat SingleLetterFirst() {
    return {"yyyy-MM-dd", '-', "t h:mm:ss", ':', "\xbf\xc0\xc0\xfc", "\xbf\xc0\xc8\xc4", '.'};
}

class FixedClock : public testing::Test {
  protected:
    void SetUp() override { gui::SetClock(&clock); }
    void TearDown() override { gui::SetClock(nullptr); }
    gui::ManualClock clock{core::EncodeDateTime({2026, 12, 6, 12, 0, 0, 0})};
};
} // namespace

TEST(DateText, DateOrderComesFromTheFirstDateLetter) {
    EXPECT_EQ(core::GetDateOrder("M/d/yyyy"), 0);
    EXPECT_EQ(core::GetDateOrder("yyyy-MM-dd"), 2);
    EXPECT_EQ(core::GetDateOrder("dd.MM.yyyy"), 1);
    EXPECT_EQ(core::GetDateOrder("gg ee/MM/dd"), 2);
    EXPECT_EQ(core::GetDateOrder("---"), 0);
    EXPECT_EQ(core::FixedDateFormat(UnitedStates()), "mm/dd/yyyy");
    EXPECT_EQ(core::FixedDateFormat(Sweden()), "yyyy-mm-dd");
    EXPECT_EQ(core::FixedDateFormat(Germany()), "dd.mm.yyyy");
}

TEST(DateText, DayCountsMatchTheStoredConvention) {
    EXPECT_EQ(core::EncodeDateTime({1899, 12, 30}), 0.0);
    EXPECT_EQ(core::EncodeDateTime({2000, 1, 1}), 36526.0);
    EXPECT_DOUBLE_EQ(core::EncodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);
    const auto parts = core::DecodeDateTime(-1.25);
    EXPECT_EQ(parts.day, 29);
    EXPECT_EQ(parts.hour, 6);
    const auto leap = core::DecodeDateTime(core::EncodeDateTime({2024, 2, 29, 23, 59, 59, 999}));
    EXPECT_EQ(leap.month, 2);
    EXPECT_EQ(leap.day, 29);
    EXPECT_EQ(leap.millisecond, 999);
}

TEST_F(FixedClock, FixedDatesRoundTripInEveryLocale) {
    const gui::DateTime moment = core::EncodeDateTime({2026, 3, 4, 17, 5, 9, 0});
    EXPECT_EQ(core::DateToStrFixed(moment, UnitedStates()), "03/04/2026 5:05:09 PM");
    EXPECT_EQ(core::DateToStrFixed(moment, Germany()), "04.03.2026 17:05:09");
    EXPECT_EQ(core::DateToStrFixed(moment, Sweden()), "2026-03-04 17:05:09");
    EXPECT_EQ(core::DateToStrFixed(moment, Korea()), "2026-03-04 \xbf\xc0\xc8\xc4 5:05:09");
    EXPECT_EQ(core::DateToStrFixed(moment, SingleLetter()), "03/04/2026 5:05:09 P");
    // One letter of a two-byte designator would be half a character: the whole one is written.
    EXPECT_EQ(core::DateToStrFixed(moment, SingleLetterFirst()), "2026-03-04 \xbf\xc0\xc8\xc4 5:05:09");
    const gui::DateTime morning = core::EncodeDateTime({2026, 3, 4, 0, 30, 0, 0});
    const gui::DateTime noon = core::EncodeDateTime({2026, 3, 4, 12, 0, 1, 0});
    for (const LocaleFormat& locale : {UnitedStates(), Germany(), Japan(), Sweden(), Korea(), Taiwan(),
                                       SingleLetter(), SingleLetterFirst()}) {
        for (const gui::DateTime when : {moment, morning, noon}) {
            const std::string text = core::DateToStrFixed(when, locale);
            EXPECT_DOUBLE_EQ(core::StrToDateFixed(text, locale), when) << text;
        }
    }
    EXPECT_DOUBLE_EQ(core::StrToDateFixed("4.3.26", Germany()), core::EncodeDateTime({2026, 3, 4}));
    EXPECT_DOUBLE_EQ(core::StrToDateFixed("4.3.77", Germany()), core::EncodeDateTime({1977, 3, 4}));
    EXPECT_DOUBLE_EQ(core::StrToDateFixed("12/31/2026 12:00 am", UnitedStates()),
                     core::EncodeDateTime({2026, 12, 31}));
    EXPECT_DOUBLE_EQ(core::StrToDateFixed(" 2026-12-31 23:59 ", Sweden()),
                     core::EncodeDateTime({2026, 12, 31, 23, 59, 0, 0}));
}

TEST_F(FixedClock, InvalidDatesRaiseTheConversionError) {
    for (const char* bad : {"", "31.02.2026", "1.13.2026", "4.3", "4.3.2026x", "4.3.2026 25:00", "004.3.2026",
                            "4.3.202", "4/3/2026", "4.3.2026 10:61", "4.3.2026 13 PM"})
        EXPECT_THROW(core::StrToDateFixed(bad, Germany()), core::EConvertError) << bad;
    const std::string pm = Korea().pmDesignator;
    for (const std::string& bad :
         std::vector<std::string>{"2026-03-04 " + pm + " 13:00:00", "2026-03-04 " + pm + " 5:00 " + pm,
                                  "2026-03-04 " + pm, "2026-03-04 5:00 P"})
        EXPECT_THROW(core::StrToDateFixed(bad, Korea()), core::EConvertError) << bad;
    EXPECT_THROW(core::StrToDateFixed("3/4/2026 5:00 Px", SingleLetter()), core::EConvertError);
}

TEST(NumberText, EitherDecimalSeparatorIsAccepted) {
    EXPECT_DOUBLE_EQ(core::StrToFloatAnySep("40.5", ','), 40.5);
    EXPECT_DOUBLE_EQ(core::StrToFloatAnySep("40,5", '.'), 40.5);
    EXPECT_DOUBLE_EQ(core::StrToFloatAnySep(" -1,5e2 ", '.'), -150.0);
    EXPECT_DOUBLE_EQ(core::StrToFloatAnySep("700", '.'), 700.0);
    // Exactly the nearest double, as the stored values were written.
    EXPECT_EQ(core::StrToFloatAnySep("0.3", '.'), 0.3);
    EXPECT_EQ(core::StrToFloatAnySep("0,3", '.'), 0.3);
    EXPECT_EQ(core::StrToFloatAnySep("46000.123456789", ','), 46000.123456789);
    EXPECT_EQ(core::StrToFloatAnySep("+1.7976931348623157e308", '.'), 1.7976931348623157e308);
    EXPECT_EQ(core::StrToFloatAnySep("-2.5E-3", '.'), -2.5e-3);
    for (const char* bad :
         {"", "abc", "1.2.3", "1,2,3", ".", "1e", "1e99999", "4 5", "inf", "nan", "0x1p3", "1e999"})
        EXPECT_THROW(core::StrToFloatAnySep(bad, '.'), core::EConvertError) << bad;
}

TEST(SpeedText, CdMultiplesAreWholeAndDvdMultiplesHaveOneDecimal) {
    EXPECT_EQ(core::SpeedText(1764, 2, '.').text, "10x");
    EXPECT_EQ(core::SpeedText(1764, 2, '.').mediaKind, "CD");
    EXPECT_EQ(core::SpeedText(5540, 10, '.').text, "4.0x");
    EXPECT_EQ(core::SpeedText(5540, 10, ',').text, "4,0x");
    EXPECT_EQ(core::SpeedText(5540, 10, ',').mediaKind, "DVD");
    EXPECT_EQ(core::SpeedText(89, 1, '.').text, "1x");
    EXPECT_EQ(core::SpeedText(88, 1, '.').text, "0x");
    EXPECT_EQ(core::SpeedText(0, 5, '.').text, "0.0x");
}

TEST(PathText, ShortNamesFolderJoinsAndCleaning) {
    EXPECT_FALSE(core::IsShortFileName("C:\\Program Files\\a.txt"));
    EXPECT_TRUE(core::IsShortFileName("C:\\DOS\\README.TXT"));
    EXPECT_FALSE(core::IsShortFileName("C:\\LONGFOLDER\\A.TXT"));
    EXPECT_FALSE(core::IsShortFileName("C:\\DOS\\LONGNAME1.TXT"));
    EXPECT_TRUE(core::IsShortFileName("C:\\DOS\\NOEXTENSION"));
    EXPECT_FALSE(core::IsShortFileName(""));

    EXPECT_EQ(core::JoinFolder("C:\\A\\", "\\B"), "C:\\A\\B\\");
    EXPECT_EQ(core::JoinFolder("C:\\A", "B"), "C:\\A\\B\\");
    EXPECT_EQ(core::JoinFolder("C:\\A", ""), "C:\\A\\");
    const std::string longSub(400, 'x');
    EXPECT_EQ(core::JoinFolder("C:\\", "\\" + longSub), "C:\\" + longSub + "\\")
        << "long sub-paths are not cut";

    EXPECT_EQ(core::StripSpecialChars("a:b/c\\d e~f\x01{|}\x7f\xe6"), "abcd e~f\x7f\xe6");
    EXPECT_EQ(core::DriveTypeName(5), "CDROM");
    EXPECT_EQ(core::DriveTypeName(7), "");
}
