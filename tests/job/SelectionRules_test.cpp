// The selection's text rules: items, masks, excludes, catalogue paths and the list passes.
#include "core/DateText.h"
#include "job/SelectionRules.h"
#include "zip/ZipLib.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace job;

class QuietPass : public ListPassHost {
  public:
    bool cancelled = false;
    int progressCalls = 0;
    bool Cancelled() override { return cancelled; }
    void PassProgress(int, int) override { ++progressCalls; }
};

TEST(SelectionRules, ItemTextSplitsPathMasksAndTheTextHandedToSubfolders) {
    struct Case {
        const char* item;
        const char* path;
        std::vector<std::string> masks;
        const char* remembered;
    } cases[] = {
        {"C:\\Data\\a.txt", "C:\\Data\\a.txt", {}, ""},
        {"C:\\Data\\*.*", "C:\\Data\\", {"*.*"}, "|*.*|"},
        {"C:\\\\Data\\\\*.*", "C:\\Data\\", {"*.*"}, "|*.*|"},
        {"C:\\Data\\|*.doc|*.txt|", "C:\\Data\\", {"*.doc", "*.txt"}, "|*.doc|*.txt|"},
        {"C:\\Data\\*.doc|*.txt", "C:\\Data\\", {"*.doc", "*.txt"}, "|*.doc|*.txt|"},
        {"C:\\Data\\|*.doc||*.txt|", "C:\\Data\\", {"*.doc"}, "|*.doc||*.txt|"},
        {"\\\\srv\\share\\*.doc", "\\\\srv\\share\\", {"*.doc"}, "|*.doc|"},
        {"|", "", {}, "|"},
        {"**", "", {"**"}, "|**|"},
        {":\\\\", ":\\", {}, ""},
        {"", "", {}, ""},
    };
    for (const Case& c : cases) {
        const ItemText text = ParseItemText(c.item);
        EXPECT_EQ(text.Path, c.path) << c.item;
        EXPECT_EQ(text.Masks, c.masks) << c.item;
        EXPECT_EQ(text.RememberedMasks, c.remembered) << c.item;
    }
}

TEST(SelectionRules, MasksTakeFilesByEndOrNameStartAndFoldersByInnerText) {
    struct Case {
        const char* mask;
        const char* full;
        bool folder;
        bool accepted;
    } cases[] = {
        {"*.*", "C:\\Data\\README", false, true}, // no extension
        {"*.doc", "C:\\Data\\a.DOC", false, true},
        {"*.doc", "C:\\Data\\a.docx", false, false},
        {"*c\\a.doc", "C:\\Data\\Sub\\c\\a.doc", false, true}, // the end of the whole path
        {"report*.doc", "C:\\Data\\report.xls", false, true},  // the text before the star only
        {"report*.doc", "C:\\Data\\old report.xls", false, true},
        {"report*.doc", "C:\\Report\\a.doc", false, false},
        {"*data*", "C:\\Data\\x.bin", false, true},
        {"*data*", "C:\\Other\\Sub", true, false},
        {"*.doc", "C:\\Data\\Sub", true, true},     // folders pass other masks
        {"a.txt", "C:\\Data\\a.txt", false, false}, // a mask without a star takes nothing
    };
    for (const Case& c : cases) {
        const std::string full = FoldPath(c.full);
        EXPECT_EQ(MaskAccepts(FoldPath(c.mask), full, NamePart(full), c.folder), c.accepted)
            << c.mask << " " << c.full;
    }
}

