#pragma once
// Explode: the decoder of imploded entries (zip method 6).
//
// Implode is an LZ77 coder with a 4 or 8 KiB dictionary and Shannon-Fano codes. The entry
// starts with two or three code tables stored as runs of (count, length) nibbles: literals
// (256 symbols, present when flag bit 2 is set), match lengths and distance high bits (64
// symbols each). Then come one-bit flags: 1 is a literal (coded, or eight plain bits without
// a literal table), 0 a match whose distance has 6 or 7 plain low bits (flag bit 1: the 8 KiB
// dictionary) under a coded high part and whose coded length is extended by a plain byte at
// its maximum. The shortest match is 3 with a literal table and 2 without.
//
// The codes are assigned from the longest down, which makes each one the complement of the
// canonical code of the same lengths, so the tables are the deflate ones built with inverted
// codes. A table that is over-subscribed or leaves space unused is bad data: the format's
// assignment only forms a prefix code when it is complete.
//
// There is no end code: decoding stops at the entry's uncompressed size, or with
// InputUsedUp when the data run out first. Distances that reach before the entry's first
// byte read as zeros, as the format's encoder assumes an empty dictionary.

#include "zip/DecodeIo.h"

#include <cstdint>

namespace zip {

struct TExplodeTables {
    static constexpr size_t kCapacity = 5120;
    uint32_t literal[kCapacity];
    uint32_t length[kCapacity];
    uint32_t distance[kCapacity];
};

// `generalPurposeFlag` bits 1 and 2 choose the dictionary size and the literal table.
TDecodeStatus Explode(TDecodeIo& io, uint8_t* slide, TExplodeTables& tables, uint16_t generalPurposeFlag,
                      uint32_t uncompressedSize, uint64_t& outputBytes);

} // namespace zip
