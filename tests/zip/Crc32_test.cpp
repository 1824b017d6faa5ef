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

} // namespace