TEST(SelectionRules, ExcludeEntriesDropWhatTheirExamplesSay) {
    struct Case {
        const char* entry;
        const char* line;
        bool excluded;
    } cases[] = {
        {"C:\\Temp\\", "C:\\TEMP\\x\\y.doc", true},
        {"C:\\Temp\\", "C:\\Temp\\", true},
        {"C:\\Temp\\", "C:\\Temporary\\a.txt", false},
        {"C:\\Temp\\", "D:\\Temp\\a.txt", false},
        {"*.tmp", "D:\\a\\b.TMP", true},
        {"*.tmp", "D:\\a\\b.tmpx", false},
        {"C:\\Data\\*.bak", "C:\\Data\\Old\\x.bak", true},
        {"C:\\Data\\*.bak", "C:\\Other\\x.bak", false},
        {"file.txt", "C:\\any\\where\\FILE.TXT", true},
        {"file.txt", "C:\\any\\file.txt.old", false},
        {"~*", "C:\\a\\x~1.doc", true},
        {"~*", "C:\\a~b\\x.doc", false}, // the name, not the folder
        {"C:\\Data\\a.txt", "C:\\Data\\A.TXT", true},
        {"C:\\Data\\|a.txt|b.txt", "C:\\Data\\b.txt", true},
        {"C:\\Data\\|a.txt|b.txt", "C:\\Data\\c.txt", false},
        {"*\\cache\\", "C:\\Users\\x\\Cache\\f.dat", true},
        {"*\\cache\\", "C:\\Users\\x\\f.dat", false},
        {"C:\\Data\\*\\", "C:\\Data\\a.txt", true},
        {"", "C:\\Data\\", false}, // blank entries are ignored
        {"   ", "C:\\Data\\a.txt", false},
    };
    for (const Case& c : cases) {
        const ExcludeRules rules({c.entry});
        EXPECT_EQ(rules.Matches(c.line), c.excluded) << "[" << c.entry << "] " << c.line;
    }
}

TEST(SelectionRules, DoubleByteTrailBytesAreNeitherFoldedNorSeparators) {
    std::array<bool, 256> leads{};
    for (int c = 0x81; c <= 0x9F; ++c)
        leads[c] = true;
    SetAnsiLeadBytes(leads);
    // 0x95 0x5C is one character whose second byte is a backslash; 0x83 0x61 keeps its "a".
    const std::string name = "\x95\\\x83"
                             "a.txt";
    EXPECT_EQ(NamePart("C:\\x\\" + name), name);
    EXPECT_EQ(FoldPath("c:\\\x83"
                       "a"),
              "C:\\\x83"
              "a");
    SetAnsiLeadBytes({});
    EXPECT_EQ(FoldPath("c:\\\x83"
                       "a"),
              "C:\\\x83"
              "A");
}

void UseCodePage932() {
    std::array<bool, 256> leads{};
    for (int c = 0x81; c <= 0xFC; ++c)
        leads[c] = c <= 0x9F || c >= 0xE0;
    SetAnsiLeadBytes(leads);
}

TEST(SelectionRules, NamesEndingInATrailBackslashStayWholeInItemsExcludesAndListLines) {
    UseCodePage932();
    // Each folder name ends in a character whose second byte is a backslash (0x95 0x5C and the
    // like); the item of a whole folder is its path and "\*.*".
    for (const std::string folder : {"C:\\Data\\\x95\\", "C:\\\x83\\", "\\\\srv\\share\\\x94\\"}) {
        std::string all = folder + "\\*.*";
        RepairItemSeparators(all);
        EXPECT_EQ(all, folder + "\\*.*");
        const ItemText text = ParseItemText(all);
        EXPECT_EQ(text.Path, folder + "\\");
        EXPECT_EQ(text.Masks, std::vector<std::string>{"*.*"});
        EXPECT_EQ(text.RememberedMasks, "|*.*|");
        // A real doubled "\" after such a name still goes.
        EXPECT_EQ(ParseItemText(folder + "\\\\*.*").Path, folder + "\\");
    }
    // Only a "\" of its own makes an exclude entry or a list line a folder: D:\<0x95 0x5C> is a file.
    const ExcludeRules rules({"C:\\\x95\\\\", "D:\\\x95\\"});
    EXPECT_TRUE(rules.Matches("C:\\\x95\\\\a.txt"));
    EXPECT_TRUE(rules.Matches("D:\\\x95\\"));
    EXPECT_FALSE(rules.Matches("D:\\\x95\\\\a.txt"));
    FileList list{{"D:\\\x95\\", 1}, {"C:\\\x95\\\\", 0}};
    QuietPass pass;
    EXPECT_EQ(CountSelection(list, pass).Files, 1);
    RemoveDuplicates(list, false, pass);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].Path, "D:\\\x95\\");
    SetAnsiLeadBytes({});
}

