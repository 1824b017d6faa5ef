#include "gui/CompareText.h"
#include "gui/StringList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

using namespace gui;

namespace {

std::vector<std::string> Lines(const TStringList& list) {
    std::vector<std::string> lines;
    list.ForEach([&](const TStringItem& item) { lines.push_back(item.Text); });
    return lines;
}

std::string TempName(const char* leaf) {
    return (std::filesystem::temp_directory_path() / (std::string("twsl_") + leaf)).string();
}

} // namespace

TEST(CompareTextI, FoldsWesternLettersAndOrdersByFoldedBytes) {
    EXPECT_EQ(CompareTextI("readme.TXT", "README.txt"), 0);
    EXPECT_EQ(CompareTextI("\xE9t\xE9", "\xC9T\xC9"), 0); // été
    EXPECT_EQ(CompareTextI("\x9A\xFF", "\x8A\x9F"), 0);   // š ÿ against Š Ÿ
    EXPECT_NE(CompareTextI("\xDF", "SS"), 0);             // no multi-letter folding
    EXPECT_NE(CompareTextI("\xF7", "\xD7"), 0);           // ÷ and × are no letters
    EXPECT_LT(CompareTextI("Zebra", "_under"), 0);        // underscore after the capitals
    EXPECT_LT(CompareTextI("co-op", "coop"), 0);          // no "word sort"
    EXPECT_LT(CompareTextI("abc", "ABCD"), 0);
    EXPECT_GT(CompareTextI("b", "A"), 0);
    EXPECT_LT(CompareTextI(std::string("a\0b", 3), std::string("a\0c", 3)), 0);
}

TEST(StringList, SortedListKeepsOrderAndAppliesTheDuplicatesRule) {
    TStringList list;
    list.SetSorted(true);
    EXPECT_EQ(list.Add("beta", 2), 0);
    EXPECT_EQ(list.Add("Alpha", 1), 0);
    EXPECT_EQ(list.Add("gamma", 3), 2);
    EXPECT_EQ(list.Add("ALPHA", 9), 0); // ignored: the one already there answers
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Objects(0), 1);

    list.SetDuplicates(TDuplicates::dupAccept);
    EXPECT_EQ(list.Add("BETA", 4), 2); // after its equal
    int index = -1;
    EXPECT_TRUE(list.Find("Beta", index));
    EXPECT_EQ(index, 1);
    EXPECT_FALSE(list.Find("delta", index));
    EXPECT_EQ(index, 3);
    EXPECT_EQ(list.IndexOf("GAMMA"), 3);
    EXPECT_EQ(list.IndexOf("zeta"), -1);

    list.SetDuplicates(TDuplicates::dupError);
    EXPECT_THROW(list.Add("gAmMa"), EStringListError);
    EXPECT_THROW(list.Insert(0, "first"), EStringListError);
    EXPECT_THROW(list.SetStrings(0, "zzz"), EStringListError);
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"Alpha", "beta", "BETA", "gamma"}));

    list.SetCaseSensitive(true); // re-sorts by bytes: capitals first
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"Alpha", "BETA", "beta", "gamma"}));
}

// The block storage against a plain vector under random edits: indexes, sorted inserts,
// deletes and block splits and merges must agree with the simple model at every step.
TEST(StringList, LargeRandomEditsMatchASimpleModel) {
    std::mt19937 random(7);
    auto word = [&] {
        std::string text;
        const int length = 1 + static_cast<int>(random() % 6);
        for (int i = 0; i < length; ++i)
            text += static_cast<char>("abcAB\xe9\xc9_"[random() % 8]);
        return text;
    };
    TStringList sorted;
    sorted.SetSorted(true);
    sorted.SetDuplicates(TDuplicates::dupAccept);
    TStringList plain;
    std::vector<std::string> sortedModel, plainModel;
    auto less = [](const std::string& a, const std::string& b) { return CompareTextI(a, b) < 0; };
    for (int step = 0; step < 20000; ++step) {
        const int action = static_cast<int>(random() % 10);
        if (action < 6 || sortedModel.empty()) {
            const std::string text = word();
            const int at = sorted.Add(text);
            const auto place = std::upper_bound(sortedModel.begin(), sortedModel.end(), text, less);
            ASSERT_EQ(at, place - sortedModel.begin());
            sortedModel.insert(place, text);
            const int where = static_cast<int>(random() % (plainModel.size() + 1));
            plain.Insert(where, text, step);
            plainModel.insert(plainModel.begin() + where, text);
        } else {
            const int at = static_cast<int>(random() % sortedModel.size());
            sorted.Delete(at);
            sortedModel.erase(sortedModel.begin() + at);
            const int where = static_cast<int>(random() % plainModel.size());
            plain.Delete(where);
            plainModel.erase(plainModel.begin() + where);
        }
        if (step % 997 == 0) {
            ASSERT_EQ(Lines(sorted), sortedModel) << "step " << step;
            ASSERT_EQ(Lines(plain), plainModel) << "step " << step;
        }
    }
    ASSERT_EQ(sorted.Count(), static_cast<int>(sortedModel.size()));
    for (int i = 0; i < sorted.Count(); i += 37)
        ASSERT_EQ(sorted[i], sortedModel[static_cast<size_t>(i)]);
    for (int i = 0; i < plain.Count(); i += 37)
        ASSERT_EQ(plain[i], plainModel[static_cast<size_t>(i)]);
    EXPECT_THROW(plain.Strings(plain.Count()), EStringListError);
    EXPECT_THROW(plain.Delete(-1), EStringListError);

    // Sorting the unsorted list once gives the same order as the sorted fill (stable).
    std::stable_sort(plainModel.begin(), plainModel.end(), less);
    plain.Sort();
    EXPECT_EQ(Lines(plain), plainModel);
    plain.Reverse();
    EXPECT_EQ(plain[0], plainModel.back());
}

