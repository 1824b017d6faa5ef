#pragma once
// CRC-32 as zip uses it: the reflected CRC of ISO 3309, polynomial 0xEDB88320.
//
// Every entry's data is checked with it and the traditional cipher steps its keys with it, so
// there are two ways in. Crc32Step is the classic one-byte table step; the cipher needs exactly
// that and nothing more. Crc32Update runs over whole buffers: by carry-less multiplication
// where the processor has it (see Crc32.cpp), else by "slicing": sixteen tables, where table k
// maps a byte to its contribution k bytes further on, so sixteen input bytes fold into the
// register with sixteen independent loads and no carried dependency between them.
//
// The tables are computed at compile time: nothing to initialise, nothing to race on.
//
// Both functions work on the raw register. A whole CRC starts at 0xFFFFFFFF and is complemented
// at the end (Crc32Of does both), which is how the entry records store it.

#include <array>
#include <cstddef>
#include <cstdint>

namespace zip {

inline constexpr uint32_t kCrc32Polynomial = 0xEDB88320u;
inline constexpr uint32_t kCrc32Start = 0xFFFFFFFFu;

namespace detail {
using Crc32Tables = std::array<std::array<uint32_t, 256>, 16>;

constexpr Crc32Tables MakeCrc32Tables() {
    Crc32Tables tables{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? (c >> 1) ^ kCrc32Polynomial : c >> 1;
        tables[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n)
        for (size_t k = 1; k < 16; ++k)
            tables[k][n] = (tables[k - 1][n] >> 8) ^ tables[0][tables[k - 1][n] & 0xFF];
    return tables;
}

inline constexpr Crc32Tables kCrc32Tables = MakeCrc32Tables();
} // namespace detail

// One byte into the register.
inline uint32_t Crc32Step(uint32_t crc, uint8_t byte) {
    return detail::kCrc32Tables[0][(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

// Bytes into the register (no start value, no final complement).
uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);

// The finished CRC-32 of one buffer.
inline uint32_t Crc32Of(const void* data, size_t size) {
    return ~Crc32Update(kCrc32Start, data, size);
}

} // namespace zip
