#pragma once
// Block coding of the deflate compressor: the tally of literals and matches, Huffman trees with
// limited code lengths, the choice of block type and the bit output.
//
// Each literal or match found by the match finder is recorded (TallyEntry) in three buffers owned
// by the caller: the literal byte or the match length less 3, the distance less 1 for matches,
// and one flag bit telling the two apart. Frequencies of the literal/length and distance
// symbols are counted as they come, so ending a block costs only the tree building.
//
// A block's trees are built from those frequencies as optimal prefix codes (two-queue Huffman
// construction over the symbols sorted by frequency), then limited to 15 bits (7 for the
// code-length tree) by moving leaves up the tree until the Kraft sum fits again, the way
// JPEG limits its tables: cheap, and within a fraction of a percent of the optimum. Every tree
// keeps at least two codes, because some decoders reject a one-code tree.
//
// The exact cost in bits of a dynamic block (with its header), a fixed-Huffman block and a
// stored block is known before anything is written, so the cheapest is chosen. Bits go LSB
// first through a one-word accumulator into a 1 KiB buffer that is handed to the sink
// whenever it fills. The text/binary guess of the entry is taken from the literals of its
// first block.

#include "zip/Deflate.h"

#include <cstddef>
#include <cstdint>

namespace zip {

inline constexpr int kLiteralCodes = 256;
inline constexpr int kEndOfBlock = 256;
inline constexpr int kLengthCodes = 29;
inline constexpr int kLitLenCodes = kLiteralCodes + 1 + kLengthCodes; // 286
inline constexpr int kDistanceCodes = 30;
inline constexpr int kBitLengthCodes = 19;
inline constexpr int kMaxCodeBits = 15;
inline constexpr int kMaxBitLengthBits = 7;

namespace detail {
// Symbol tables of RFC 1951, computed at compile time.
struct DeflateTables {
    uint8_t lengthCode[256]; // match length less 3 -> length code less 257
    uint8_t lengthBase[kLengthCodes];
    uint8_t lengthExtra[kLengthCodes];
    uint8_t distanceCode[512]; // distance less 1 (see DistanceCode)
    uint16_t distanceBase[kDistanceCodes];
    uint8_t distanceExtra[kDistanceCodes];
};

constexpr DeflateTables MakeDeflateTables() {
    DeflateTables t{};
    int length = 0;
    for (int code = 0; code < kLengthCodes - 1; ++code) {
        t.lengthExtra[code] = static_cast<uint8_t>(code < 8 ? 0 : (code - 4) / 4);
        t.lengthBase[code] = static_cast<uint8_t>(length);
        for (int n = 0; n < (1 << t.lengthExtra[code]); ++n)
            t.lengthCode[length++] = static_cast<uint8_t>(code);
    }
    // 258 has a code of its own; 255 (258 less 3) would otherwise be the last of code 27.
    t.lengthBase[kLengthCodes - 1] = 255;
    t.lengthExtra[kLengthCodes - 1] = 0;
    t.lengthCode[255] = kLengthCodes - 1;
    int distance = 0;
    for (int code = 0; code < kDistanceCodes; ++code) {
        t.distanceExtra[code] = static_cast<uint8_t>(code < 4 ? 0 : (code - 2) / 2);
        t.distanceBase[code] = static_cast<uint16_t>(distance);
        for (int n = 0; n < (1 << t.distanceExtra[code]); ++n, ++distance) {
            if (distance < 256)
                t.distanceCode[distance] = static_cast<uint8_t>(code);
            else if ((distance & 127) == 0)
                t.distanceCode[256 + (distance >> 7)] = static_cast<uint8_t>(code);
        }
    }
    return t;
}

inline constexpr DeflateTables kDeflateTables = MakeDeflateTables();
} // namespace detail

// Distance code of a distance less 1 (0..32767): short ones index directly, long ones by 128s.
inline unsigned DistanceCode(unsigned distanceLess1) {
    return distanceLess1 < 256 ? detail::kDeflateTables.distanceCode[distanceLess1]
                               : detail::kDeflateTables.distanceCode[256 + (distanceLess1 >> 7)];
}

// LSB-first bit output through a 1 KiB buffer into DeflateStream::WriteOutput.
class DeflateBitWriter {
  public:
    explicit DeflateBitWriter(DeflateStream& sink) : sink_(sink) {}