TEST(SelectionRules, TrailBarsBelongToNamesAndMasksInItemsAndExcludes) {
    UseCodePage932();
    const std::string po = "\x83|"; // one character whose second byte is a "|"
    ItemText text = ParseItemText("C:\\" + po + "\\*.*");
    EXPECT_EQ(text.Path, "C:\\" + po + "\\");
    EXPECT_EQ(text.Masks, std::vector<std::string>{"*.*"});
    text = ParseItemText("C:\\Data\\*" + po);
    EXPECT_EQ(text.Masks, std::vector<std::string>{"*" + po});
    EXPECT_EQ(text.RememberedMasks, "|*" + po + "|");
    EXPECT_EQ(ParseItemText(text.Path + text.RememberedMasks).Masks, text.Masks);
    const ExcludeRules rules({"C:\\Data\\" + po + "\\*.doc", "D:\\" + po + "\\"});
    EXPECT_TRUE(rules.Matches("C:\\Data\\" + po + "\\a.doc"));
    EXPECT_FALSE(rules.Matches("C:\\Data\\" + po + "\\a.txt"));
    EXPECT_TRUE(rules.Matches("D:\\" + po + "\\Sub\\a.txt"));
    EXPECT_FALSE(rules.Matches("D:\\a.txt"));
    SetAnsiLeadBytes({});
}

TEST(SelectionRules, MasksAndExcludesMatchWholeCharactersOnly) {
    UseCodePage932();
    // 0x95 0x5C and 0x83 0x41 end in a "\" and an "A" that no mask or exclude may take.
    const std::string hyo = "\x95\\", a = "\x83\x41";
    EXPECT_FALSE(MaskAccepts("*\\A.DOC", "C:\\" + hyo + "A.DOC", hyo + "A.DOC", false));
    EXPECT_TRUE(MaskAccepts("*\\A.DOC", "C:\\" + hyo + "\\A.DOC", "A.DOC", false));
    const ExcludeRules rules({"*\\cache\\", "a*"});
    EXPECT_FALSE(rules.Matches("C:\\" + hyo + "Cache\\f.txt"));
    EXPECT_TRUE(rules.Matches("C:\\" + hyo + "\\Cache\\f.txt"));
    EXPECT_FALSE(rules.Matches("C:\\x\\" + a + ".txt"));
    EXPECT_TRUE(rules.Matches("C:\\x\\" + a + "a.txt"));
    SetAnsiLeadBytes({});
}

TEST(SelectionRules, CataloguePathFormsFollowTheDriveOptions) {
    EXPECT_EQ(CataloguePathForm("C:\\Data\\a", false, true), "C:\\Data\\a");
    EXPECT_EQ(CataloguePathForm("C:\\Data\\a", true, false), "\\C\\Data\\a");
    EXPECT_EQ(CataloguePathForm("\\\\srv\\share\\a", true, false), "\\srv\\share\\a");
    EXPECT_EQ(CataloguePathForm("C:\\Data\\a", false, false), "Data\\a");
    EXPECT_EQ(CataloguePathForm("\\\\srv\\share\\dir\\a", false, false), "dir\\a");
    EXPECT_EQ(CataloguePathForm("\\\\srv", false, false), "");
    UseCodePage932(); // server and share names ending in 0x95 0x5C
    EXPECT_EQ(CataloguePathForm("\\\\srv\\\x95\\\\a", false, false), "a");
    EXPECT_EQ(CataloguePathForm("\\\\\x95\\\\share\\a", false, false), "a");
    SetAnsiLeadBytes({});
}

