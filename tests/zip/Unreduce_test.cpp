#include "DecodeSupport.h"

#include <gtest/gtest.h>

namespace {

using codectest::Bytes;

// Every follower set empty: each byte then comes as eight plain bits.
codectest::TBitWriter EmptySets() {
    codectest::TBitWriter w;
    for (int set = 0; set < 256; ++set)
        w.Put(0, 6);
    return w;
}

TEST(Unreduce, CopiesBeforeTheEntryGiveZerosNotTheLastEntrysWindow) {
    const Bytes previous(40000, 'Z');
    ASSERT_EQ(codectest::DecodeMethod(8, 0, 40000, codectest::ZlibRawDeflate(previous, 6)).output, previous);

    auto w = EmptySets();
    // 'A', then escape 144 with length 5 and distance 11 (factor 1), then an escaped 144.
    for (uint32_t byte : {65u, 144u, 5u, 10u, 144u, 0u})
        w.Put(byte, 8);
    const auto run = codectest::DecodeMethod(2, 0, 10, w.bytes);
    EXPECT_EQ(run.status, zip::TDecodeStatus::Ok);
    EXPECT_EQ(run.output, (Bytes{'A', 0, 0, 0, 0, 0, 0, 0, 0, 144}));
}

TEST(Unreduce, FollowerSetsAndIndexesAreChecked) {
    for (uint32_t count : {33u, 63u}) {
        codectest::TBitWriter w;
        w.Put(count, 6);
        w.Put(0, 63 * 8);
        EXPECT_EQ(codectest::DecodeMethod(3, 0, 10, w.bytes).status, zip::TDecodeStatus::BadData) << count;
    }
    // Set 0 holds three followers; index 3 (two bits) is past them.
    codectest::TBitWriter w;
    for (int set = 255; set > 0; --set)
        w.Put(0, 6);
    w.Put(3, 6), w.Put('a', 8), w.Put('b', 8), w.Put('c', 8);
    w.Put(0, 1), w.Put(1, 2); // 'b' from set 0
    w.Put(0, 8);              // set of 'b' is empty: a plain byte
    w.Put(0, 1), w.Put(3, 2); // set 0 again, index 3
    EXPECT_EQ(codectest::DecodeMethod(5, 0, 10, w.bytes).status, zip::TDecodeStatus::BadData);
}

TEST(Unreduce, ShortInputStopsInsteadOfDecodingZerosToTheClaimedSize) {
    auto w = EmptySets();
    w.Put('A', 8);
    const auto run = codectest::DecodeMethod(5, 0, 0xFFFFFFFFu, w.bytes);
    EXPECT_EQ(run.status, zip::TDecodeStatus::InputUsedUp);
    EXPECT_EQ(run.output, Bytes{'A'});
}

TEST(Unreduce, LongCopiesOfEveryFactorStopAtTheUncompressedSize) {
    for (uint32_t factor = 1; factor <= 4; ++factor) {
        auto w = EmptySets();
        const uint32_t lengthMask = 0xFFu >> factor;
        // 'q', then a copy at distance 1 with the longest length: mask + 255 + 3.
        for (uint32_t byte : {uint32_t('q'), 144u, lengthMask, 255u, 0u})
            w.Put(byte, 8);
        const size_t size = 1 + lengthMask + 255 + 3;
        auto run = codectest::DecodeMethod(static_cast<uint16_t>(factor + 1), 0, static_cast<uint32_t>(size),
                                           w.bytes);
        EXPECT_EQ(run.status, zip::TDecodeStatus::Ok) << factor;
        EXPECT_EQ(run.output, Bytes(size, 'q')) << factor;
        run = codectest::DecodeMethod(static_cast<uint16_t>(factor + 1), 0, 50, w.bytes);
        EXPECT_EQ(run.output, Bytes(50, 'q')) << factor;
    }
}

} // namespace
