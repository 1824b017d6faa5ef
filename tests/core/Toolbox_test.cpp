// The small helpers every part shares: one trim, one job base name, one numbered name, one
// data folder choice.
#include "core/PathText.h"
#include "gui/TextTrim.h"

#include <gtest/gtest.h>

#include <set>

TEST(Toolbox, TrimTakesBlanksAndControlCharactersOffBothEndsOnly) {
    EXPECT_EQ(gui::Trim(" \t\r\n daily.dat \x01\x1f"), "daily.dat");
    EXPECT_EQ(gui::Trim("a  b"), "a  b");
    EXPECT_EQ(gui::Trim(" \t "), "");
    EXPECT_EQ(gui::Trim(""), "");
    // Bytes above the blank are text in every code page: a no-break space and a lead byte stay.
    EXPECT_EQ(gui::Trim("\xa0x\x83"), "\xa0x\x83");
    static_assert(gui::TrimView("  x ") == "x");
}

TEST(Toolbox, JobBaseNameNumberedNamesAndTheDataFolder) {
    EXPECT_EQ(core::JobBaseName("Daily.dat"), "Daily");
    EXPECT_EQ(core::JobBaseName("C:\\Jobs\\Daily.dat"), "C:\\Jobs\\Daily");
    EXPECT_EQ(core::JobBaseName(".dat"), "");
    EXPECT_EQ(core::JobBaseName(""), "");

    const std::set<std::string> taken = {"L\\Daily_100.txt", "L\\Daily_101.txt", "L\\Daily_103.txt"};
    auto exists = [&](const std::string& name) { return taken.contains(name); };
    EXPECT_EQ(core::NextFreeNumberedName("L\\Daily_", 100, ".txt", exists), "L\\Daily_102.txt");
    EXPECT_EQ(core::NextFreeNumberedName("L\\Other_", 100, ".txt", exists), "L\\Other_100.txt");

    EXPECT_EQ(core::DataFolder("", "C:\\Tarnwick\\"), "C:\\Tarnwick\\");
    EXPECT_EQ(core::DataFolder("C:\\Users\\anna\\AppData\\Tarnwick\\", "C:\\Tarnwick\\"),
              "C:\\Users\\anna\\AppData\\Tarnwick\\");
}
