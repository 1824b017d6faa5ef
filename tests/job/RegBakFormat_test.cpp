// The registry-backup text: values of every size around the line and buffer limits written
// and read back, and damaged files read value by value without losing the good ones.
#include "job/RegBakFormat.h"

#include <gtest/gtest.h>

#include <sstream>

using job::TRegBakItem;
using job::TRegBakItemKind;
using job::TRegBakReader;
using job::TRegBakWriter;

namespace {

TRegBakReader ReaderOf(const std::string& text, size_t& at) {
    return TRegBakReader([&text, &at](std::string& line) {
        if (at >= text.size()) return false;
        const size_t end = text.find('\n', at);
        line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        return true;
    });
}

std::vector<TRegBakItem> ReadAll(const std::string& text) {
    size_t at = 0;
    TRegBakReader reader = ReaderOf(text, at);
    std::vector<TRegBakItem> items;
    TRegBakItem item;
    while (reader.Next(item))
        items.push_back(item);
    return items;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(RegBakFormat, ValuesAroundTheLineAndBufferLimitsRoundTrip) {
    struct Case {
        size_t size;
        const char* field;
        size_t lines;
    };
    const Case cases[] = {{0, "000000000", 1},    {999, "000001998", 1},  {1000, "000002002", 1},
                          {2000, "000004004", 2}, {2001, "000004006", 3}, {499999, "001000996", 500}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        std::vector<uint8_t> data(c.size);
        for (size_t i = 0; i < c.size; ++i)
            data[i] = static_cast<uint8_t>(i * 7 + c.size);
        std::string text;
        TRegBakWriter writer([&](const std::string& piece) { text += piece; });
        writer.RootLine("HKEY_CURRENT_USER");
        writer.KeyLine("Software\\Test");
        // A name holding what a value line looks like must not misparse.
        const std::string name = c.size == 999 ? "odd\"=STR:000000002:41" : "v";
        writer.ValueLines(name, 4, data.data(), data.size());
        writer.ValueLines("after", 1, reinterpret_cast<const uint8_t*>("abc"), 4);
        writer.CountLine();

        const std::vector<std::string> lines = Lines(text);
        ASSERT_EQ(lines.size(), 2 + c.lines + 2);
        EXPECT_EQ(lines[1], "[\\Software\\Test]\r");
        EXPECT_EQ(lines[2].substr(0, name.size() + 17), "\"" + name + "\"=BIN:" + c.field + ":");
        for (size_t i = 2; i + 1 < 2 + c.lines; ++i)
            EXPECT_EQ(lines[i].substr(lines[i].size() - 3), "->\r");
        if (c.lines > 1) {
            EXPECT_GE(lines[3].size(), 2001u);
        }
        std::string count = std::to_string(lines.size() - 1);
        EXPECT_EQ(lines.back(), std::string(10 - count.size(), '0') + count + "\r");
        EXPECT_EQ(job::RegBakCountFromTail(text.substr(text.size() - 12)), int64_t(lines.size() - 1));

        const std::vector<TRegBakItem> items = ReadAll(text);
        ASSERT_EQ(items.size(), 4u);
        EXPECT_EQ(items[0].kind, TRegBakItemKind::Root);
        EXPECT_EQ(items[1].text, "\\Software\\Test");
        EXPECT_EQ(items[2].text, name);
        EXPECT_EQ(items[2].type, 4);
        EXPECT_FALSE(items[2].damaged);
        EXPECT_EQ(items[2].data, data);
        EXPECT_EQ(items[3].text, "after");
        EXPECT_EQ(items[3].data.size(), 4u);
    }
    EXPECT_FALSE(job::RegBakFits("x", 500000));
    EXPECT_TRUE(job::RegBakFits("x", 499999));
    EXPECT_FALSE(job::RegBakFits("line\nbreak", 1));
    EXPECT_STREQ(job::RegBakTag(11), "UNK") << "a 64-bit value has no tag of its own";
}

TEST(RegBakFormat, DamagedValuesCostOnlyThemselves) {
    const std::string good = "\"ok\"=STR:000000008:41424300\r\n";
    const std::string huge = "\"huge\"=BIN:004004000:" + std::string(2000, 'A') + "->\r\n";
    std::string hugeLines;
    for (int i = 0; i < 1000; ++i)
        hugeLines += std::string(2000, 'B') + "->\r\n";
    const std::string text = "junk before the first root\r\n[HKEY_CURRENT_USER]\r\n" + good +
                             "\"badlen\"=BIN:00000x004:0102\r\n" +   // unreadable length
                             "\"mismatch\"=BIN:000000006:0102\r\n" + // says 3 bytes, holds 2
                             "\"odd\"=BIN:000000003:010\r\n" +       // odd digit count
                             "\"nothex\"=BIN:000000004:01ZZ\r\n" +   // not hex
                             "\"cut\"=BIN:000004004:" + std::string(2000, '1') +
                             "->\r\n" + // continuation missing
                             "[\\Next]\r\n" + good + huge + hugeLines + std::string(2000, 'C') + "\r\n" +
                             good + "\"notag\"=XYZ:000000002:01\r\n" +
                             // Longer than the buffer on one line, its length field matching.
                             "\"oneline\"=BIN:002002200:" + std::string(2000200, 'D') + "\r\n" +
                             "[HKEY_SOMEWHERE_ELSE]\r\n" + good;
    const std::vector<TRegBakItem> items = ReadAll(text);
    std::vector<std::string> seen;
    for (const TRegBakItem& item : items) {
        std::string what = item.text;
        if (item.kind == TRegBakItemKind::Value) what += item.damaged ? " damaged" : " good";
        if (item.lengthUnreadable) what += " nolength";
        seen.push_back(what);
        EXPECT_LE(item.data.size(), job::kRegBakBufferSize);
    }
    const std::vector<std::string> expected = {"HKEY_CURRENT_USER",
                                               "ok good",
                                               "badlen damaged nolength",
                                               "mismatch damaged",
                                               "odd damaged",
                                               "nothex damaged",
                                               "cut damaged",
                                               "\\Next",
                                               "ok good",
                                               "huge damaged",
                                               "ok good",
                                               "notag damaged",
                                               "oneline damaged",
                                               "HKEY_SOMEWHERE_ELSE",
                                               "ok good"};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(items[9].dataDigits, 2000u * 1002) << "the whole long value was consumed";
    EXPECT_EQ(job::RegBakCountFromTail("no count  \r\n"), -1);
}
