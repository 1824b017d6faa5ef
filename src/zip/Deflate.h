#pragma once
// The deflate compressor of the zip component: one call turns one entry's bytes into a raw
// RFC 1951 stream (or, when that would not pay, into the bytes themselves, stored).
//
// The compressor keeps a 64 KiB window of input (two 32 KiB halves), finds earlier occurrences
// of the next three bytes through a hash of them (15 bits) whose heads and chain links are 16-bit
// window positions, and walks that chain for the longest match within 32,506 bytes. Levels 1-3
// take the first match found at each position (cheap); levels 4-9 hold a match back for one
// byte and keep the longer of the two ("lazy" matching). How far a chain is walked, when a
// match counts as good enough and how many strings are inserted inside a match come from one
// table row per level. When the position nears the top of the window the upper half slides
// down and every stored position drops by 32 KiB.
//
// Literals and matches are recorded in the tally buffers until a block ends (buffer full, or,
// from level 3 on, an estimate says the block already compresses well); the block is then
// coded with whichever costs least of a dynamic-Huffman, fixed-Huffman or stored block
// (DeflateTrees.h). A single-block entry that would not shrink is written as plain bytes and
// the entry's method becomes "stored", which saves the block framing.
//
// All large buffers (window, hash heads, chain, the three tally buffers) belong to the caller
// and live for a whole run of many entries, so nothing is allocated per entry; a small entry
// clears afterwards only the heads and window bytes it used. Input and output
// go through DeflateStream: the zip component reads its source there (counting the CRC and
// raising percent events, cancel and size checks) and writes through its sink. An exception
// thrown by either simply passes through DeflateEntry; DeflateEntryInfo::bytesConsumed tells
// how much input was taken by then.

#include <cstdint>

namespace zip {

// The zip component's side of one compression: where the bytes come from and go to.
class DeflateStream {
  public:
    // Fills up to size bytes (size is below 65,536) and answers how many; 0 ends the input.
    // May throw (cancel, read failure, a source whose size changed).
    virtual uint32_t ReadInput(uint8_t* buffer, uint32_t size) = 0;
    // Takes size bytes of compressed output (pieces of 1,024 bytes except the last). May throw.
    virtual void WriteOutput(const uint8_t* buffer, uint32_t size) = 0;

  protected:
    ~DeflateStream() = default;
};

inline constexpr uint32_t kDeflateWindowSize = 65536; // two halves of 32,768
inline constexpr uint32_t kDeflateHalfWindow = 32768;
inline constexpr uint32_t kDeflateHashSize = 32768;
inline constexpr uint32_t kDeflateTallySize = 32768; // literal and distance buffers
inline constexpr uint32_t kDeflateFlagBytes = kDeflateTallySize / 8;
// Match comparison may look past the last input byte by up to one maximum match.
inline constexpr uint32_t kDeflateWindowSlack = 512;

// The six work buffers, allocated once per run (std::make_unique zeroes them). About 292 KiB.
struct DeflateBuffers {
    uint8_t window[kDeflateWindowSize + kDeflateWindowSlack];
    uint16_t head[kDeflateHashSize];       // newest window position per hash, 0 = none
    uint16_t chain[kDeflateHalfWindow];    // previous position with the same hash, by position mod 32K
    uint8_t literals[kDeflateTallySize];   // a literal byte, or a match length less 3
    uint16_t distances[kDeflateTallySize]; // match distance less 1
    uint8_t flags[kDeflateFlagBytes];      // one bit per tally entry: set = match
};

// Entry-record fields that the compressor reads and sets.
struct DeflateEntryInfo {
    uint16_t generalPurposeFlag = 0; // level bits are or-ed in: 4 for levels 1-2, 2 for 8-9
    uint16_t internalAttributes = 2; // 2 = unknown on entry; becomes 1 (text) or 0 (binary)
    uint16_t compressionMethod = 8;  // becomes 0 when the entry is written stored
    uint64_t bytesConsumed = 0;      // input taken so far; kept current even when a callback throws
};

// Deflate constants of the format (RFC 1951).
inline constexpr unsigned kDeflateMinMatch = 3;
inline constexpr unsigned kDeflateMaxMatch = 258;

// Compresses the stream's input at packLevel (1-9; other values are clamped) and answers the
// number of bytes handed to WriteOutput. The buffers must start as zeros (fresh ones are), and
// are left so for the next entry, also when a callback throws.
uint32_t DeflateEntry(DeflateStream& stream, DeflateBuffers& buffers, int packLevel, DeflateEntryInfo& entry);

} // namespace zip
