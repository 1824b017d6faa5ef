// Catalogue lines of any shape, the browser's rows under its filters and sort columns, Go to,
// both rewrites, and the names a job's catalogue field stands for.
#include "job/Catalog.h"
#include "zip/ZipLib.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

core::LocaleFormat Iso() {
    core::LocaleFormat locale;
    locale.shortDateFormat = "yyyy-MM-dd";
    locale.dateSeparator = '-';
    locale.longTimeFormat = "HH:mm:ss";
    return locale;
}

void Load(job::CatalogRows& rows, std::string_view text, bool folders = false, bool duplicates = false) {
    rows.Clear();
    rows.Folders = folders;
    rows.Duplicates = duplicates;
    job::ForEachLine(text, [&](std::string_view line) { rows.AddLine(line); });
    rows.FinishLoad();
}

// The same file in three volumes (the middle one newest), a folder, a file of 2008 and one
// of 2024, and four damaged lines.
const char* const catalogue = "data\\\"same.txt\"1345000000\"v1.zip\"0\r\n"
                              "data\\\"\"1345000000\"v1.zip\"1\r\n"
                              "DATA\\\"SAME.TXT\"1478840975\"v2.zip\"0\r\n"
                              "data\\\"same.txt\"1400000000\"v3.zip\"0\r\n"
                              "old\\\"a.txt\"952197120\"v3.zip\"1\r\n"
                              "new\\\"b.txt\"1478840975\"V1.ZIP\"2\r\n"
                              "short\"line\r\n"
                              "x\"y\"12a\"z.zip\"0\r\n"
                              "x\"y\"12\"z.zip\"\r\n"
                              "x\"y\"99999999999\"z.zip\"1\r\n";

} // namespace

TEST(CatalogFormat, EntriesRoundTripAndDamagedLinesAreRefused) {
    const job::CatalogEntry entry{"dir\\sub\\", "file.txt", -1943922557, "20250310100.zip", 7};
    const std::string line = job::FormatCatalogEntry(entry);
    EXPECT_EQ(line, "dir\\sub\\\"file.txt\"-1943922557\"20250310100.zip\"7");
    job::CatalogEntry back;
    ASSERT_TRUE(job::ParseCatalogEntry(line, back));
    EXPECT_EQ(job::FormatCatalogEntry(back), line);
    for (const char* damaged : {"", "a\"b\"1\"z", "a\"b\"\"z\"1", "a\"b\"1\"z\"x", "a\"b\"2147483648\"z\"1"})
        EXPECT_FALSE(job::ParseCatalogEntry(damaged, back)) << damaged;
    // Fields are cut at their limits.
    ASSERT_TRUE(job::ParseCatalogEntry(std::string(6000, 'p') + "\"n\"1\"z\"2", back));
    EXPECT_EQ(back.Pathname.size(), 5000u);
    EXPECT_EQ(zip::DosDateTimeToDateTime(static_cast<uint32_t>(-1943922557)),
              core::EncodeDateTime({2050, 1, 2, 3, 4, 6}));
}

TEST(CatalogBrowser, FiltersDedupeSortAndGoTo) {
    job::CatalogRows rows;
    Load(rows, catalogue);
    EXPECT_EQ(rows.Damaged(), 4);
    ASSERT_EQ(rows.Count(), 3);
    // The newest line of a path wins, in the place of its first line.
    EXPECT_EQ(rows.Zip(0), "v2.zip");
    EXPECT_EQ(rows.CellText(3, 0, Iso()), " 2024-01-05 10:20:30");
    job::CatalogRows other;
    Load(other, catalogue, false, true);
    EXPECT_EQ(other.Count(), 5);
    Load(other, catalogue, true, false);
    EXPECT_EQ(other.Count(), 4);

    // By path: DATA\SAME.TXT, new\b.txt, old\a.txt. By date as numbers: 2008 first.
    EXPECT_EQ(rows.Path(rows.RowOfGridRow(1)), "DATA\\");
    rows.SortBy(job::CatalogRows::ModifiedColumn);
    EXPECT_EQ(rows.Name(rows.RowOfGridRow(1)), "a.txt");
    EXPECT_EQ(rows.GoTo("2010-01-01", Iso()), 2);
    EXPECT_EQ(rows.GoTo("2030-01-01", Iso()), 3); // none is later: the last row
    EXPECT_EQ(rows.GoTo("not a date", Iso()), std::nullopt);
    rows.SortBy(job::CatalogRows::NameColumn);
    EXPECT_EQ(rows.GoTo("B", Iso()), 2);
    rows.SortBy(job::CatalogRows::ZipColumn);
    EXPECT_EQ(rows.Zip(rows.RowOfGridRow(1)), "V1.ZIP");
}

