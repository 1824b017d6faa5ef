// The deflate compressor against zlib's inflate and our own: round trips at every level, the
// stored fall-back, flag bits, text/binary guess, and callbacks that fail or cancel.
#include "DecodeSupport.h"
#include "zip/Deflate.h"
#include "zip/DeflateTrees.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using codectest::Bytes;
using codectest::RandomBytes;
using codectest::TextBytes;

struct ReadFailure : std::runtime_error {
    ReadFailure() : std::runtime_error("source changed size") {}
};
struct Canceled : std::runtime_error {
    Canceled() : std::runtime_error("canceled") {}
};

// Source and sink in memory, with knobs for stingy reads and failures part way.
class MemoryStream : public zip::DeflateStream {
  public:
    explicit MemoryStream(const Bytes& input) : input_(input) {}

    uint32_t ReadInput(uint8_t* buffer, uint32_t size) override {
        EXPECT_LT(size, 65536u);
        asked.push_back(size);
        if (failAfter_ && offset_ >= *failAfter_) throw ReadFailure();
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(size, input_.size() - offset_));
        if (asked.size() == 1 && firstRead_ != 0) n = std::min(n, firstRead_);
        if (maxPiece_ != 0) n = std::min<uint32_t>(n, 1 + static_cast<uint32_t>(random_() % maxPiece_));
        if (failAfter_) n = static_cast<uint32_t>(std::min<size_t>(n, *failAfter_ - offset_));
        std::copy_n(input_.begin() + static_cast<ptrdiff_t>(offset_), n, buffer);
        offset_ += n;
        return n;
    }
    void WriteOutput(const uint8_t* buffer, uint32_t size) override {
        if (cancelAtWrite_ != 0 && pieces.size() + 1 == cancelAtWrite_) throw Canceled();
        pieces.push_back(size);
        output.insert(output.end(), buffer, buffer + size);
    }

    void StingyReads(uint32_t maxPiece) { maxPiece_ = maxPiece; }
    void FailReadsAfter(size_t bytes) { failAfter_ = bytes; }
    void CancelAtWrite(size_t n) { cancelAtWrite_ = n; }
    void FirstReadOf(uint32_t n) { firstRead_ = n; }

    Bytes output;
    std::vector<uint32_t> pieces;
    std::vector<uint32_t> asked; // the size of every read

  private:
    const Bytes& input_;
    size_t offset_ = 0;
    uint32_t maxPiece_ = 0;
    std::optional<size_t> failAfter_;
    size_t cancelAtWrite_ = 0;
    uint32_t firstRead_ = 0;
    std::mt19937 random_{11};
};

struct Compressed {
    Bytes bytes;
    zip::DeflateEntryInfo info;
    uint32_t answered = 0;
};

Compressed Compress(const Bytes& input, int level, zip::DeflateBuffers& buffers, uint32_t maxPiece = 0) {
    MemoryStream stream(input);
    stream.StingyReads(maxPiece);
    Compressed result;
    result.answered = zip::DeflateEntry(stream, buffers, level, result.info);
    result.bytes = std::move(stream.output);
    return result;
}

// Back to the original through zlib, and through our inflate fed in uneven pieces, which must
// agree; nothing may follow the final block.
Bytes Restore(const Compressed& c, size_t expectedSize) {
    if (c.info.compressionMethod == 0) return c.bytes;
    const codectest::TZlibResult zlib = codectest::ZlibRawInflate(c.bytes);
    EXPECT_EQ(zlib.code, Z_STREAM_END);
    EXPECT_EQ(zlib.unused, 0u) << "bytes after the final block";
    EXPECT_EQ(zlib.output.size(), expectedSize);
    const codectest::TDecoded ours = codectest::DecodeMethod(8, 0, uint32_t(expectedSize), c.bytes, 777);
    EXPECT_EQ(ours.status, zip::TDecodeStatus::Ok);
    EXPECT_EQ(ours.output, zlib.output);
    return zlib.output;
}

