// The job editor's text rules: the folder dialog's drive root, the writer's letter, the
// free-space line at its bounds, the compression hint's literal "%" and the refused entries.

#include "job/DriveSpace.h"
#include "job/JobEditRules.h"
#include "job/JobStartRules.h"

#include <gtest/gtest.h>

using namespace job;

TEST(JobEditRules, DestinationFromDialogFieldAndWriter) {
    EXPECT_EQ(DriveRootCut("D:\\"), "D:");
    EXPECT_EQ(DriveRootCut("D:\\Backup"), "D:\\Backup");
    EXPECT_EQ(DriveRootCut("\\\\s\\"), "\\\\s\\");

    // The field as the start parses it: roots cut, trailing "\" dropped, empty parts left out.
    std::string field = "E:\\|F:\\Save\\|";
    EXPECT_EQ(ParseDestinations(field), (std::vector<std::string>{"E:", "F:\\Save"}));
    EXPECT_EQ(field, "E:|F:\\Save|");
    field = " D:\\Backup\\ ";
    EXPECT_EQ(ParseDestinations(field), std::vector<std::string>{"D:\\Backup"});

    EXPECT_EQ(WithWriterLetter("D:\\Backup", "Sim Writer,G"), "G:\\Backup");
    EXPECT_EQ(WithWriterLetter("G:\\Backup", "Sim Writer,G"), "G:\\Backup");
    EXPECT_EQ(WithWriterLetter("D:\\Backup", "Sim Writer,?"), "D:\\Backup");
    EXPECT_EQ(WithWriterLetter("D:\\Backup", "Use path"), "D:\\Backup");
    EXPECT_EQ(WithWriterLetter("\\\\server\\share", "Sim Writer,G"), "\\\\server\\share");
    EXPECT_EQ(WithWriterLetter("", "Sim Writer,G"), "");
    EXPECT_EQ(WithWriterLetter("D:", "Sim Writer,"), "D:");
}

TEST(JobEditRules, FreeSpaceHintAndEntries) {
    EXPECT_EQ(FreeSpaceText(NetworkFreeBytes), "Unknown free space");
    EXPECT_EQ(FreeSpaceText(NetworkFreeBytes - 1),
              std::to_string((NetworkFreeBytes - 1) / 1048576) + " MB free");
    EXPECT_EQ(FreeSpaceText(1'048'575), "0 MB free");
    EXPECT_EQ(FreeSpaceText(1'048'576), "1 MB free");

    EXPECT_EQ(CompressionHint(2), "This setting will save the files in a Zip file \rwithout compression. ");
    EXPECT_EQ(CompressionHint(7), "The selected compression level is set to: 7");
    // The literal "0,5% " survives: the position is put in, never formatted.
    const std::string high = CompressionHint(9);
    EXPECT_EQ(high.rfind("The selected compression level is set to: 9\rSelect only", 0), 0u);
    EXPECT_NE(high.find("less than 0,5% \rbut"), std::string::npos);
    EXPECT_EQ(high.find("%s"), std::string::npos);

    EXPECT_TRUE(IsRefusedListItem("*-Include-*"));
    EXPECT_TRUE(IsRefusedListItem("*-Exclude-*"));
    EXPECT_FALSE(IsRefusedListItem("*.tmp"));
    EXPECT_EQ(FolderEntry("C:\\Data"), "C:\\Data\\");
    EXPECT_EQ(FolderEntry("C:\\"), "C:\\");
    EXPECT_EQ(CleanZipName("Back:up*1"), "Backup1");
}
