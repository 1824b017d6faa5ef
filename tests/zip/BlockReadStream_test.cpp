// Reading a directory through blocks: random reads and seeks, across block boundaries and
// past the end, give the bytes the file gives, with few reads of the file itself.

#include "zip/BlockReadStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

class TCountingFile : public gui::TMemoryStream {
  public:
    size_t Read(void* buffer, size_t count) override {
        ++reads;
        return gui::TMemoryStream::Read(buffer, count);
    }
    int reads = 0;
};

TEST(BlockReadStream, ReadsAndSeeksGiveTheFilesBytes) {
    TCountingFile file;
    std::vector<uint8_t> bytes(10000);
    std::mt19937 random(5);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    file.WriteBuffer(bytes.data(), bytes.size());
    file.SetPosition(100);
    zip::TBlockReadStream blocks(file, 1024);
    EXPECT_EQ(blocks.Position(), 100);
    EXPECT_EQ(blocks.Size(), 10000);

    // Records read one after the other, a few bytes at a time.
    std::vector<uint8_t> got(46);
    for (int64_t at = 100; at + 46 <= 5000; at += 46) {
        blocks.ReadBuffer(got.data(), got.size());
        ASSERT_TRUE(std::equal(got.begin(), got.end(), bytes.begin() + at)) << at;
    }
    EXPECT_LE(file.reads, 6);

    for (int i = 0; i < 200; ++i) {
        const int64_t at = random() % 10100;
        const size_t want = random() % 3000;
        blocks.SetPosition(at);
        std::vector<uint8_t> piece(want);
        const size_t n = blocks.Read(piece.data(), want);
        const size_t expected = at >= 10000 ? 0 : std::min<size_t>(want, static_cast<size_t>(10000 - at));
        ASSERT_EQ(n, expected) << at << " " << want;
        ASSERT_TRUE(
            std::equal(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(n), bytes.begin() + at));
        EXPECT_EQ(blocks.Position(), at + static_cast<int64_t>(n));
    }
    EXPECT_EQ(blocks.Seek(-10, gui::TSeekOrigin::soEnd), 9990);
    EXPECT_EQ(blocks.Seek(4, gui::TSeekOrigin::soCurrent), 9994);
}

} // namespace