// Text, random stretches, zero runs and far repeats: slides the window several times and
// makes blocks of every kind.
Bytes MixedBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes;
    while (bytes.size() < size) {
        const Bytes text = TextBytes(1000 + random() % 20000, random());
        const Bytes noise = RandomBytes(random() % 5000, random());
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.insert(bytes.end(), noise.begin(), noise.end());
        bytes.insert(bytes.end(), random() % 3000, 0);
        if (bytes.size() > 40000) {
            const size_t from = bytes.size() - 32000 - random() % 8000;
            const Bytes repeat(bytes.begin() + static_cast<ptrdiff_t>(from),
                               bytes.begin() + static_cast<ptrdiff_t>(from + 500 + random() % 3000));
            bytes.insert(bytes.end(), repeat.begin(), repeat.end());
        }
    }
    bytes.resize(size);
    return bytes;
}

std::unique_ptr<zip::DeflateBuffers> NewBuffers() {
    return std::make_unique<zip::DeflateBuffers>();
}

TEST(DeflateEntry, EveryLevelRoundTripsThroughZlib) {
    const std::vector<std::pair<const char*, Bytes>> inputs = {
        {"empty", {}},
        {"one byte", {'x'}},
        {"random", RandomBytes(10000, 1)},
        {"text", TextBytes(150000, 2)},
        {"mixed past the window slide", MixedBytes(400000, 3)},
        {"zeros", Bytes(1 << 20, 0)},
    };
    auto buffers = NewBuffers();
    for (int level = 1; level <= 9; ++level)
        for (const auto& [name, input] : inputs) {
            SCOPED_TRACE(std::string(name) + " at level " + std::to_string(level));
            const Compressed c = Compress(input, level, *buffers);
            EXPECT_EQ(c.answered, c.bytes.size());
            EXPECT_EQ(c.info.bytesConsumed, input.size());
            EXPECT_EQ(Restore(c, input.size()), input);
        }
}

// Sizes around the slide point, read whole and in stingy uneven pieces.
TEST(DeflateEntry, InputsAroundTheWindowSlideRoundTrip) {
    auto buffers = NewBuffers();
    for (size_t size : {65273, 65274, 65275, 65535, 65536, 65537, 98304, 98305})
        for (int level : {1, 3, 4, 9}) {
            SCOPED_TRACE(std::to_string(size) + " bytes at level " + std::to_string(level));
            const Bytes random = RandomBytes(size, 40);
            const Bytes mixed = MixedBytes(size, 41);
            EXPECT_EQ(Restore(Compress(random, level, *buffers), size), random);
            EXPECT_EQ(Restore(Compress(mixed, level, *buffers), size), mixed);
            EXPECT_EQ(Restore(Compress(mixed, level, *buffers, 700), size), mixed);
        }
}

// A first read of one byte leaves 65,535 bytes of room in the window: a read that fills it is
// input like any other, not the end of it.
TEST(DeflateEntry, ReadFillingTheWindowAfterAOneByteReadIsInput) {
    auto buffers = NewBuffers();
    const Bytes input = MixedBytes(200000, 42);
    for (int level : {1, 6}) {
        SCOPED_TRACE(level);
        MemoryStream stream(input);
        stream.FirstReadOf(1);
        Compressed c;
        c.answered = zip::DeflateEntry(stream, *buffers, level, c.info);
        c.bytes = stream.output;
        ASSERT_GE(stream.asked.size(), 2u);
        EXPECT_EQ(stream.asked[1], 65535u);
        EXPECT_EQ(c.info.bytesConsumed, input.size());
        EXPECT_EQ(Restore(c, input.size()), input);
    }
}

// One set of buffers for a run of entries of every size, small ones after large ones: each
// entry comes out as it would from fresh buffers, and the buffers end as fresh ones are.
TEST(DeflateEntry, EveryEntryOfARunCompressesAsFromFreshBuffers) {
    const std::vector<Bytes> inputs = {TextBytes(1000, 50),    MixedBytes(70000, 51), Bytes{'a', 'b'},
                                       TextBytes(4095, 52),    TextBytes(4096, 53),   TextBytes(4097, 54),
                                       MixedBytes(13000, 55),  Bytes(3, 0),           RandomBytes(2000, 56),
                                       MixedBytes(100000, 57), TextBytes(300, 58)};
    auto buffers = NewBuffers();
    for (int level : {1, 3, 6, 9})
        for (size_t i = 0; i < inputs.size(); ++i) {
            SCOPED_TRACE("entry " + std::to_string(i) + " at level " + std::to_string(level));
            auto fresh = NewBuffers();
            const Compressed expected = Compress(inputs[i], level, *fresh);
            const Compressed got = Compress(inputs[i], level, *buffers);
            EXPECT_EQ(got.bytes, expected.bytes);
            EXPECT_EQ(got.info.compressionMethod, expected.info.compressionMethod);
        }
    const auto clean = NewBuffers();
    EXPECT_EQ(std::memcmp(buffers->head, clean->head, sizeof clean->head), 0);
    EXPECT_EQ(std::memcmp(buffers->window, clean->window, sizeof clean->window), 0);
}