TEST(CatalogBrowser, RewritesRemoveAZipInAnyCaseAndKeepTheNewestLine) {
    const std::string withoutV1 = job::CatalogWithoutZip(catalogue, "v1.ZIP");
    EXPECT_EQ(withoutV1.find("v1.zip"), std::string::npos);
    EXPECT_EQ(withoutV1.find("V1.ZIP"), std::string::npos);
    EXPECT_NE(withoutV1.find("short\"line\r\n"), std::string::npos); // what it cannot read stays

    int damaged = 0;
    EXPECT_EQ(job::CatalogWithoutDuplicates(catalogue, false, &damaged),
              "DATA\\\"SAME.TXT\"1478840975\"v2.zip\"0\r\n"
              "old\\\"a.txt\"952197120\"v3.zip\"1\r\n"
              "new\\\"b.txt\"1478840975\"V1.ZIP\"2\r\n");
    EXPECT_EQ(damaged, 4);
    EXPECT_NE(job::CatalogWithoutDuplicates(catalogue, true).find("data\\\"\"1345000000"), std::string::npos);
}

TEST(CatalogNames, FieldNameListAndTheJobsReading) {
    using job::CatalogNaming;
    const std::string folder = "C:\\Data\\Catalogs\\";
    const std::string names = "D:\\F\\own.cat|other.cat|E:\\x.cat";
    EXPECT_EQ(CatalogNaming::OwnCatalog(names), "D:\\F\\own.cat");
    EXPECT_EQ(CatalogNaming::NameList(names, folder),
              (std::vector<std::string>{"D:\\F\\other.cat", "E:\\x.cat"}));
    EXPECT_EQ(CatalogNaming::NameList("own.cat|other.cat", folder),
              std::vector<std::string>{folder + "other.cat"});
    EXPECT_EQ(CatalogNaming::AppendTargets("mine.cat", folder),
              std::vector<std::string>{folder + "mine.cat"});

    job::CatalogIndex list;
    job::CatalogZipNames zips;
    job::JobCatalogReader reader(list, zips);
    reader.ZipNameLine("a\"b\"1\"Other.zip\"0");
    job::ForEachLine(catalogue, [&](std::string_view line) { reader.OwnLine(line); });
    reader.Finish();
    EXPECT_EQ(reader.Damaged, 4);
    EXPECT_TRUE(zips.Contains("OTHER.ZIP") && zips.Contains("v3.zip"));
    ASSERT_NE(list.Find("data\\same.txt"), nullptr);
    EXPECT_EQ(*list.Find("data\\same.txt"), 1478840975u);

    job::CatalogIndex empty;
    job::JobCatalogReader none(empty, zips);
    none.Finish();
    EXPECT_EQ(empty.Size(), 1u);
}

// Lines read through a buffer of every size from one byte up come out as the whole text's
// lines: line ends split across two fills, a lone CR, a last line without its end. A line
// longer than the buffer comes as its first buffer-full; a failed read ends the lines.
TEST(CatalogLines, AnyBufferSizeGivesTheLinesOfTheWholeText) {
    const std::string text = std::string("a\"b\"1\"z.zip\"0\r\nsecond\rthird\n\r\n") + catalogue + "last";
    std::vector<std::string> expected;
    job::ForEachLine(text, [&](std::string_view line) { expected.emplace_back(line); });
    for (size_t buffer = 1; buffer <= 64; ++buffer) {
        SCOPED_TRACE(buffer);
        size_t at = 0;
        job::CatalogLineReader reader(
            [&](char* into, size_t room, size_t& got) {
                got = std::min(room, text.size() - at);
                std::copy_n(text.data() + at, got, into);
                at += got;
                return true;
            },
            buffer);
        std::vector<std::string> lines;
        std::string_view line;
        while (reader.Next(line))
            lines.emplace_back(line);
        ASSERT_EQ(lines.size(), expected.size());
        for (size_t i = 0; i < lines.size(); ++i)
            EXPECT_EQ(lines[i], expected[i].substr(0, buffer)) << i;
        EXPECT_FALSE(reader.Failed());
        EXPECT_EQ(reader.Position(), text.size());
    }

    // What is appended after the end is read by the next call.
    std::string growing = "one\r\n";
    size_t at = 0;
    bool failNext = false;
    job::CatalogLineReader reader(
        [&](char* into, size_t room, size_t& got) {
            got = std::min(room, growing.size() - at);
            std::copy_n(growing.data() + at, got, into);
            at += got;
            return !failNext;
        },
        8);
    std::string_view line;
    ASSERT_TRUE(reader.Next(line));
    EXPECT_FALSE(reader.Next(line));
    growing += "two\r\n";
    ASSERT_TRUE(reader.Next(line));
    EXPECT_EQ(line, "two");
    growing += "three";
    failNext = true;
    EXPECT_FALSE(reader.Next(line));
    EXPECT_TRUE(reader.Failed());
}
