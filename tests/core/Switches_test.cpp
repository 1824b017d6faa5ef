#include "core/Switches.h"

#include <gtest/gtest.h>

using core::FindSwitch;
using core::SplitCommandLine;

TEST(Switches, OnlySlashAndFirstLetterCountCaseInsensitively) {
    std::string job;
    EXPECT_TRUE(FindSwitch({"/h"}, 'H', job));
    EXPECT_TRUE(FindSwitch({"/H"}, 'H', job));
    EXPECT_TRUE(FindSwitch({"/Hx"}, 'H', job));
    EXPECT_TRUE(FindSwitch({"", "x", "/hidden"}, 'H', job));
    EXPECT_FALSE(FindSwitch({"H"}, 'H', job));
    EXPECT_FALSE(FindSwitch({"-H", "/", ""}, 'H', job));
    EXPECT_TRUE(FindSwitch({"/A"}, 'A', job));
    EXPECT_FALSE(FindSwitch({"/A"}, 'D', job));
    EXPECT_TRUE(job.empty());
}

TEST(Switches, JobNameKeepsCaseAndIsCutAt253) {
    std::string job;
    ASSERT_TRUE(FindSwitch({"/H", "/=C:\\Jobs\\Daily.dat", "/=second"}, '=', job));
    EXPECT_EQ(job, "C:\\Jobs\\Daily.dat");
    const std::string longName(300, 'j');
    ASSERT_TRUE(FindSwitch({"/=" + longName}, '=', job));
    EXPECT_EQ(job, std::string(253, 'j'));
    ASSERT_TRUE(FindSwitch({"/="}, '=', job));
    EXPECT_EQ(job, "");
}

TEST(Switches, CommandLineSplitsOnBlanksAndDropsQuotes) {
    const auto words =
        SplitCommandLine("  \"C:\\Program Files\\t.exe\" /H  \"/=C:\\My Jobs\\a b.dat\"\t/x\"y z\"");
    ASSERT_EQ(words.size(), 4u);
    EXPECT_EQ(words[0], "C:\\Program Files\\t.exe");
    EXPECT_EQ(words[1], "/H");
    EXPECT_EQ(words[2], "/=C:\\My Jobs\\a b.dat");
    EXPECT_EQ(words[3], "/xy z");
    EXPECT_TRUE(SplitCommandLine("   ").empty());
}

TEST(Switches, InstanceNameKeepsOnlyLettersAndDigitsInLowerCase) {
    EXPECT_EQ(core::InstanceName("C:\\Program Files\\Tarnwick\\TARNWICK.EXE"),
              "c__program_files_tarnwick_tarnwick_exe");
    EXPECT_EQ(core::InstanceName("D:\\a[b]^_`{z}~\xe6.exe"), "d__a_b_____z____exe");
    EXPECT_NE(core::InstanceName("C:\\One\\tarnwick.exe"), core::InstanceName("C:\\Two\\tarnwick.exe"));
}
