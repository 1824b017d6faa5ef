// Slicing-by-16 CRC-32; see Crc32.h for the shape of the tables.
#include "zip/Crc32.h"

#include <cstring>

namespace zip {

namespace {
inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap32(v);
#endif
    return v;
}
} // namespace

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size) {
    const auto& t = detail::kCrc32Tables;
    auto p = static_cast<const uint8_t*>(data);
    // Byte steps up to a 4-byte boundary so the wide loads below are aligned.
    while (size != 0 && (reinterpret_cast<uintptr_t>(p) & 3) != 0) {
        crc = Crc32Step(crc, *p++);
        --size;
    }
    while (size >= 16) {
        const uint32_t a = Load32(p) ^ crc;
        const uint32_t b = Load32(p + 4);
        const uint32_t c = Load32(p + 8);
        const uint32_t d = Load32(p + 12);
        crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
              t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
              t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
              t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
        p += 16;
        size -= 16;
    }
    while (size-- != 0)
        crc = Crc32Step(crc, *p++);
    return crc;
}

} // namespace zip