TEST(SelectionRules, AfterDateFromTextEmptyOrUnused) {
    const core::LocaleFormat locale{"d/M/yyyy", '/'};
    const gui::DateTime now = core::EncodeDateTime({2026, 12, 7, 10, 0, 0});
    EXPECT_EQ(RunAfterDate("05/12/2026", true, now, locale), zip::PackDosDateTime(2026, 12, 5, 0, 0, 0));
    EXPECT_EQ(RunAfterDate("", true, now, locale), zip::DateTimeToDosDateTime(now + 100));
    EXPECT_EQ(RunAfterDate("05/12/2026", false, now, locale), zip::DateTimeToDosDateTime(now + 1000));
    EXPECT_EQ(RunAfterDate("no date", true, now, locale), std::nullopt);
    // Dates from 2044 on have the top bit set; compared unsigned they still qualify.
    const uint32_t in2050 = zip::PackDosDateTime(2050, 1, 1, 0, 0, 0);
    EXPECT_FALSE(OlderThanAfterDate(in2050, zip::PackDosDateTime(2026, 1, 1, 0, 0, 0)));
}

TEST(SelectionRules, RemoveDuplicatesFoldsCaseKeepsFirstAndCountsWhatGoes) {
    FileList list{{"C:\\b\\x.txt", 10}, {"C:\\A\\", 0},      {"c:\\B\\X.TXT", 10},
                  {"C:\\a\\", 0},       {"C:\\a\\y.txt", 5}, {"C:\\B\\x.txt", 10}};
    QuietPass pass;
    const DuplicateResult result = RemoveDuplicates(list, true, pass);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].Path, "C:\\A\\");
    EXPECT_EQ(list[1].Path, "C:\\a\\y.txt");
    EXPECT_EQ(list[2].Path, "C:\\b\\x.txt");
    EXPECT_EQ(result.FilesRemoved, 2);
    EXPECT_EQ(result.BytesRemoved, 20);
    EXPECT_EQ(result.Folders, 1);

    FileList noFolders{{"C:\\A\\", 0}, {"C:\\a\\y.txt", 5}};
    RemoveDuplicates(noFolders, false, pass);
    ASSERT_EQ(noFolders.size(), 1u);
    EXPECT_EQ(CountSelection(noFolders, pass).Folders, 0);

    pass.cancelled = true;
    FileList kept{{"b", 1}, {"a", 1}, {"a", 1}};
    EXPECT_FALSE(RemoveDuplicates(kept, true, pass).Completed);
    EXPECT_EQ(kept.size(), 3u); // what was listed stays
}

// The moves as a user would do them by hand: each big line goes in front of the first
// earlier line that is smaller.
void OrderBySizeByMoves(FileList& list, int64_t limit) {
    const size_t count = list.size();
    for (size_t i = 0; i < count; ++i) {
        if (list[i].Size <= limit) continue;
        for (size_t j = 0; j < i; ++j) {
            if (list[j].Size < list[i].Size) {
                FileListEntry moved = list[i];
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
                list.insert(list.begin() + static_cast<std::ptrdiff_t>(j), moved);
                break;
            }
        }
    }
}

TEST(SelectionRules, OrderBySizeMakesTheSameMovesAsByHand) {
    std::mt19937 random(15);
    QuietPass pass;
    for (int round = 0; round < 300; ++round) {
        FileList list;
        const int count = static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i)
            list.push_back({"f" + std::to_string(i), static_cast<int64_t>(random() % 12) * 1'000'000});
        FileList expected = list;
        OrderBySizeByMoves(expected, 4'000'000);
        ASSERT_TRUE(OrderBySize(list, 4'000'000, pass));
        ASSERT_EQ(list.size(), expected.size());
        for (size_t i = 0; i < list.size(); ++i)
            ASSERT_EQ(list[i].Path, expected[i].Path) << "round " << round << " line " << i;
    }
    EXPECT_EQ(BigFileLimit(681'574'400, 1'000'000'000), 22'719'146);
    EXPECT_EQ(BigFileLimit(681'574'400, 300'000'000), 10'000'000);
    EXPECT_EQ(BigFileLimit(681'574'400, 1'000'000), 22'719'146);
    EXPECT_EQ(BigFileLimit(4'194'304, 0), 2'000'000);
}

} // namespace
