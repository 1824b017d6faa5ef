#include "zip/Crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

namespace {

TEST(Crc32, CheckValueOfTheStandardString) {
    EXPECT_EQ(zip::Crc32Of("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(zip::Crc32Of(nullptr, 0), 0u);
}

TEST(Crc32, EqualsZlibForEveryLengthAndAlignment) {
    std::vector<uint8_t> bytes(4096 + 16);
    std::mt19937 random(7);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(random());
    for (size_t offset = 0; offset < 16; ++offset)
        for (size_t length = 0; length <= 4096; ++length) {
            const uint8_t* p = bytes.data() + offset;
            const auto expected = static_cast<uint32_t>(crc32(0, p, static_cast<uInt>(length)));
            ASSERT_EQ(zip::Crc32Of(p, length), expected) << "offset " << offset << " length " << length;
        }
}

TEST(Crc32, RunningRegisterOverPiecesEqualsWholeBuffer) {
    std::vector<uint8_t> bytes(100000);
    std::mt19937 random(11);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(random());
    const uint32_t whole = zip::Crc32Of(bytes.data(), bytes.size());
    uint32_t reg = zip::kCrc32Start;
    size_t pos = 0;
    for (size_t piece = 1; pos < bytes.size(); piece = piece * 3 + 1) {
        const size_t n = std::min(piece, bytes.size() - pos);
        reg = zip::Crc32Update(reg, bytes.data() + pos, n);
        pos += n;
    }
    EXPECT_EQ(~reg, whole);
    uint32_t stepped = zip::kCrc32Start;
    for (uint8_t b : bytes)
        stepped = zip::Crc32Step(stepped, b);
    EXPECT_EQ(~stepped, whole);
}

} // namespace
