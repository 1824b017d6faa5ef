#pragma once
// Inflate: the deflate format of RFC 1951 (zip method 8).
//
// The stream is a sequence of blocks: stored, fixed-code or dynamic-code, the last one
// flagged final. Literal/length and distance symbols are decoded through the two-level
// tables of DecodeTable.h, ten and eight bits wide.
//
// The decoder has two loops. The fast loop runs while the current input piece has a few
// dozen bytes to spare and the window has room for the longest match: it refills the whole
// bit buffer in one load, decodes several literals per refill and copies matches in 8-byte
// words. Everything else (piece boundaries, the last 258 bytes before the window wraps,
// stored blocks, the header of a dynamic block) goes through a slow path that pulls one byte
// at a time and checks every bit it needs. Both produce the same bytes; the fast loop only
// avoids the checks it can prove unnecessary.
//
// It accepts exactly the streams zlib's raw inflate accepts: the same limits on symbol
// counts, the same over-subscribed and incomplete code rules, no distance before the start
// of the entry's output. Anything else is TDecodeStatus::BadData.

#include "zip/DecodeIo.h"

#include <cstdint>

namespace zip {

// Tables for one inflate run; allocate once and reuse for every entry.
struct TInflateTables {
    static constexpr size_t kLitLenCapacity = 2048;
    static constexpr size_t kDistanceCapacity = 512;
    uint32_t litLen[kLitLenCapacity];
    uint32_t distance[kDistanceCapacity];
    uint32_t fixedLitLen[kLitLenCapacity];
    uint32_t fixedDistance[kDistanceCapacity];
    uint32_t codeLengths[128];
    bool fixedBuilt = false;
};

// Decodes one deflate stream from `io` into the window `slide` (kSlideSize bytes), flushing it whenever it is
// full and once at the end. `outputBytes` receives the number of bytes produced.
TDecodeStatus Inflate(TDecodeIo& io, uint8_t* slide, TInflateTables& tables, uint64_t& outputBytes);

} // namespace zip
