// Huffman trees, block choice and bit output of the deflate compressor; see DeflateTrees.h.
#include "zip/DeflateTrees.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace zip {

namespace {

using detail::kDeflateTables;

// Order in which the code-length code lengths are sent (RFC 1951, 3.2.7).
constexpr uint8_t kBitLengthOrder[kBitLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                      11, 4,  12, 3, 13, 2, 14, 1, 15};
constexpr uint8_t kBitLengthExtra[kBitLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                      0, 0, 0, 0, 0, 0, 2, 3, 7};

constexpr unsigned ReverseBits(unsigned code, unsigned length) {
    unsigned reversed = 0;
    for (unsigned i = 0; i < length; ++i, code >>= 1)
        reversed = (reversed << 1) | (code & 1);
    return reversed;
}

struct FixedCodes {
    HuffmanCode litLen[288];
    HuffmanCode distance[kDistanceCodes];
};

FixedCodes MakeFixedCodes() {
    uint8_t lengths[288];
    for (int n = 0; n < 288; ++n)
        lengths[n] = n < 144 ? 8 : n < 256 ? 9 : n < 280 ? 7 : 8;
    FixedCodes fixed{};
    AssignCodes(lengths, 288, fixed.litLen);
    for (int n = 0; n < kDistanceCodes; ++n)
        fixed.distance[n] = {static_cast<uint16_t>(ReverseBits(n, 5)), 5};
    return fixed;
}

const FixedCodes& Fixed() {
    static const FixedCodes codes = MakeFixedCodes();
    return codes;
}

// Minimum-redundancy code lengths in place (Moffat and Katajainen): weights holds n >= 2
// frequencies in ascending order and ends holding each one's code length. Linear time and no
// heap, because the internal nodes are created in ascending order of weight as well.
void MinimumRedundancyLengths(uint32_t* w, int n) {
    // Pass 1: combine, leaving each internal node's parent index in its slot.
    w[0] += w[1];
    int root = 0;
    int leaf = 2;
    for (int next = 1; next < n - 1; ++next) {
        if (leaf >= n || w[root] < w[leaf]) {
            w[next] = w[root];
            w[root++] = static_cast<uint32_t>(next);
        } else {
            w[next] = w[leaf++];
        }
        if (leaf >= n || (root < next && w[root] < w[leaf])) {
            w[next] += w[root];
            w[root++] = static_cast<uint32_t>(next);
        } else {
            w[next] += w[leaf++];
        }
    }
    // Pass 2: depths of the internal nodes from their parents.
    w[n - 2] = 0;
    for (int next = n - 3; next >= 0; --next)
        w[next] = w[w[next]] + 1;
    // Pass 3: leaf depths, filling from the most frequent end.
    int available = 1;
    int used = 0;
    uint32_t depth = 0;
    root = n - 2;
    int next = n - 1;
    while (available > 0) {
        while (root >= 0 && w[root] == depth) {
            ++used;
            --root;
        }
        while (available > used) {
            w[next--] = depth;
            --available;
        }
        available = 2 * used;
        ++depth;
        used = 0;
    }
}

// Code lengths as a run-length list of code-length symbols (16 repeats the previous length
// 3-6 times, 17 and 18 give runs of zeros). Each tree is coded on its own: a run never crosses
// from the literal/length lengths into the distance lengths, which older decoders require.
struct LengthRun {
    uint8_t symbol;
    uint8_t extra;
};

int RunLengthCode(const uint8_t* lengths, int n, LengthRun* runs, uint32_t* blFreq) {
    int count = 0;
    auto emit = [&](unsigned symbol, unsigned extra) {
        runs[count++] = {static_cast<uint8_t>(symbol), static_cast<uint8_t>(extra)};
        ++blFreq[symbol];
    };
    for (int i = 0; i < n;) {
        const uint8_t length = lengths[i];
        int run = 1;
        while (i + run < n && lengths[i + run] == length)
            ++run;
        i += run;
        if (length == 0) {
            while (run >= 11) {
                const int part = std::min(run, 138);
                emit(18, part - 11);
                run -= part;
            }
            if (run >= 3) {
                emit(17, run - 3);
                run = 0;
            }
        } else {
            emit(length, 0);
            --run;
            while (run >= 3) {
                const int part = std::min(run, 6);
                emit(16, part - 3);
                run -= part;
            }
        }
        for (; run > 0; --run)
            emit(length, 0);
    }
    return count;
}

int LastUsed(const uint8_t* lengths, int n) {
    while (n > 0 && lengths[n - 1] == 0)
        --n;
    return n;
}

} // namespace