TEST(DeflateEntry, EntryThatWouldNotShrinkIsWrittenAsPlainBytes) {
    auto buffers = NewBuffers();
    for (const Bytes& input : {Bytes{}, Bytes{'A'}, RandomBytes(10000, 5)}) {
        SCOPED_TRACE(input.size());
        const Compressed c = Compress(input, 6, *buffers);
        EXPECT_EQ(c.info.compressionMethod, 0);
        EXPECT_EQ(c.answered, input.size());
        EXPECT_EQ(c.bytes, input);
    }
    // Random data past one block cannot fall back: later blocks go out as stored blocks.
    const Bytes large = RandomBytes(200000, 6);
    const Compressed c = Compress(large, 6, *buffers);
    EXPECT_EQ(c.info.compressionMethod, 8);
    EXPECT_LE(c.bytes.size(), large.size() + large.size() / 1000);
    EXPECT_EQ(Restore(c, large.size()), large);
}

TEST(DeflateEntry, ChoosesTheCheapestBlockType) {
    auto buffers = NewBuffers();
    auto firstBlockType = [&](const Bytes& input) {
        const Compressed c = Compress(input, 6, *buffers);
        EXPECT_EQ(c.info.compressionMethod, 8);
        EXPECT_EQ(Restore(c, input.size()), input);
        return (c.bytes.at(0) >> 1) & 3;
    };
    // Many distinct letters, few of each: a tree header would cost more than it saves.
    std::string pangrams = "The quick brown fox jumps over the lazy dog; PACK MY BOX WITH FIVE DOZEN "
                           "LIQUOR JUGS, 0123456789.";
    pangrams += pangrams;
    EXPECT_EQ(firstBlockType(Bytes(pangrams.begin(), pangrams.end())), 1);
    EXPECT_EQ(firstBlockType(TextBytes(100000, 31)), 2);   // dynamic
    EXPECT_EQ(firstBlockType(RandomBytes(100000, 32)), 0); // stored block
}

TEST(DeflateEntry, LevelSetsFlagBitsAndKeepsOthers) {
    const Bytes input = TextBytes(5000, 7);
    auto buffers = NewBuffers();
    const uint16_t expected[10] = {0, 4, 4, 0, 0, 0, 0, 0, 2, 2};
    for (int level = 1; level <= 9; ++level) {
        MemoryStream stream(input);
        zip::DeflateEntryInfo info;
        info.generalPurposeFlag = 1; // encrypted: not the compressor's to touch
        zip::DeflateEntry(stream, *buffers, level, info);
        EXPECT_EQ(info.generalPurposeFlag, 1 | expected[level]) << "level " << level;
    }
}

// Text without the odd binary byte that TextBytes mixes in.
Bytes Prose(size_t size, uint32_t seed) {
    Bytes bytes = TextBytes(size, seed);
    for (uint8_t& b : bytes)
        if ((b < 0x20 && b != '\r' && b != '\n') || b >= 0x7F) b = ' ';
    return bytes;
}

TEST(DeflateEntry, GuessesTextOrBinaryFromTheFirstBlock) {
    auto buffers = NewBuffers();
    EXPECT_EQ(Compress(Prose(50000, 8), 6, *buffers).info.internalAttributes, 1);
    EXPECT_EQ(Compress(RandomBytes(50000, 9), 6, *buffers).info.internalAttributes, 0);
    // One binary byte per four printable ones is still text; one more makes it binary.
    Bytes edge = {'a', 'b', 'c', 'd', 0x01};
    EXPECT_EQ(Compress(edge, 6, *buffers).info.internalAttributes, 1);
    edge.push_back(0x80);
    EXPECT_EQ(Compress(edge, 6, *buffers).info.internalAttributes, 0);
    // Binary data after a first text block does not change the guess.
    Bytes textThenBinary = Prose(400000, 10);
    const Bytes noise = RandomBytes(400000, 11);
    textThenBinary.insert(textThenBinary.end(), noise.begin(), noise.end());
    EXPECT_EQ(Compress(textThenBinary, 1, *buffers).info.internalAttributes, 1);
}

