#include "gui/IniAccess.h"
#include "gui/IniDocument.h"

#include <gtest/gtest.h>

using gui::IniDocument;
using gui::TMemIniFile;

TEST(IniDocument, NamesAreCaseInsensitiveAndFirstOccurrenceWins) {
    const IniDocument document = IniDocument::Parse("[settings]\r\n"
                                                    "  crashed = 1 \r\n"
                                                    "Crashed=0\r\n"
                                                    "[SETTINGS]\r\n"
                                                    "UseCDR=0\r\n");
    std::string value;
    ASSERT_TRUE(document.Find("Settings", "CRASHED", value));
    EXPECT_EQ(value, "1");
    EXPECT_FALSE(document.Find("Settings", "UseCDR", value)) << "only the first [Settings] section counts";
}

TEST(IniDocument, RewriteKeepsCommentsUnknownLinesAndOrder) {
    const std::string original = "; written by hand\r\n"
                                 "[Files]\r\n"
                                 "LastJob=a.dat\r\n"
                                 "garbage line\r\n"
                                 "TempPath=C:\\T\\\r\n"
                                 "\r\n"
                                 "[Settings]\r\n"
                                 "Crashed=1\r\n";
    IniDocument document = IniDocument::Parse(original);
    ASSERT_TRUE(document.Set("Files", "lastjob", "b.dat"));
    ASSERT_TRUE(document.Set("Files", "New", "x"));
    ASSERT_TRUE(document.Set("Devices", "0", "drive"));
    EXPECT_EQ(document.Serialize(), "; written by hand\r\n"
                                    "[Files]\r\n"
                                    "LastJob=b.dat\r\n"
                                    "garbage line\r\n"
                                    "TempPath=C:\\T\\\r\n"
                                    "New=x\r\n"
                                    "\r\n"
                                    "[Settings]\r\n"
                                    "Crashed=1\r\n"
                                    "\r\n"
                                    "[Devices]\r\n"
                                    "0=drive\r\n");
}

TEST(IniDocument, ReadsEveryLineEndAndStripsQuotes) {
    const IniDocument document =
        IniDocument::Parse("[A]\nx=\"quoted value\"\ry='q'\r\nz=\"unbalanced\n[B]\r");
    std::string value;
    ASSERT_TRUE(document.Find("A", "x", value));
    EXPECT_EQ(value, "quoted value");
    ASSERT_TRUE(document.Find("A", "y", value));
    EXPECT_EQ(value, "q");
    ASSERT_TRUE(document.Find("A", "z", value));
    EXPECT_EQ(value, "\"unbalanced");
    EXPECT_TRUE(document.SectionExists("b"));
}

TEST(IniDocument, WritesThatWouldBreakTheFileAreRefused) {
    IniDocument document;
    EXPECT_FALSE(document.Set("Files", "LastJob", "a\r\n[Settings]\r\nCrashed=0"));
    EXPECT_FALSE(document.Set("Fi]les", "LastJob", "a"));
    EXPECT_FALSE(document.Set("Files", "Last=Job", "a"));
    EXPECT_FALSE(document.Set("Files", "", "a"));
    EXPECT_EQ(document.Serialize(), "");
}

TEST(IniDocument, SectionListingDeleteAndErase) {
    IniDocument document =
        IniDocument::Parse("[ExecuteAfterJobOnStart]\r\n2=b.exe\r\n1=a.exe\r\n[Other]\r\nk=v\r\n");
    EXPECT_EQ(document.Keys("executeafterjobonstart"), (std::vector<std::string>{"2", "1"}));
    EXPECT_EQ(document.KeyValues("ExecuteAfterJobOnStart"), (std::vector<std::string>{"2=b.exe", "1=a.exe"}));
    document.DeleteKey("ExecuteAfterJobOnStart", "2");
    EXPECT_EQ(document.Keys("ExecuteAfterJobOnStart"), (std::vector<std::string>{"1"}));
    document.EraseSection("ExecuteAfterJobOnStart");
    EXPECT_EQ(document.Serialize(), "[Other]\r\nk=v\r\n");
}

TEST(IniIntegers, ParseLikeTheProfileReaders) {
    EXPECT_EQ(gui::ParseIniInteger("1440", 0), 1440);
    EXPECT_EQ(gui::ParseIniInteger(" -1 ", 0), -1);
    EXPECT_EQ(gui::ParseIniInteger("0x1F", 0), 31);
    EXPECT_EQ(gui::ParseIniInteger("$FFFFFFFF", 0), -1);
    EXPECT_EQ(gui::ParseIniInteger("abc", 7), 7);
    EXPECT_EQ(gui::ParseIniInteger("12abc", 7), 7);
    EXPECT_EQ(gui::ParseIniInteger("", 7), 7);
    EXPECT_EQ(gui::ParseIniInteger("2147483648", 7), 7);
    EXPECT_EQ(gui::ParseIniInteger("-2147483648", 7), INT32_MIN);
    EXPECT_EQ(gui::ParseIniInteger("99999999999999999999", 7), 7);

    TMemIniFile file("[S]\r\nb=2\r\nz=0\r\nt=abc\r\n");
    EXPECT_TRUE(file.ReadBool("S", "b", false));
    EXPECT_FALSE(file.ReadBool("S", "z", true));
    EXPECT_TRUE(file.ReadBool("S", "t", true)) << "a non-number gives the default";
    EXPECT_TRUE(file.WriteBool("S", "w", true));
    EXPECT_EQ(file.ReadString("S", "w", ""), "1");
}

TEST(IniDocument, BinaryGarbageParsesAndSurvivesARewrite) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919) & 0xFF);
    IniDocument document = IniDocument::Parse(garbage);
    ASSERT_TRUE(document.Set("Settings", "Crashed", "1"));
    const IniDocument again = IniDocument::Parse(document.Serialize());
    std::string value;
    ASSERT_TRUE(again.Find("Settings", "Crashed", value));
    EXPECT_EQ(value, "1");
}
