// Found names handed over in a code page: a Western one and a double-byte one without best fit,
// and UTF-8 as the system code page, where the call takes other flags and names grow longer.
#include "job/DirectoryListerWin.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

struct NameCase {
    unsigned codePage;
    std::wstring name;
    std::string text;
    bool held;
};

TEST(DirectoryListerWin, NamesKeepTheirCharactersOrAreMarkedLostInEachCodePage) {
    const std::wstring longCjk(MAX_PATH - 1, L'\x8868');
    std::string longCjkUtf8;
    for (size_t i = 0; i < longCjk.size(); ++i)
        longCjkUtf8 += "\xe8\xa1\xa8";
    const NameCase cases[] = {
        {1252, L"caf\x00e9.txt", "caf\xe9.txt", true},
        {1252, L"\x0101.txt", "?.txt", false}, // best fit would make it a.txt
        {1252, L"\x8868", "?", false},
        {1252, L"a\xd800.txt", "a?.txt", false},
        {932, L"\x8868\x30bd\x80fd", "\x95\\\x83\\\x94\\", true}, // each ends in a "\" byte
        {932, L"caf\x00e9", "caf?", false},
        {CP_UTF8, L"caf\x00e9.txt", "caf\xc3\xa9.txt", true},
        {CP_UTF8, L"\x8868\x30bd\x80fd", "\xe8\xa1\xa8\xe3\x82\xbd\xe8\x83\xbd", true},
        {CP_UTF8, L"\xd83d\xde00.txt", "\xf0\x9f\x98\x80.txt", true},
        {CP_UTF8, longCjk, longCjkUtf8, true},
        // An unpaired surrogate has no UTF-8 form: lost, shown with the replacement character.
        {CP_UTF8, L"a\xd800.txt", "a\xef\xbf\xbd.txt", false},
        {CP_UTF8, L"\xdc00", "\xef\xbf\xbd", false},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases << " in code page " << c.codePage);
        std::string text = "left over";
        EXPECT_EQ(job::NameInCodePage(c.name.c_str(), c.codePage, text), c.held);
        EXPECT_EQ(text, c.text);
    }
}

} // namespace