    // count <= 16 per call; the accumulator holds under kSpillBits between calls.
    void PutBits(uint32_t value, unsigned count) {
        bits_ |= static_cast<Bits>(value) << bitCount_;
        bitCount_ += count;
        if (bitCount_ >= kSpillBits) {
            for (unsigned i = 0; i < kSpillBits / 8; ++i)
                buffer_[used_ + i] = static_cast<uint8_t>(bits_ >> (8 * i));
            used_ += kSpillBits / 8;
            bits_ >>= kSpillBits;
            bitCount_ -= kSpillBits;
            if (used_ >= kOutputSize) Drain();
        }
    }
    // Pads the pending bits with zeros to a byte boundary and moves them to the buffer.
    void AlignToByte();
    // Copies bytes out; the writer must be byte-aligned.
    void PutBytes(const uint8_t* bytes, size_t size);
    // Aligns and hands everything still buffered to the sink.
    void Finish();
    // Bytes produced so far, counting pending whole bytes but not a partial one.
    uint64_t BytesProduced() const { return written_ + used_ + bitCount_ / 8; }
    bool NothingProduced() const { return written_ == 0 && used_ == 0 && bitCount_ == 0; }

  private:
    // A machine word: 64-bit shifts are several steps on a 32-bit build. Half a word spills
    // at a time, so a word always has room for one more call's bits.
    using Bits = uintptr_t;
    static constexpr unsigned kSpillBits = sizeof(Bits) * 4;
    static_assert(kSpillBits >= 16);
    static constexpr size_t kOutputSize = 1024;
    void Drain();

    DeflateStream& sink_;
    Bits bits_ = 0;
    unsigned bitCount_ = 0;
    size_t used_ = 0;
    uint64_t written_ = 0;
    uint8_t buffer_[kOutputSize + 8];
};

// Tally, trees and block output for one entry.
class DeflateBlockWriter {
  public:
    DeflateBlockWriter(DeflateBuffers& buffers, DeflateBitWriter& out, DeflateEntryInfo& entry,
                       bool estimateEarlyEnd);

    // Records a literal (distance 0, value the byte) or a match (value its length) and answers
    // true when the block must end now. blockBytes is the input the block covers so far.
    bool TallyEntry(unsigned distance, unsigned value, int64_t blockBytes) {
        if (distance == 0) {
            buffers_.literals[count_] = static_cast<uint8_t>(value);
            ++litFreq_[value];
            return Advance(false, blockBytes);
        }
        const unsigned lengthLess3 = value - kDeflateMinMatch;
        const unsigned distanceLess1 = distance - 1;
        buffers_.literals[count_] = static_cast<uint8_t>(lengthLess3);
        buffers_.distances[matches_++] = static_cast<uint16_t>(distanceLess1);
        ++litFreq_[kLiteralCodes + 1 + detail::kDeflateTables.lengthCode[lengthLess3]];
        ++distFreq_[DistanceCode(distanceLess1)];
        return Advance(true, blockBytes);
    }

    // Codes the tallied block. bytes points at its input in the window, or is null when the
    // window has slid past its start (no stored form then). last ends the stream.
    void FlushBlock(const uint8_t* bytes, uint64_t length, bool last);

  private:
    bool Advance(bool isMatch, int64_t blockBytes) {
        if (isMatch) flagByte_ |= static_cast<uint8_t>(1u << (count_ & 7));
        ++count_;
        if ((count_ & 7) == 0) {
            buffers_.flags[(count_ >> 3) - 1] = flagByte_;
            flagByte_ = 0;
        }
        if (count_ == kDeflateTallySize - 1 || matches_ == kDeflateTallySize) return true;
        return estimateEarlyEnd_ && (count_ & 0xFFF) == 0 && CompressesWellEnough(blockBytes);
    }
    bool CompressesWellEnough(int64_t blockBytes) const;
    void DecideTextOrBinary();
    void SendSymbols(const struct HuffmanCode* litLen, const struct HuffmanCode* dist);
    void ResetBlock();

    DeflateBuffers& buffers_;
    DeflateBitWriter& out_;
    DeflateEntryInfo& entry_;
    const bool estimateEarlyEnd_;
    uint32_t count_ = 0;   // tally entries in the block
    uint32_t matches_ = 0; // of which matches
    uint8_t flagByte_ = 0;
    bool anyBlockWritten_ = false;
    uint32_t litFreq_[kLitLenCodes];
    uint32_t distFreq_[kDistanceCodes];
};

// One canonical code, bit-reversed for LSB-first output.
struct HuffmanCode {
    uint16_t bits;
    uint8_t length;
};

// Optimal prefix code lengths for freq[0..n), none above maxBits, at least two codes. Exposed for
// the tests of the length limit.
void BuildCodeLengths(const uint32_t* freq, int n, int maxBits, uint8_t* lengths);
// Canonical codes (RFC 1951) for the given lengths.
void AssignCodes(const uint8_t* lengths, int n, HuffmanCode* codes);

} // namespace zip