TEST(DeflateEntry, OutputLeavesInWholeKilobytePieces) {
    const Bytes input = MixedBytes(200000, 12);
    auto buffers = NewBuffers();
    MemoryStream stream(input);
    zip::DeflateEntryInfo info;
    zip::DeflateEntry(stream, *buffers, 6, info);
    ASSERT_GT(stream.pieces.size(), 2u);
    for (size_t i = 0; i + 1 < stream.pieces.size(); ++i)
        EXPECT_EQ(stream.pieces[i], 1024u);
    EXPECT_LE(stream.pieces.back(), 1024u);
}

TEST(DeflateEntry, ReadFailurePassesThroughWithBytesConsumedAndLeavesBuffersClean) {
    const Bytes input = MixedBytes(300000, 13);
    const Bytes next = TextBytes(80000, 14);
    auto fresh = NewBuffers();
    const Compressed expected = Compress(next, 9, *fresh);

    auto buffers = NewBuffers();
    for (size_t failAt : {size_t{0}, size_t{1000}, size_t{100000}}) {
        SCOPED_TRACE(failAt);
        MemoryStream stream(input);
        stream.FailReadsAfter(failAt);
        zip::DeflateEntryInfo info;
        EXPECT_THROW(zip::DeflateEntry(stream, *buffers, 9, info), ReadFailure);
        EXPECT_EQ(info.bytesConsumed, failAt);
        // The failed entry leaves nothing behind that changes the next entry's bytes.
        EXPECT_EQ(Compress(next, 9, *buffers).bytes, expected.bytes);
    }
}

TEST(DeflateEntry, CancelFromWriteOutputStopsTheEntry) {
    const Bytes input = MixedBytes(300000, 15);
    auto buffers = NewBuffers();
    MemoryStream stream(input);
    stream.CancelAtWrite(3);
    zip::DeflateEntryInfo info;
    EXPECT_THROW(zip::DeflateEntry(stream, *buffers, 6, info), Canceled);
    EXPECT_EQ(stream.pieces.size(), 2u);
    EXPECT_LT(info.bytesConsumed, input.size());
}

// Frequencies in a Fibonacci series make the deepest possible Huffman trees.
TEST(DeflateTrees, CodeLengthsStayWithinTheLimitAndFormACompleteCode) {
    for (int n : {2, 19, 30, 286})
        for (int maxBits : {7, 15}) {
            if (n > (1 << maxBits)) continue;
            std::vector<uint32_t> freq(static_cast<size_t>(n));
            uint32_t a = 1, b = 1;
            for (auto& f : freq) {
                f = a;
                const uint32_t sum = std::min<uint32_t>(a + b, 1u << 30);
                a = b;
                b = sum;
            }
            std::vector<uint8_t> lengths(static_cast<size_t>(n));
            zip::BuildCodeLengths(freq.data(), n, maxBits, lengths.data());
            uint64_t kraft = 0;
            for (uint8_t length : lengths) {
                ASSERT_GE(length, 1);
                ASSERT_LE(length, maxBits);
                kraft += uint64_t{1} << (maxBits - length);
            }
            EXPECT_EQ(kraft, uint64_t{1} << maxBits) << n << " symbols, " << maxBits << " bits";
        }
}

TEST(DeflateEntry, SkewedLiteralsNeedingDeepTreesRoundTrip) {
    // Byte k appears about 1.6^k times: an unlimited tree would exceed 15 bits.
    Bytes input;
    std::mt19937 random(16);
    double weight = 1;
    for (int k = 0; k < 24; ++k, weight *= 1.6)
        input.insert(input.end(), static_cast<size_t>(weight), static_cast<uint8_t>(k * 7 + 1));
    std::shuffle(input.begin(), input.end(), random);
    auto buffers = NewBuffers();
    for (int level : {1, 6}) {
        const Compressed c = Compress(input, level, *buffers);
        EXPECT_EQ(Restore(c, input.size()), input);
    }
}

} // namespace