void BuildCodeLengths(const uint32_t* freq, int n, int maxBits, uint8_t* lengths) {
    std::memset(lengths, 0, static_cast<size_t>(n));
    uint64_t keys[kLitLenCodes];
    int used = 0;
    for (int s = 0; s < n; ++s)
        if (freq[s] != 0) keys[used++] = (static_cast<uint64_t>(freq[s]) << 16) | static_cast<unsigned>(s);
    if (used < 2) {
        // Two one-bit codes: a decoder may refuse a tree of one code or none.
        const int only = used == 1 ? static_cast<int>(keys[0] & 0xFFFF) : 0;
        lengths[only] = 1;
        lengths[only == 0 ? 1 : 0] = 1;
        return;
    }
    std::sort(keys, keys + used);
    uint32_t weights[kLitLenCodes];
    for (int i = 0; i < used; ++i)
        weights[i] = static_cast<uint32_t>(keys[i] >> 16);
    MinimumRedundancyLengths(weights, used);

    int count[kLitLenCodes + 1] = {};
    const int deepest = static_cast<int>(weights[0]); // the least frequent is deepest
    for (int i = 0; i < used; ++i)
        ++count[weights[i]];
    // Too deep: take two leaves from the deepest level, make their parent a leaf, and hang the
    // second one next to a shallower leaf, which moves down one level. The Kraft sum stays 1.
    for (int depth = deepest; depth > maxBits; --depth) {
        while (count[depth] > 0) {
            int shallower = depth - 2;
            while (count[shallower] == 0)
                --shallower;
            count[depth] -= 2;
            count[depth - 1] += 1;
            count[shallower + 1] += 2;
            count[shallower] -= 1;
        }
    }
    // Longest codes to the least frequent symbols.
    int i = 0;
    for (int length = std::min(deepest, maxBits); length >= 1; --length)
        for (int c = count[length]; c > 0; --c)
            lengths[keys[i++] & 0xFFFF] = static_cast<uint8_t>(length);
}

void AssignCodes(const uint8_t* lengths, int n, HuffmanCode* codes) {
    unsigned lengthCount[kMaxCodeBits + 1] = {};
    for (int s = 0; s < n; ++s)
        ++lengthCount[lengths[s]];
    lengthCount[0] = 0;
    unsigned next[kMaxCodeBits + 1] = {};
    unsigned code = 0;
    for (int bits = 1; bits <= kMaxCodeBits; ++bits) {
        code = (code + lengthCount[bits - 1]) << 1;
        next[bits] = code;
    }
    for (int s = 0; s < n; ++s) {
        const unsigned length = lengths[s];
        codes[s] = {static_cast<uint16_t>(length ? ReverseBits(next[length]++, length) : 0),
                    static_cast<uint8_t>(length)};
    }
}

void DeflateBitWriter::AlignToByte() {
    while (bitCount_ > 0) {
        buffer_[used_++] = static_cast<uint8_t>(bits_);
        bits_ >>= 8;
        bitCount_ = bitCount_ > 8 ? bitCount_ - 8 : 0;
    }
    bits_ = 0;
    if (used_ >= kOutputSize) Drain();
}

void DeflateBitWriter::PutBytes(const uint8_t* bytes, size_t size) {
    while (size > 0) {
        const size_t part = std::min(size, kOutputSize - used_);
        std::memcpy(buffer_ + used_, bytes, part);
        used_ += part;
        bytes += part;
        size -= part;
        if (used_ >= kOutputSize) Drain();
    }
}

void DeflateBitWriter::Finish() {
    AlignToByte();
    if (used_ > 0) {
        sink_.WriteOutput(buffer_, static_cast<uint32_t>(used_));
        written_ += used_;
        used_ = 0;
    }
}

