#include "zip/ExtractPath.h"

#include <gtest/gtest.h>

namespace {

using zip::OutputName;
using zip::TOutputNameRule;

TEST(ExtractPath, RootDirAndDestDirPlaceStoredFolders) {
    const TOutputNameRule rule{"D:\\Out", "C:\\Data\\", true};
    EXPECT_EQ(OutputName(rule, "C:\\Data\\Sub\\", "f.txt"), "D:\\Out\\Sub\\f.txt");
    EXPECT_EQ(OutputName(rule, "c:\\data\\Sub\\", "f.txt"), "D:\\Out\\Sub\\f.txt");
    EXPECT_EQ(OutputName({"E:\\R", "", true}, "\\Temp\\", "f.txt"), "E:\\R\\Temp\\f.txt");
    EXPECT_EQ(OutputName({"E:\\R", "", true}, "X:\\Temp\\", "f.txt"), "E:\\R\\Temp\\f.txt");
    EXPECT_EQ(OutputName({"E:\\R", "", false}, "Temp\\", "f.txt"), "E:\\R\\f.txt");
    // Without a destination an absolute stored folder keeps its meaning.
    EXPECT_EQ(OutputName({"", "", true}, "\\Temp\\", "f.txt"), "\\Temp\\f.txt");
    EXPECT_EQ(OutputName({"", "", true}, "C:\\Temp\\", "f.txt"), "C:\\Temp\\f.txt");
}

TEST(ExtractPath, HostileComponentsAreDroppedOrMadeHarmless) {
    const TOutputNameRule rule{"D:\\Out", "", true};
    EXPECT_EQ(OutputName(rule, "..\\..\\x\\", "f"), "D:\\Out\\x\\f");
    EXPECT_EQ(OutputName(rule, "\\\\server\\share\\", "f"), "D:\\Out\\server\\share\\f");
    EXPECT_EQ(OutputName(rule, "a\\...\\.\\b\\", ".."), "D:\\Out\\a\\b\\_");
    EXPECT_EQ(OutputName(rule, "", "CON"), "D:\\Out\\_CON");
    EXPECT_EQ(OutputName(rule, "lpt1.dir\\", "com9.txt"), "D:\\Out\\_lpt1.dir\\_com9.txt");
    EXPECT_EQ(OutputName(rule, "", "a\x01?b:c*."), "D:\\Out\\a__b_c__");
    EXPECT_EQ(OutputName(rule, "", "COM0.txt"), "D:\\Out\\COM0.txt");
}

} // namespace
