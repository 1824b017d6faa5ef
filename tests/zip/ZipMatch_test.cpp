#include "zip/ZipMatch.h"

#include <gtest/gtest.h>

#include <string>

using namespace zip;

namespace {

struct Case {
    const char* pattern;
    const char* text;
    int result;
};

TEST(ZipMatch, PatternTableGivesTheDocumentedResultCodes) {
    const Case cases[] = {
        {"*.txt", "README.TXT", mrMatch},
        {"*.txt", "readme.txt.bak", mrNoMatch},
        {"a?c", "ABC", mrMatch},
        {"a?c", "AC", mrTextEnded},
        {"<a-c>x", "bx", mrMatch},
        {"<c-a>x", "bx", mrMatch},
        {"<!a-c>x", "bx", mrMismatch},
        {"<!a-c>x", "dx", mrMatch},
        {"<^a-c>x", "dx", mrMatch},
        {"abc*", "abc", mrMatch},
        {"abc?", "abc", mrTextEnded},
        {"abc", "abcd", mrPatternEnded},
        {"abd", "abc", mrMismatch},
        {"<>", "a", mrNoMatch},
        {"<>x", "x", mrNoMatch},
        {"<ab", "a", mrNoMatch},
        {"*.ZIP", "backup.zip", mrMatch},
        {"*", "", mrMatch},
        {"*", "anything at all", mrMatch},
        {"", "", mrMatch},
        {"", "a", mrPatternEnded},
        {"*<0-9>", "123", mrMatch},
        {"*<0-9>", "a1", mrNoMatch},
        {"*<0-9>", "", mrTextEnded},
        {"*<0-9>.log", "2024.log", mrMatch},
        {"*<0-9>.log", ".log", mrNoMatch},
        {"*<!0-9>x", "abx", mrMatch},
        {"*<>", "a", mrNoMatch},
        {"*?", "", mrTextEnded},
        {"*??", "ab", mrMatch},
        {"*??", "a", mrNoMatch},
        {"a*b*c", "axxbyyc", mrMatch},
        {"a*b*c", "axxbyy", mrNoMatch},
        {"*a*", "bab", mrMatch},
        {"<a-c><0-9>", "C7", mrMatch},
        {"x>y", "x>y", mrMatch}, // a ">" outside a set is a plain character
    };
    for (const Case& c : cases)
        EXPECT_EQ(Matcher(c.pattern, c.text), c.result) << c.pattern << " vs " << c.text;
}

TEST(ZipMatch, CaseFoldCoversWindows1252Letters) {
    EXPECT_TRUE(IsMatch("caf\xC9.txt", "CAF\xE9.TXT")); // e acute
    EXPECT_TRUE(IsMatch("\x9A*", "\x8A"
                                 "abc"));        // s caron
    EXPECT_TRUE(IsMatch("<\xE0-\xE5>", "\xC3")); // a range of accented letters
    EXPECT_FALSE(IsMatch("\xF7", "\xD7"));       // division and multiplication signs
    EXPECT_TRUE(IsMatch("\xFF", "\x9F"));        // y diaeresis
}

// Backtracking matchers take exponential time on these; a bounded one answers at once.
TEST(ZipMatch, HostilePatternsAnswerWithoutBlowingUp) {
    const std::string text(4000, 'a');
    std::string pattern;
    for (int i = 0; i < 200; ++i)
        pattern += "*a";
    EXPECT_TRUE(IsMatch(pattern, text));
    EXPECT_FALSE(IsMatch(pattern + "*b", text));
    std::string sets;
    for (int i = 0; i < 100; ++i)
        sets += "*<a>";
    EXPECT_TRUE(IsMatch(sets, text));
    EXPECT_FALSE(IsMatch(sets + "b", text));
    EXPECT_FALSE(IsMatch(sets, std::string(99, 'a')));
}

} // namespace
