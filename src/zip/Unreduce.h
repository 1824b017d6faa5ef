#pragma once
// Unreduce: the decoder of reduced entries (zip methods 2 to 5, reduction factors 1 to 4).
//
// Reduce works in two layers. The outer one predicts each byte from the one before: the
// entry starts with 256 "follower sets" (from byte 255 down to 0, each a 6-bit count and that
// many bytes), and a byte that is in its predecessor's set is sent as a flag bit and a short
// index, anything else as a flag and eight plain bits. The inner layer is a run-length and
// copy scheme over the bytes this yields: 144 escapes a copy whose length and distance are
// packed into the next one to three bytes, the factor deciding how many bits of the first
// byte belong to the distance.
//
// A set holds at most 32 followers; a larger count is bad data (it would overrun the set).
// There is no end code: decoding stops at the entry's uncompressed size, or with
// InputUsedUp when the data run out first instead of inventing bytes past the final
// padding. Copies that reach before the entry's first byte give zeros.

#include "zip/DecodeIo.h"

#include <cstdint>

namespace zip {

struct TUnreduceTables {
    uint8_t followers[256][32];
    uint8_t counts[256];
};

// `factor` is 1 to 4 (the method less one).
TDecodeStatus Unreduce(TDecodeIo& io, uint8_t* slide, TUnreduceTables& tables, unsigned factor,
                       uint32_t uncompressedSize, uint64_t& outputBytes);

} // namespace zip
