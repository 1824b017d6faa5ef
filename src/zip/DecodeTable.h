#pragma once
// Lookup tables for prefix codes read least significant bit first (deflate, implode).
//
// A table is indexed by the next `rootBits` bits of input. Codes up to that length fill
// every slot whose low bits are the code (reversed, since the code is sent most significant
// bit first); a longer code's prefix slot points to a subtable indexed by the following bits.
// Ten bits cover nearly every literal/length code of real streams in one look-up while the
// table still fits in L1 next to the window.
//
// An entry is 32 bits: the bits to drop (0-7), extra bits to read after the code or the
// subtable's index width (8-11), the kind (12-15) and a 16-bit value (the literal, the base
// length or distance, the symbol, or the subtable's offset). Slots that no code reaches hold
// kInvalidEntry-kind entries whose length is the index width, so a decoder that looks at too
// few bits never mistakes padding for a code.
//
// Which incomplete codes are acceptable differs between formats; the caller says so.

#include "zip/DecodeIo.h"

#include <cstddef>
#include <cstdint>

namespace zip {

enum TEntryKind : uint32_t {
    kLiteralEntry = 0,
    kLengthEntry = 1,
    kEndEntry = 2,
    kSubtableEntry = 3,
    kInvalidEntry = 4
};

constexpr uint32_t MakeEntry(TEntryKind kind, uint32_t value, uint32_t extraBits = 0) {
    return (value << 16) | (static_cast<uint32_t>(kind) << 12) | (extraBits << 8);
}
constexpr unsigned EntryBits(uint32_t e) {
    return e & 0xFF;
}
constexpr unsigned EntryExtra(uint32_t e) {
    return (e >> 8) & 0xF;
}
constexpr uint32_t EntryKind(uint32_t e) {
    return (e >> 12) & 0xF;
}
constexpr uint32_t EntryValue(uint32_t e) {
    return e >> 16;
}

enum class TIncompleteCodes {
    Refuse,        // the code must fill its space exactly
    SingleOrEmpty, // only no codes at all or one 1-bit code may leave space (zlib's rule)
    Allow          // unused space decodes as invalid
};

struct TCodeShape {
    unsigned rootBits; // width of the first-level index
    unsigned maxBits;  // longest code length allowed
    TIncompleteCodes incomplete;
    bool invertCodes; // codes are sent complemented (implode)
};

// Builds the table for `count` symbols with the given code lengths (0 = unused symbol).
// `symbolEntries[s]` is symbol s's entry without its bit count. False when the lengths do
// not form an acceptable code or the table would not fit in `capacity` entries.
bool BuildDecodeTable(const uint8_t* lengths, unsigned count, const uint32_t* symbolEntries,
                      const TCodeShape& shape, uint32_t* table, size_t capacity);

// One symbol through the bit reader's slow path: pulls bytes only while the code needs more
// bits, so a stream may end right behind its last code. False when the input ends first.
inline bool DecodeSymbol(TBitReader& in, const uint32_t* table, unsigned root, uint32_t& entry) {
    const BitBuffer rootMask = (BitBuffer(1) << root) - 1;
    for (;;) {
        const uint32_t e = table[in.bits & rootMask];
        if (EntryKind(e) == kSubtableEntry) {
            const uint32_t s =
                table[EntryValue(e) + ((in.bits >> root) & ((BitBuffer(1) << EntryExtra(e)) - 1))];
            if (root + EntryBits(s) <= in.count) {
                in.Drop(root + EntryBits(s));
                entry = s;
                return true;
            }
        } else if (EntryBits(e) <= in.count) {
            in.Drop(EntryBits(e));
            entry = e;
            return true;
        }
        if (!in.PullByte()) return false;
    }
}

} // namespace zip
