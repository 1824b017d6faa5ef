#include "zip/ZipLib.h"

#include <gtest/gtest.h>

#include <map>

using namespace zip;

namespace {

TEST(ZipLib, PercentRoundsAndClamps) {
    EXPECT_EQ(Percent(1, 3), 33);
    EXPECT_EQ(Percent(2, 3), 67);
    EXPECT_EQ(Percent(5, 0), 0);
    EXPECT_EQ(Percent(5, -4), 0);
    EXPECT_EQ(Percent(300, 100), 100);
    EXPECT_EQ(Percent(int64_t(6) << 40, int64_t(8) << 40), 75); // 64-bit sizes
    EXPECT_EQ(PercentF(1.0, 3.0), 33);
    EXPECT_EQ(PercentF(7.0, 0.0), 0);
    EXPECT_EQ(PercentF(1e12, 1.0), 100);
}

TEST(ZipLib, DosDateTimeRepairClampsOnlyWhatIsOutOfRange) {
    const uint32_t good = PackDosDateTime(2024, 2, 29, 13, 45, 58);
    EXPECT_EQ(FixDosDateTime(good), good);
    // 24:61:62 (seconds field 31) becomes 23:59:58.
    const uint32_t badTime =
        (PackDosDateTime(2000, 5, 6, 0, 0, 0) & 0xFFFF0000u) | (24u << 11 | 61u << 5 | 31u);
    EXPECT_EQ(FixDosDateTime(badTime), PackDosDateTime(2000, 5, 6, 23, 59, 58));
    // Year 2107, month 0, day 0 becomes 2099-01-01.
    const uint32_t badDate = uint32_t(127u << 9) << 16;
    EXPECT_EQ(FixDosDateTime(badDate), PackDosDateTime(2099, 1, 1, 0, 0, 0));
    EXPECT_EQ(FixDosDateTime(0), PackDosDateTime(1980, 1, 1, 0, 0, 0));
    // Month 13 becomes 12; a 31st of February is left as it is.
    EXPECT_EQ(FixDosDateTime(uint32_t(20u << 9 | 13u << 5 | 3u) << 16),
              PackDosDateTime(2000, 12, 3, 0, 0, 0));
    const uint32_t feb31 = PackDosDateTime(2001, 2, 31, 0, 0, 0);
    EXPECT_EQ(FixDosDateTime(feb31), feb31);
    EXPECT_FALSE(DosDateTimeToDateTime(feb31).has_value());
}

TEST(ZipLib, DosDateTimesConvertBothWays) {
    // 2000-01-01 is day 36526 of the program's count.
    auto value = DosDateTimeToDateTime(PackDosDateTime(2000, 1, 1, 12, 0, 0));
    ASSERT_TRUE(value.has_value());
    EXPECT_DOUBLE_EQ(*value, 36526.5);
    for (uint32_t dos : {PackDosDateTime(1980, 1, 1, 0, 0, 0), PackDosDateTime(2024, 2, 29, 23, 59, 58),
                         PackDosDateTime(2107, 12, 31, 23, 59, 58), PackDosDateTime(2038, 1, 19, 3, 14, 8)})
        EXPECT_EQ(DateTimeToDosDateTime(*DosDateTimeToDateTime(dos)), dos);
    EXPECT_EQ(DateTimeToDosDateTime(100.0), PackDosDateTime(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(DateTimeToDosDateTime(1e6), PackDosDateTime(2107, 12, 31, 23, 59, 58));
}

TEST(ZipLib, ConvertPathKeepsRootsAndUnknownParts) {
    // A volume of a few names, reachable by the paths the conversion builds: (long, short).
    const std::map<std::string, std::pair<std::string, std::string>> volume = {
        {"C:\\Program Files", {"Program Files", "PROGRA~1"}},
        {"C:\\PROGRA~1", {"Program Files", "PROGRA~1"}},
        {"C:\\PROGRA~1\\Long Folder", {"Long Folder", "LONGFO~1"}},
        {"C:\\Program Files\\LONGFO~1", {"Long Folder", "LONGFO~1"}},
        {"\\\\srv\\share\\Backup Sets", {"Backup Sets", "BACKUP~1"}},
        {"\\Windows", {"Windows", "Windows"}},
    };
    const PathLookup lookup = [&](const std::string& path, bool toLong) -> std::optional<std::string> {
        auto found = volume.find(path);
        if (found == volume.end()) return std::nullopt;
        return toLong ? found->second.first : found->second.second;
    };
    EXPECT_EQ(ConvertPathWith("C:\\Program Files\\Long Folder\\", false, lookup), "C:\\PROGRA~1\\LONGFO~1\\");
    EXPECT_EQ(ConvertPathWith("C:\\PROGRA~1\\LONGFO~1", true, lookup), "C:\\Program Files\\Long Folder");
    EXPECT_EQ(ConvertPathWith("C:Program Files\\x.txt", false, lookup), "C:\\PROGRA~1\\x.txt");
    EXPECT_EQ(ConvertPathWith("\\\\srv\\share\\Backup Sets\\a", false, lookup),
              "\\\\srv\\share\\BACKUP~1\\a");
    EXPECT_EQ(ConvertPathWith("\\\\srv\\share", false, lookup), "\\\\srv\\share");
    EXPECT_EQ(ConvertPathWith("\\Windows\\", false, lookup), "\\Windows\\");
    EXPECT_EQ(ConvertPathWith("C:\\", false, lookup), "C:\\");
    EXPECT_EQ(ConvertPathWith("C:", true, lookup), "C:\\");
    EXPECT_EQ(ConvertPathWith("C:\\Missing\\*.txt", true, lookup), "C:\\Missing\\*.txt");
    EXPECT_EQ(ConvertPathWith("relative\\part", true, lookup), "relative\\part");
}

TEST(ZipLib, SearchStartSplitsAtTheFolderBeforeTheFirstWildcard) {
    SearchStart plain = SplitSearchStart("C:\\Data");
    EXPECT_EQ(plain.folder, "C:\\Data\\");
    EXPECT_TRUE(plain.parts.empty());
    SearchStart wild = SplitSearchStart("C:\\Data\\*\\Logs");
    EXPECT_EQ(wild.folder, "C:\\Data\\");
    EXPECT_EQ(wild.parts, (std::vector<std::string>{"*", "Logs"}));
    SearchStart deep = SplitSearchStart("T:\\a\\b<0-9>\\c?\\");
    EXPECT_EQ(deep.folder, "T:\\a\\");
    EXPECT_EQ(deep.parts, (std::vector<std::string>{"b<0-9>", "c?"}));
}

} // namespace
