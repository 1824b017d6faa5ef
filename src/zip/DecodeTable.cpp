// Canonical prefix-code tables; see DecodeTable.h.
#include "zip/DecodeTable.h"

namespace zip {

namespace {
constexpr unsigned kMaxCodeBits = 16;
constexpr unsigned kMaxSymbols = 320;

inline uint32_t Reverse(uint32_t code, unsigned length) {
    uint32_t reversed = 0;
    for (unsigned i = 0; i < length; ++i) {
        reversed = (reversed << 1) | (code & 1);
        code >>= 1;
    }
    return reversed;
}
} // namespace

bool BuildDecodeTable(const uint8_t* lengths, unsigned count, const uint32_t* symbolEntries,
                      const TCodeShape& shape, uint32_t* table, size_t capacity) {
    const unsigned root = shape.rootBits;
    if (count > kMaxSymbols || shape.maxBits > kMaxCodeBits || capacity < (size_t(1) << root)) return false;

    unsigned lengthCount[kMaxCodeBits + 1] = {};
    unsigned longest = 0;
    for (unsigned s = 0; s < count; ++s) {
        if (lengths[s] > shape.maxBits) return false;
        ++lengthCount[lengths[s]];
        if (lengths[s] > longest) longest = lengths[s];
    }
    lengthCount[0] = 0;

    int left = 1;
    for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
        left = (left << 1) - static_cast<int>(lengthCount[len]);
        if (left < 0) return false; // over-subscribed
    }
    if (left > 0) {
        if (shape.incomplete == TIncompleteCodes::Refuse) return false;
        if (shape.incomplete == TIncompleteCodes::SingleOrEmpty && longest > 1) return false;
    }

    // First canonical code of each length.
    uint32_t nextCode[kMaxCodeBits + 2] = {};
    for (unsigned len = 1; len <= kMaxCodeBits; ++len)
        nextCode[len + 1] = (nextCode[len] + lengthCount[len]) << 1;
    uint32_t reversed[kMaxSymbols];
    for (unsigned s = 0; s < count; ++s) {
        const unsigned len = lengths[s];
        if (len == 0) continue;
        uint32_t code = nextCode[len]++;
        if (shape.invertCodes) code = ~code & ((1u << len) - 1);
        reversed[s] = Reverse(code, len);
    }

    const size_t rootSize = size_t(1) << root;
    const uint32_t rootMask = static_cast<uint32_t>(rootSize - 1);
    for (size_t i = 0; i < rootSize; ++i)
        table[i] = MakeEntry(kInvalidEntry, 0) | root;

    // Each long prefix gets a subtable as wide as its longest code needs.
    size_t used = rootSize;
    if (longest > root) {
        uint8_t subBits[1u << 10] = {}; // root never exceeds 10
        if (root > 10) return false;
        for (unsigned s = 0; s < count; ++s)
            if (lengths[s] > root) {
                const uint32_t prefix = reversed[s] & rootMask;
                const auto width = static_cast<uint8_t>(lengths[s] - root);
                if (width > subBits[prefix]) subBits[prefix] = width;
            }
        for (uint32_t prefix = 0; prefix < rootSize; ++prefix) {
            if (subBits[prefix] == 0) continue;
            const size_t size = size_t(1) << subBits[prefix];
            if (used + size > capacity) return false;
            table[prefix] = MakeEntry(kSubtableEntry, static_cast<uint32_t>(used), subBits[prefix]) | root;
            for (size_t i = 0; i < size; ++i)
                table[used + i] = MakeEntry(kInvalidEntry, 0) | subBits[prefix];
            used += size;
        }
    }

    for (unsigned s = 0; s < count; ++s) {
        const unsigned len = lengths[s];
        if (len == 0) continue;
        const uint32_t code = reversed[s];
        if (len <= root) {
            for (size_t i = code; i < rootSize; i += size_t(1) << len)
                table[i] = symbolEntries[s] | len;
        } else {
            const uint32_t pointer = table[code & rootMask];
            const size_t base = EntryValue(pointer);
            const size_t size = size_t(1) << EntryExtra(pointer);
            for (size_t i = code >> root; i < size; i += size_t(1) << (len - root))
                table[base + i] = symbolEntries[s] | (len - root);
        }
    }
    return true;
}

} // namespace zip
