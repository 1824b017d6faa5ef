// The start's rules that need no drive: the volume size from the size box and the
// destination's capacity, the destination's alternatives, and the names of the job's files.

#include "core/DateText.h"
#include "job/JobStartRules.h"
#include "job/SelectionRules.h"
#include "zip/ZipLib.h"

#include <gtest/gtest.h>

#include <set>

using namespace job;

TEST(JobStartRules, VolumeSizeFromTheBoxTheDriveAndACdSizedMedium) {
    auto rule = [](const std::string& text, int64_t destSize = 0, int64_t destFree = 0, bool hidden = false,
                   std::function<bool()> ask = nullptr) {
        VolumeSizeInput input;
        input.Text = text;
        input.DestSize = destSize;
        input.DestFree = destFree;
        input.Hidden = hidden;
        return ApplyVolumeSizeRules(input, ask);
    };
    EXPECT_EQ(rule("5000").MaxZipSize, 4'294'967'295);
    EXPECT_EQ(rule("5000").Shown, "4095");
    EXPECT_EQ(rule("2").MaxZipSize, 4'194'304);
    EXPECT_EQ(rule("-7").Shown, "4");
    EXPECT_EQ(rule("x").MaxZipSize, 681'574'400);
    EXPECT_EQ(rule("x").Shown, "650");
    EXPECT_EQ(rule("1234567890123").Shown, "4095") << "thirteen digits are still a size";
    EXPECT_EQ(rule("99999999999999999999999").MaxZipSize, 4'294'967'295);

    const VolumeSize floppy = rule("650", 104'857'600, 104'000'000);
    EXPECT_EQ(floppy.MaxZipSize, 104'857'600) << "a 100 MiB disk lowers the size to its own";
    EXPECT_EQ(floppy.Shown, "100");

    int asked = 0;
    const VolumeSize yes = rule("700", 680'001'536, 600'000'000, false, [&] { return ++asked, true; });
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(yes.MaxZipSize, 555'745'280);
    EXPECT_EQ(yes.Shown, "530");
    EXPECT_EQ(yes.SpaceReserve, -1) << "the free space holds the smaller volume";
    const VolumeSize no = rule("700", 680'001'536, 600'000'000, false, [] { return false; });
    EXPECT_EQ(no.MaxZipSize, 680'001'536) << "the drive's own size, as rule 7 set it";
    EXPECT_EQ(no.SpaceReserve, 80'001'536);
    const VolumeSize hidden = rule("700", 680'001'536, 700'000'000, true, [&] { return ++asked, false; });
    EXPECT_EQ(hidden.MaxZipSize, 555'745'280) << "hidden: at once, nothing asked";
    EXPECT_EQ(asked, 1);

    VolumeSizeInput disc;
    disc.Text = "700";
    disc.DiscWriterMode = true;
    disc.DiscCapacity = 500'000'000;
    disc.DestSize = 680'001'536;
    const VolumeSize onDisc = ApplyVolumeSizeRules(disc, nullptr);
    EXPECT_EQ(onDisc.MaxZipSize, 734'003'200);
    EXPECT_EQ(onDisc.SpaceReserve, 734'003'200 - 500'000'000 + 2'097'152);
}

TEST(JobStartRules, DestinationsAndTheNamesOfTheJobsFiles) {
    std::string field = " E:\\ | \\\\server\\share\\ ||D:\\Backup\\";
    EXPECT_EQ(ParseDestinations(field), (std::vector<std::string>{"E:", "\\\\server\\share", "D:\\Backup"}));
    EXPECT_EQ(field, "E:|\\\\server\\share|D:\\Backup|");
    std::string single = "F:\\";
    EXPECT_EQ(ParseDestinations(single), (std::vector<std::string>{"F:"}));
    EXPECT_EQ(single, "F:");

    std::set<std::string> files{"C:\\T\\Log\\Daily_100.txt"};
    const auto exists = [&](const std::string& name) { return files.count(name) > 0; };
    EXPECT_EQ(NextJobLogName("C:\\T\\", "Daily.dat", exists), "C:\\T\\Log\\Daily_101.txt");
    files.clear();
    EXPECT_EQ(NextJobLogName("C:\\T\\", "Daily.dat", exists), "C:\\T\\Log\\Daily_100.txt");
    EXPECT_EQ(CsvFileNameFor("C:\\T\\", "Daily.dat", 46363.75), "C:\\T\\Catalogs\\Daily 202612071800.csv");

    std::string shown;
    EXPECT_EQ(CatalogNamesFor("C:\\T\\", "Daily.dat", "", shown), "C:\\T\\Catalogs\\Daily.cat");
    EXPECT_EQ(shown, "Daily.cat");
    EXPECT_EQ(CatalogNamesFor("C:\\T\\", "Daily.dat", "Week", shown), "C:\\T\\Catalogs\\Week.cat");
    EXPECT_EQ(CatalogNamesFor("C:\\T\\", "Daily.dat", "Week.CAT", shown), "C:\\T\\Catalogs\\Week.CAT");
    EXPECT_EQ(CatalogNamesFor("C:\\T\\", "Daily.dat", "D:\\c\\x.cat", shown), "D:\\c\\x.cat");
    EXPECT_EQ(CleanZipName("C:\\bk*%DATE%"), "Cbk%DATE%");
}

TEST(JobStartRules, AfterDateOfTheStartIsTheSelectionsToTheSecond) {
    // Every second of a day, as the "After:" text holds it, comes back as that second (a cut
    // instead of rounding gave one second less for about half of them).
    const core::LocaleFormat locale;
    const double day = 46000; // 2025-12-09
    for (int second = 0; second < 86400; ++second) {
        const double when =
            core::StrToDateFixed(core::DateToStrFixed(day + second / 86400.0, locale), locale);
        const uint32_t expected =
            zip::PackDosDateTime(2025, 12, 9, second / 3600, second / 60 % 60, second % 60);
        ASSERT_EQ(DosDateTimeOf(when), expected) << second;
        ASSERT_EQ(RunAfterDate(core::DateToStrFixed(when, locale), true, 0, locale), expected) << second;
    }
    EXPECT_EQ(DosDateTimeOf(1.5), zip::PackDosDateTime(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(DosDateTimeOf(day + 1 - 0.1 / 86400), zip::PackDosDateTime(2025, 12, 10, 0, 0, 0));
}
