#pragma once
// The traditional zip cipher: a byte-wise stream cipher over three 32-bit keys.
//
// Each plain byte steps the keys: Key0 through the CRC-32 byte step, Key1 by a linear
// congruence on Key0's low byte, Key2 through the CRC step again with Key1's top byte. The
// key stream byte comes from Key2's low 16 bits. Everything depends on the previous plain
// byte, so the cipher is inherently serial; the loops below keep the keys in locals and run
// over whole pieces so the cost is a handful of operations per byte.
//
// An encrypted entry starts with a 12-byte header: ten random bytes and two check bytes
// (the high bytes of the CRC, or of the DOS time when the sizes follow the data). A reader
// decrypts the header to learn whether the password is right. The random bytes come from
// the operating system's generator through a replaceable source, so two archives made with
// the same password never share a header and tests can pin the bytes.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zip {

inline constexpr size_t kEncryptionHeaderSize = 12;

class TZipCrypt {
  public:
    // Start values, then every password byte through UpdateKeys.
    void InitKeys(std::string_view password);
    void UpdateKeys(uint8_t plain);
    uint8_t DecryptByte() const {
        const uint32_t t = (Key2 & 0xFFFF) | 2;
        return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
    }
    uint8_t EncryptByte(uint8_t plain) {
        const uint8_t mask = DecryptByte();
        UpdateKeys(plain);
        return plain ^ mask;
    }
    void DecryptBuffer(uint8_t* buffer, size_t count);
    void EncryptBuffer(uint8_t* buffer, size_t count);
    // InitKeys(password), decrypts the 12 bytes in place and answers the last plain byte,
    // which the caller compares with the entry's check byte.
    uint8_t DecryptHeader(std::string_view password, uint8_t* header);

    uint32_t Key0 = 0, Key1 = 0, Key2 = 0;
};

// Fills `out` with unpredictable bytes; false when the system has none to give.
using RandomBytesSource = bool (*)(uint8_t* out, size_t count);

// The operating system's cryptographic generator.
bool SystemRandomBytes(uint8_t* out, size_t count);

// The check byte an entry's header must decrypt to: bits 24-31 of the CRC, or bits 8-15 of
// the DOS time when the sizes follow the data (the CRC is not known when the header is
// written then).
inline uint8_t EncryptionCheckByte(uint32_t crc32, uint32_t dosDateTime, bool hasDataDescriptor) {
    return hasDataDescriptor ? static_cast<uint8_t>(dosDateTime >> 8) : static_cast<uint8_t>(crc32 >> 24);
}

// Keys from the password, then the 12 header bytes encrypted into `header`: ten random bytes,
// then bits 16-23 and 24-31 of `crc32`. The keys are left ready for the entry's data. Answers
// false (header untouched) when the random source fails.
bool MakeEncryptionHeader(TZipCrypt& crypt, std::string_view password, uint32_t crc32, uint8_t* header,
                          RandomBytesSource random = SystemRandomBytes);

} // namespace zip
