#include "DecodeSupport.h"

#include <gtest/gtest.h>

namespace {

using codectest::Bytes;

// Two tables (no literal table), every length and distance symbol six bits long.
codectest::TBitWriter TwoTableHeader() {
    codectest::TBitWriter w;
    for (int table = 0; table < 2; ++table) {
        w.Put(3, 8); // four bytes follow
        for (int i = 0; i < 4; ++i)
            w.Put(0xF5, 8); // sixteen codes of length six
    }
    return w;
}
// Symbol s of an all-six-bit table: the complement of its canonical code.
void PutSymbol(codectest::TBitWriter& w, uint32_t symbol) {
    w.PutCode(~symbol & 63, 6);
}

TEST(Explode, ReferencesBeforeTheEntryReadAsZerosNotTheLastEntrysWindow) {
    // Fill the shared window with another entry's bytes first.
    const Bytes previous(40000, 'Z');
    ASSERT_EQ(codectest::DecodeMethod(8, 0, 40000, codectest::ZlibRawDeflate(previous, 6)).output, previous);

    auto w = TwoTableHeader();
    w.Put(1, 1), w.Put('A', 8);                // literal
    w.Put(0, 1), w.Put(9, 6), PutSymbol(w, 0); // distance 10
    PutSymbol(w, 0);                           // length 2 (the minimum without a literal table)
    const auto run = codectest::DecodeMethod(6, 0, 3, w.bytes);
    EXPECT_EQ(run.status, zip::TDecodeStatus::Ok);
    EXPECT_EQ(run.output, (Bytes{'A', 0, 0}));
}

TEST(Explode, MalformedTablesAreBadDataAndShortInputStops) {
    codectest::TBitWriter tooFew; // 16 codes where 64 are needed
    tooFew.Put(0, 8), tooFew.Put(0xF5, 8), tooFew.Put(0, 64);
    EXPECT_EQ(codectest::DecodeMethod(6, 0, 10, tooFew.bytes).status, zip::TDecodeStatus::BadData);

    codectest::TBitWriter overSubscribed; // 64 one-bit codes
    overSubscribed.Put(3, 8);
    for (int i = 0; i < 4; ++i)
        overSubscribed.Put(0xF0, 8);
    overSubscribed.Put(0, 64);
    EXPECT_EQ(codectest::DecodeMethod(6, 0, 10, overSubscribed.bytes).status, zip::TDecodeStatus::BadData);

    // Valid tables, one literal, then nothing: no zeros up to the claimed 4 GiB.
    auto w = TwoTableHeader();
    w.Put(1, 1), w.Put('A', 8);
    const auto run = codectest::DecodeMethod(6, 0, 0xFFFFFFFFu, w.bytes);
    EXPECT_EQ(run.status, zip::TDecodeStatus::InputUsedUp);
    EXPECT_LE(run.output.size(), 2u);
}

TEST(Explode, EmptyEntriesOfTheOldMethodsNeedNoData) {
    for (uint16_t method : {2, 3, 4, 5, 6})
        EXPECT_EQ(codectest::DecodeMethod(method, 6, 0, {}).status, zip::TDecodeStatus::Ok) << method;
}

TEST(Explode, StopsAtTheUncompressedSizeInsideAMatch) {
    auto w = TwoTableHeader();
    w.Put(1, 1), w.Put('x', 8);
    w.Put(0, 1), w.Put(0, 6), PutSymbol(w, 0), PutSymbol(w, 63), w.Put(200, 8); // 63 + 200 + 2 bytes
    const auto run = codectest::DecodeMethod(6, 0, 100, w.bytes);
    EXPECT_EQ(run.status, zip::TDecodeStatus::Ok);
    EXPECT_EQ(run.output, Bytes(100, 'x'));
}

} // namespace
