// Traditional zip cipher; see ZipCrypt.h.
#ifdef _WIN32
#define _CRT_RAND_S // rand_s: the CRT's front to the system generator, no <windows.h> needed
#include <stdlib.h>
#else
#include <cerrno>
#include <cstdio>
#include <sys/random.h>
#endif

#include "zip/Crc32.h"
#include "zip/ZipCrypt.h"

#include <cstring>

namespace zip {

namespace {
constexpr uint32_t kMultiplier = 134775813u;

// The key step on locals, shared by the buffer loops.
inline void Step(uint32_t& k0, uint32_t& k1, uint32_t& k2, uint8_t plain) {
    k0 = Crc32Step(k0, plain);
    k1 = (k1 + (k0 & 0xFF)) * kMultiplier + 1;
    k2 = Crc32Step(k2, static_cast<uint8_t>(k1 >> 24));
}

inline uint8_t Mask(uint32_t k2) {
    const uint32_t t = (k2 & 0xFFFF) | 2;
    return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}
} // namespace

void TZipCrypt::InitKeys(std::string_view password) {
    Key0 = 0x12345678u;
    Key1 = 0x23456789u;
    Key2 = 0x34567890u;
    for (char c : password)
        UpdateKeys(static_cast<uint8_t>(c));
}

void TZipCrypt::UpdateKeys(uint8_t plain) {
    Step(Key0, Key1, Key2, plain);
}

void TZipCrypt::DecryptBuffer(uint8_t* buffer, size_t count) {
    uint32_t k0 = Key0, k1 = Key1, k2 = Key2;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t plain = buffer[i] ^ Mask(k2);
        buffer[i] = plain;
        Step(k0, k1, k2, plain);
    }
    Key0 = k0, Key1 = k1, Key2 = k2;
}

void TZipCrypt::EncryptBuffer(uint8_t* buffer, size_t count) {
    uint32_t k0 = Key0, k1 = Key1, k2 = Key2;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t plain = buffer[i];
        buffer[i] = plain ^ Mask(k2);
        Step(k0, k1, k2, plain);
    }
    Key0 = k0, Key1 = k1, Key2 = k2;
}

uint8_t TZipCrypt::DecryptHeader(std::string_view password, uint8_t* header) {
    InitKeys(password);
    DecryptBuffer(header, kEncryptionHeaderSize);
    return header[kEncryptionHeaderSize - 1];
}

bool SystemRandomBytes(uint8_t* out, size_t count) {
#ifdef _WIN32
    while (count != 0) {
        unsigned int value = 0;
        if (rand_s(&value) != 0) return false;
        const size_t n = count < sizeof value ? count : sizeof value;
        std::memcpy(out, &value, n);
        out += n;
        count -= n;
    }
    return true;
#else
    while (count != 0) {
        const ssize_t got = getrandom(out, count, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            break;
        }
        out += got;
        count -= static_cast<size_t>(got);
    }
    if (count == 0) return true;
    // Kernels without getrandom still have the device.
    FILE* device = std::fopen("/dev/urandom", "rb");
    if (device == nullptr) return false;
    const bool ok = std::fread(out, 1, count, device) == count;
    std::fclose(device);
    return ok;
#endif
}

bool MakeEncryptionHeader(TZipCrypt& crypt, std::string_view password, uint32_t crc32, uint8_t* header,
                          RandomBytesSource random) {
    uint8_t plain[kEncryptionHeaderSize];
    if (!random(plain, kEncryptionHeaderSize - 2)) return false;
    plain[10] = static_cast<uint8_t>(crc32 >> 16);
    plain[11] = static_cast<uint8_t>(crc32 >> 24);
    crypt.InitKeys(password);
    crypt.EncryptBuffer(plain, kEncryptionHeaderSize);
    std::memcpy(header, plain, kEncryptionHeaderSize);
    return true;
}

} // namespace zip