TEST(StringList, TextSplitsOnEveryLineEndAndKeepsEveryOtherByte) {
    TStringList list;
    list.SetText("one\r\ntwo\nthree\rfour\r\rsix\n\nlast");
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"one", "two", "three", "four", "", "six", "", "last"}));
    EXPECT_EQ(list.Text(), "one\r\ntwo\r\nthree\r\nfour\r\n\r\nsix\r\n\r\nlast\r\n");

    list.SetText(std::string("a\0b\r\n\xff", 6));
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list[0], std::string("a\0b", 3));
    list.SetText("");
    EXPECT_EQ(list.Count(), 0);
    list.SetText("\r\n");
    EXPECT_EQ(Lines(list), std::vector<std::string>{""});

    // A sorted list loading text that repeats itself keeps the first of each.
    TStringList sorted;
    sorted.SetSorted(true);
    sorted.Add("b", 5);
    sorted.SetText("c\nB\na\nA\n");
    EXPECT_EQ(Lines(sorted), (std::vector<std::string>{"a", "B", "c"}));
    sorted.SetDuplicates(TDuplicates::dupError);
    EXPECT_THROW(sorted.SetText("x\nX\n"), EStringListError);
}

TEST(StringList, FilesRoundTripWithCrLfAndBinaryFilesLoseNoByte) {
    const std::string name = TempName("roundtrip.txt");
    TStringList list;
    for (int i = 0; i < 3000; ++i)
        list.Add("line " + std::to_string(i) + " \xe9");
    list.SaveToFile(name);
    EXPECT_EQ(std::filesystem::file_size(name), list.Text().size());
    TStringList back;
    back.LoadFromFile(name);
    EXPECT_EQ(Lines(back), Lines(list));

    // Every byte value, in random lines of random line ends.
    std::mt19937 random(11);
    std::string binary(200000, '\0');
    for (char& c : binary)
        c = static_cast<char>(random());
    { std::ofstream(name, std::ios::binary) << binary; }
    back.LoadFromFile(name);
    size_t kept = 0;
    back.ForEach([&](const TStringItem& item) { kept += item.Text.size(); });
    EXPECT_EQ(kept, static_cast<size_t>(std::count_if(binary.begin(), binary.end(),
                                                      [](char c) { return c != '\r' && c != '\n'; })));
    std::remove(name.c_str());

    try {
        back.LoadFromFile(name);
        FAIL() << "loaded a missing file";
    } catch (const EFOpenError& error) {
        EXPECT_NE(std::string(error.what()).find(name), std::string::npos);
    }
    EXPECT_THROW(list.SaveToFile(TempName("no_such_dir") + "/x.txt"), EFCreateError);

    // Streams load from their position on, as a container embedded in a larger file does.
    TMemoryStream stream;
    stream.WriteBuffer("HEAD", 4);
    list.SaveToStream(stream);
    stream.SetPosition(4);
    back.LoadFromStream(stream);
    EXPECT_EQ(Lines(back), Lines(list));
    EXPECT_EQ(stream.Position(), stream.Size());
}

TEST(StringList, AssignCopiesStringsObjectsAndRules) {
    TStringList source;
    source.SetSorted(true);
    source.SetDuplicates(TDuplicates::dupError);
    source.Add("b", 2);
    source.Add("a", 1);
    TStringList copy;
    copy.Add("old");
    copy.Assign(source);
    EXPECT_EQ(Lines(copy), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(copy.Objects(1), 2);
    EXPECT_TRUE(copy.Sorted());
    EXPECT_THROW(copy.Add("A"), EStringListError);
    EXPECT_THROW(copy.Assign(TPersistent()), Exception);

    TStringList unsorted;
    unsorted.Add("x", 10);
    unsorted.Add("y", 20);
    unsorted.CustomSort([](const TStringItem& a, const TStringItem& b) { return a.Object > b.Object; });
    EXPECT_EQ(unsorted[0], "y");
    EXPECT_EQ(unsorted.IndexOfObject(10), 1);
}
