// CRC-32 over buffers; see Crc32.h for the slicing tables.
//
// On x86 processors with carry-less multiplication the bulk of a buffer is folded 64 bytes
// at a time instead: four 128-bit lanes, each multiplied forward by x^512 mod P and added to
// the data that far ahead, then folded into one lane and finished with the byte step. That
// runs several times faster than any table method. The folding constants are powers of x
// modulo the polynomial, computed at compile time below rather than written out.
#include "zip/Crc32.h"

#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TW_CRC32_CLMUL 1
#include <immintrin.h>
#endif

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

uint32_t SliceBy16(uint32_t crc, const uint8_t* p, size_t size) {
    const auto& t = detail::kCrc32Tables;
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

#ifdef TW_CRC32_CLMUL
// x^n mod P in the plain bit order (bit d is the coefficient of x^d).
constexpr uint64_t XPowerModP(unsigned n) {
    constexpr uint64_t kPolynomial = 0x104C11DB7ull;
    uint64_t value = 1;
    for (unsigned i = 0; i < n; ++i) {
        value <<= 1;
        if (value & (1ull << 32)) value ^= kPolynomial;
    }
    return value;
}

// A residue placed in a 64-bit lane of the reflected order, where bit j stands for x^(63-j).
constexpr uint64_t Reflect64(uint64_t residue) {
    uint64_t out = 0;
    for (unsigned d = 0; d < 32; ++d)
        if (residue & (1ull << d)) out |= 1ull << (63 - d);
    return out;
}

// Folding a 128-bit lane forward by `distance` bits: its first (low) half is multiplied by
// x^(distance + 64), its second by x^distance. A reflected carry-less product comes out one
// bit short, hence the exponents less one.
struct TFoldConstants {
    uint64_t firstHalf, secondHalf;
};
constexpr TFoldConstants Fold(unsigned distance) {
    return {Reflect64(XPowerModP(distance + 64 - 1)), Reflect64(XPowerModP(distance - 1))};
}
constexpr TFoldConstants kFold512 = Fold(512);
constexpr TFoldConstants kFold128 = Fold(128);

// Vectors travel by reference: the 32-bit build's base ABI has no SSE registers.
__attribute__((target("pclmul,sse2"))) inline void FoldInto(__m128i& lane, const __m128i& constants,
                                                            const __m128i& next) {
    lane = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(lane, constants, 0x00),
                                       _mm_clmulepi64_si128(lane, constants, 0x11)),
                         next);
}

__attribute__((target("pclmul,sse2"))) inline void Load(__m128i& out, const uint8_t* at) {
    out = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// Whole 16-byte blocks, at least four of them; the caller finishes the rest.
__attribute__((target("pclmul,sse2"))) uint32_t FoldBlocks(uint32_t crc, const uint8_t* p, size_t blocks) {
    const __m128i k512 = _mm_set_epi64x(static_cast<long long>(kFold512.secondHalf),
                                        static_cast<long long>(kFold512.firstHalf));
    const __m128i k128 = _mm_set_epi64x(static_cast<long long>(kFold128.secondHalf),
                                        static_cast<long long>(kFold128.firstHalf));
    __m128i x0, x1, x2, x3, next;
    Load(x0, p), Load(x1, p + 16), Load(x2, p + 32), Load(x3, p + 48);
    // The register's value enters as if added to the first four message bytes.
    x0 = _mm_xor_si128(x0, _mm_cvtsi32_si128(static_cast<int>(crc)));
    p += 64;
    blocks -= 4;
    while (blocks >= 4) {
        Load(next, p), FoldInto(x0, k512, next);
        Load(next, p + 16), FoldInto(x1, k512, next);
        Load(next, p + 32), FoldInto(x2, k512, next);
        Load(next, p + 48), FoldInto(x3, k512, next);
        p += 64;
        blocks -= 4;
    }
    FoldInto(x0, k128, x1);
    FoldInto(x0, k128, x2);
    FoldInto(x0, k128, x3);
    while (blocks-- != 0) {
        Load(next, p), FoldInto(x0, k128, next);
        p += 16;
    }
    // The lane is now a 16-byte message with the same remainder: the byte step finishes it.
    uint8_t rest[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), x0);
    return SliceBy16(0, rest, sizeof rest);
}

bool HaveClmul() {
    static const bool have = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
    }();
    return have;
}
#endif
} // namespace

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size) {
    auto p = static_cast<const uint8_t*>(data);
#ifdef TW_CRC32_CLMUL
    if (size >= 128 && HaveClmul()) {
        const size_t blocks = size / 16;
        crc = FoldBlocks(crc, p, blocks);
        p += blocks * 16;
        size -= blocks * 16;
    }
#endif
    return SliceBy16(crc, p, size);
}

} // namespace zip
