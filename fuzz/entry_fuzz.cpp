// The entry decoder on any bytes: any method, encrypted or not, the data split over volumes,
// into a memory target or the tester. Only the library's own exceptions may come out, the
// output never passes the entry's size, and a good result really has the size and the CRC.
//
// Layout: byte 0 the method (index into a table that includes unknown ones), byte 1 the flag
// bits (bit 0: encrypted), bytes 2-3 the uncompressed size, byte 4 where the data are cut into
// a second volume (0: not spanned), byte 5 the target and the password length (low 3 bits),
// then the password, four bytes of CRC, and the entry's data (with its 12-byte header when
// encrypted).
#include "gui/Stream.h"
#include "zip/EntryDecoder.h"
#include "zip/ZipCodecErrors.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

class TFuzzEvents : public zip::TEntryDecodeEvents {
  public:
    gui::TStream* GetNextDisk(int volumeNumber) override {
        return volumeNumber == 2 && second != nullptr ? second : nullptr;
    }
    void GetNextBuffer(uint8_t*& buffer, const std::string&, size_t amountUsed, int, bool& quit) override {
        handedOut += amountUsed;
        buffer = piece.data();
        quit = false;
    }
    gui::TStream* second = nullptr;
    std::vector<uint8_t> piece = std::vector<uint8_t>(4096);
    size_t handedOut = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto buffers = std::make_unique<zip::TDecodeBuffers>();
    static const uint16_t kMethods[] = {0, 2, 3, 4, 5, 6, 8, 1, 9, 8};
    if (size < 6) return 0;
    const uint16_t method = kMethods[data[0] % 10];
    const uint16_t flags = data[1];
    const uint32_t uncompressed = data[2] | (data[3] << 8);
    const size_t cut = data[4];
    const bool memoryTarget = (data[5] & 0x80) != 0;
    const size_t passwordLength = data[5] & 7;
    data += 6, size -= 6;
    if (size < passwordLength + 4) return 0;
    const std::string password(reinterpret_cast<const char*>(data), passwordLength);
    data += passwordLength, size -= passwordLength;
    const uint32_t crc = data[0] | (data[1] << 8) | (data[2] << 16) | (uint32_t(data[3]) << 24);
    data += 4, size -= 4;

    zip::TZipHeaderInfo entry;
    entry.CompressionMethod = method;
    entry.GeneralPurposeFlag = flags;
    entry.UncompressedSize = uncompressed;
    entry.Crc32 = crc;
    // The record may claim a little more than the archive holds.
    entry.CompressedSize = static_cast<uint32_t>(size + (flags >> 6));

    TFuzzEvents events;
    gui::TMemoryStream first, second;
    const size_t split = cut != 0 && cut < size ? cut : size;
    first.Write(data, split);
    first.SetPosition(0);
    second.Write(data + split, size - split);
    second.SetPosition(0);
    events.second = &second;

    zip::TRunProgress progress{0, uncompressed};
    zip::TEntryDecoder decoder(*buffers, events, progress);
    zip::TDecodeSource source{&entry, &first, 0, cut != 0, nullptr, true};
    zip::TDecodeTarget target;
    target.kind = memoryTarget ? zip::TOutputKind::Memory : zip::TOutputKind::Testing;
    target.buffer = events.piece.data();
    target.pieceSize = events.piece.size();
    target.bytesFree = uncompressed;
    try {
        zip::TZipCrypt crypt;
        if (entry.IsEncrypted()) {
            decoder.ReadEncryptionHeader(source, crypt, password);
            source.crypt = &crypt;
        }
        const zip::TEntryDecodeResult result = decoder.Decode(source, target);
        if (result.bytesWritten > uncompressed) __builtin_trap();
        if (result.Good(entry) && (result.crc32 != crc || result.bytesWritten != uncompressed))
            __builtin_trap();
        if (memoryTarget && events.handedOut > result.bytesWritten) __builtin_trap();
    } catch (const zip::EZipError&) {
        // Cancel, premature end, oversize output: the library's own reports.
    }
    return 0;
}
