#include "core/Scramble.h"

#include <gtest/gtest.h>

using core::ScrambleKey;
using core::ScrambleText;
using core::UnscrambleText;

TEST(Scramble, RoundTripsEveryLengthAndGroupCountFollowsTheLength) {
    for (size_t length = 0; length <= 255; ++length) {
        std::string text;
        for (size_t i = 0; i < length; ++i)
            text += static_cast<char>(1 + (i * 37) % 255);
        const std::string scrambled = ScrambleText(text, ScrambleKey);
        ASSERT_EQ(scrambled.size() % 5, 0u);
        EXPECT_EQ(scrambled.size() / 5, std::max<size_t>(5, (length + 2) / 2)) << "length " << length;
        EXPECT_EQ(UnscrambleText(scrambled, ScrambleKey), text) << "length " << length;
    }
}

TEST(Scramble, EmptyAndDamagedInput) {
    const std::string empty = ScrambleText("", ScrambleKey);
    EXPECT_EQ(empty.size(), 25u);
    EXPECT_EQ((std::stoi(empty.substr(0, 5)) - static_cast<int>(ScrambleKey)) & 0xFF, 0);
    EXPECT_EQ(UnscrambleText(empty, ScrambleKey), "");
    EXPECT_EQ(UnscrambleText("", ScrambleKey), std::string(35, ' '));
    EXPECT_THROW(UnscrambleText("12a45", ScrambleKey), core::EConvertError);
    EXPECT_NE(UnscrambleText(ScrambleText("secret", ScrambleKey), 0x1234), "secret");
}