void DeflateBitWriter::Drain() {
    // Whole 1 KiB pieces; the few bytes past the piece move down.
    sink_.WriteOutput(buffer_, kOutputSize);
    written_ += kOutputSize;
    used_ -= kOutputSize;
    std::memmove(buffer_, buffer_ + kOutputSize, used_);
}

DeflateBlockWriter::DeflateBlockWriter(DeflateBuffers& buffers, DeflateBitWriter& out,
                                       DeflateEntryInfo& entry, bool estimateEarlyEnd)
    : buffers_(buffers), out_(out), entry_(entry), estimateEarlyEnd_(estimateEarlyEnd) {
    ResetBlock();
}

void DeflateBlockWriter::ResetBlock() {
    std::fill(std::begin(litFreq_), std::end(litFreq_), 0u);
    std::fill(std::begin(distFreq_), std::end(distFreq_), 0u);
    count_ = 0;
    matches_ = 0;
    flagByte_ = 0;
}

bool DeflateBlockWriter::CompressesWellEnough(int64_t blockBytes) const {
    uint64_t bits = static_cast<uint64_t>(count_) * 8;
    for (int code = 0; code < kDistanceCodes; ++code)
        bits += static_cast<uint64_t>(distFreq_[code]) * (5u + kDeflateTables.distanceExtra[code]);
    const int64_t bytes = static_cast<int64_t>(bits >> 3);
    return matches_ < count_ / 2 && bytes < blockBytes / 2;
}

void DeflateBlockWriter::DecideTextOrBinary() {
    uint64_t binary = 0;
    uint64_t text = 0;
    for (int c = 0; c < kLiteralCodes; ++c)
        (c >= 7 && c <= 127 ? text : binary) += litFreq_[c];
    entry_.internalAttributes = binary <= text / 4 ? 1 : 0;
}

void DeflateBlockWriter::SendSymbols(const HuffmanCode* litLen, const HuffmanCode* dist) {
    const uint8_t* literals = buffers_.literals;
    const uint16_t* distances = buffers_.distances;
    const uint8_t* flags = buffers_.flags;
    unsigned flagBits = 0;
    for (uint32_t i = 0; i < count_; ++i) {
        if ((i & 7) == 0) flagBits = flags[i >> 3];
        const unsigned value = literals[i];
        if ((flagBits & 1) == 0) {
            out_.PutBits(litLen[value].bits, litLen[value].length);
        } else {
            const unsigned code = kDeflateTables.lengthCode[value];
            const HuffmanCode& lengthSymbol = litLen[kLiteralCodes + 1 + code];
            out_.PutBits(lengthSymbol.bits, lengthSymbol.length);
            if (const unsigned extra = kDeflateTables.lengthExtra[code])
                out_.PutBits(value - kDeflateTables.lengthBase[code], extra);
            const unsigned distance = *distances++;
            const unsigned dcode = DistanceCode(distance);
            out_.PutBits(dist[dcode].bits, dist[dcode].length);
            if (const unsigned extra = kDeflateTables.distanceExtra[dcode])
                out_.PutBits(distance - kDeflateTables.distanceBase[dcode], extra);
        }
        flagBits >>= 1;
    }
    out_.PutBits(litLen[kEndOfBlock].bits, litLen[kEndOfBlock].length);
}

