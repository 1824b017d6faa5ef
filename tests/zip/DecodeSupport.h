#pragma once
// Helpers for the decoder tests: memory input cut into pieces, zlib as the reference, the
// peer tools, a minimal zip directory reader and the shared legacy samples.

#include "zip/DecodeIo.h"
#include "zip/ZipObj.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace codectest {

using Bytes = std::vector<uint8_t>;

// Hands out `input` in pieces of `pieceSize` bytes and collects every flush.
class TMemoryDecodeIo : public zip::TDecodeIo {
  public:
    TMemoryDecodeIo(std::span<const uint8_t> input, size_t pieceSize)
        : input_(input), pieceSize_(pieceSize) {}
    std::span<const uint8_t> FillInput() override;
    void FlushOutput(const uint8_t* data, size_t count) override;

    Bytes output;
    std::vector<size_t> flushSizes;

  private:
    std::span<const uint8_t> input_;
    size_t pieceSize_;
    size_t position_ = 0;
};

// Hand-made streams: bits go in least significant first, as the zip formats send them.
class TBitWriter {
  public:
    void Put(uint64_t value, unsigned bits) {
        for (unsigned i = 0; i < bits; ++i) {
            if (count_ % 8 == 0) bytes.push_back(0);
            const uint64_t bit = i < 64 ? (value >> i) & 1 : 0;
            bytes.back() |= static_cast<uint8_t>(bit << (count_ % 8));
            ++count_;
        }
    }
    // A prefix code goes in most significant bit first.
    void PutCode(uint32_t code, unsigned bits) {
        for (unsigned i = bits; i-- > 0;)
            Put((code >> i) & 1, 1);
    }
    Bytes bytes;

  private:
    size_t count_ = 0;
};

Bytes RandomBytes(size_t size, uint32_t seed);
// Text-like data with words and repeats at every distance up to 32 KiB and beyond.
Bytes TextBytes(size_t size, uint32_t seed);

Bytes ZlibRawDeflate(std::span<const uint8_t> data, int level, int strategy = 0);
struct TZlibResult {
    int code; // Z_STREAM_END, Z_DATA_ERROR, or Z_BUF_ERROR when the input ended first
    Bytes output;
    size_t unused = 0; // input bytes after the stream's end
};
TZlibResult ZlibRawInflate(std::span<const uint8_t> data);

// A peer command's exit code, its output dropped (native build only).
int Run(const std::string& command);
Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::span<const uint8_t> data);

// One entry as the library's record reader finds it (end record, central and local headers),
// with its raw data.
struct TArchiveEntry {
    zip::TZipHeaderInfo record;
    Bytes data;
    std::string Name() const { return record.Directory() + record.Filename(); }
};
std::vector<TArchiveEntry> ReadArchive(const Bytes& archive);

// Runs the decoder of `method` (0 copies) over raw entry data handed out in pieces.
struct TDecoded {
    zip::TDecodeStatus status;
    Bytes output;
};
TDecoded DecodeMethod(uint16_t method, uint16_t flags, uint32_t uncompressedSize,
                      std::span<const uint8_t> data, size_t pieceSize = 32768);

// A path below the source tree, usable from the Windows build under Wine too.
std::string SourcePath(const std::string& relative);

// The legacy sample folder, or nothing (after GTEST_SKIP or a failure when the environment
// requires it); call through the macro so the skip ends the test.
std::optional<std::string> LegacyFolder();
#define TW_LEGACY_FOLDER_OR_SKIP(var)                                                                        \
    const auto var##Opt = ::codectest::LegacyFolder();                                                       \
    if (!var##Opt) return;                                                                                   \
    const std::string& var = *var##Opt

} // namespace codectest