void DeflateBlockWriter::FlushBlock(const uint8_t* bytes, uint64_t length, bool last) {
    if ((count_ & 7) != 0) buffers_.flags[count_ >> 3] = flagByte_;
    litFreq_[kEndOfBlock] = 1;
    if (entry_.internalAttributes == 2) DecideTextOrBinary();

    uint8_t litLenLengths[kLitLenCodes];
    uint8_t distLengths[kDistanceCodes];
    BuildCodeLengths(litFreq_, kLitLenCodes, kMaxCodeBits, litLenLengths);
    BuildCodeLengths(distFreq_, kDistanceCodes, kMaxCodeBits, distLengths);
    const int litLenCount = LastUsed(litLenLengths, kLitLenCodes);
    const int distCount = LastUsed(distLengths, kDistanceCodes);

    LengthRun runs[kLitLenCodes + kDistanceCodes];
    uint32_t blFreq[kBitLengthCodes] = {};
    const int litLenRuns = RunLengthCode(litLenLengths, litLenCount, runs, blFreq);
    const int distRuns = RunLengthCode(distLengths, distCount, runs + litLenRuns, blFreq);
    uint8_t blLengths[kBitLengthCodes];
    BuildCodeLengths(blFreq, kBitLengthCodes, kMaxBitLengthBits, blLengths);
    int blCount = kBitLengthCodes;
    while (blCount > 4 && blLengths[kBitLengthOrder[blCount - 1]] == 0)
        --blCount;

    // Costs in bits, without the three block-header bits.
    uint64_t dynamicBits = 5 + 5 + 4 + 3 * static_cast<uint64_t>(blCount);
    for (int s = 0; s < kBitLengthCodes; ++s)
        dynamicBits += static_cast<uint64_t>(blFreq[s]) * (blLengths[s] + kBitLengthExtra[s]);
    uint64_t fixedBits = 0;
    const FixedCodes& fixed = Fixed();
    for (int s = 0; s < kLitLenCodes; ++s) {
        const unsigned extra = s > kEndOfBlock ? kDeflateTables.lengthExtra[s - kEndOfBlock - 1] : 0;
        dynamicBits += static_cast<uint64_t>(litFreq_[s]) * (litLenLengths[s] + extra);
        fixedBits += static_cast<uint64_t>(litFreq_[s]) * (fixed.litLen[s].length + extra);
    }
    for (int s = 0; s < kDistanceCodes; ++s) {
        const unsigned extra = kDeflateTables.distanceExtra[s];
        dynamicBits += static_cast<uint64_t>(distFreq_[s]) * (distLengths[s] + extra);
        fixedBits += static_cast<uint64_t>(distFreq_[s]) * (5 + extra);
    }
    const uint64_t fixedBytes = (fixedBits + 10) / 8;
    const uint64_t bestBytes = std::min((dynamicBits + 10) / 8, fixedBytes);

    if (length <= bestBytes && last && !anyBlockWritten_ && bytes != nullptr) {
        // The whole entry in one block that does not shrink: plain bytes, method stored.
        out_.PutBytes(bytes, static_cast<size_t>(length));
        entry_.compressionMethod = 0;
    } else if (length + 4 <= bestBytes && bytes != nullptr && length <= 0xFFFF) {
        out_.PutBits(last ? 1 : 0, 3);
        out_.AlignToByte();
        out_.PutBits(static_cast<uint32_t>(length), 16);
        out_.PutBits(static_cast<uint32_t>(~length & 0xFFFF), 16);
        out_.PutBytes(bytes, static_cast<size_t>(length));
    } else if (fixedBytes == bestBytes) {
        out_.PutBits((1u << 1) | (last ? 1 : 0), 3);
        SendSymbols(fixed.litLen, fixed.distance);
    } else {
        out_.PutBits((2u << 1) | (last ? 1 : 0), 3);
        out_.PutBits(static_cast<uint32_t>(litLenCount - 257), 5);
        out_.PutBits(static_cast<uint32_t>(distCount - 1), 5);
        out_.PutBits(static_cast<uint32_t>(blCount - 4), 4);
        for (int i = 0; i < blCount; ++i)
            out_.PutBits(blLengths[kBitLengthOrder[i]], 3);
        HuffmanCode blCodes[kBitLengthCodes];
        AssignCodes(blLengths, kBitLengthCodes, blCodes);
        for (int i = 0; i < litLenRuns + distRuns; ++i) {
            const LengthRun run = runs[i];
            out_.PutBits(blCodes[run.symbol].bits, blCodes[run.symbol].length);
            if (kBitLengthExtra[run.symbol] != 0) out_.PutBits(run.extra, kBitLengthExtra[run.symbol]);
        }
        HuffmanCode litLenCodes[kLitLenCodes];
        HuffmanCode distCodes[kDistanceCodes];
        AssignCodes(litLenLengths, kLitLenCodes, litLenCodes);
        AssignCodes(distLengths, kDistanceCodes, distCodes);
        SendSymbols(litLenCodes, distCodes);
    }
    anyBlockWritten_ = true;
    ResetBlock();
}

} // namespace zip
