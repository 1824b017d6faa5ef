#pragma once
// The driver around the decompressors: one entry's compressed data in, its bytes out.
//
// Input comes from the archive stream in pieces of at most 32 KiB, counted down from the
// entry's CompressedSize, continued on the next volume of a spanned archive when a piece is
// cut short, and decrypted whole before any byte is used. Output goes to one of the targets
// (a file or caller's stream, a memory buffer handed out piece by piece, or nowhere while
// testing) each time the decoder flushes its window; every flushed block runs through the
// CRC and the progress counters.
//
// Everything the caller takes part in (message pumping, the cancel flag, the next volume,
// the memory buffers, the percentages) goes through one TEntryDecodeEvents interface, so the
// same driver runs inside the unzip component, the tests, the fuzzers and the benchmarks.
// Those calls happen once per piece or block, never per byte.
//
// Output is limited by the bytes this entry has produced, not by the target's position, so a
// caller's stream need not start at 0 and may take several entries. The result is good only
// when the decoder finished, the CRC matches and the length equals UncompressedSize: a stream
// that stops early with a matching CRC is still a failure.
//
// The run's buffers (TDecodeBuffers) are allocated once by the caller and reused for every
// entry; nothing is allocated per entry.

#include "gui/Stream.h"
#include "zip/DecodeIo.h"
#include "zip/Explode.h"
#include "zip/Inflate.h"
#include "zip/Unreduce.h"
#include "zip/ZipCrypt.h"
#include "zip/ZipObj.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zip {

inline constexpr size_t kInputBufferSize = 32780;
inline constexpr size_t kInputPieceSize = 32768;

struct TDecodeBuffers {
    uint8_t input[kInputBufferSize];
    uint8_t slide[kSlideSize + 1];
    TInflateTables inflate;
    TExplodeTables explode;
    TUnreduceTables unreduce;
};

class TEntryDecodeEvents {
  public:
    virtual ~TEntryDecodeEvents() = default;
    // Before each input piece when message pumping is on.
    virtual void ProcessMessages() {}
    // Answers the cancel flag and clears it.
    virtual bool TakeCancel() { return false; }
    // The stream of the volume with this one-based number, or nullptr when there is none.
    virtual gui::TStream* GetNextDisk(int volumeNumber) { return nullptr; }
    virtual void FilePercentDone(int percent) {}
    virtual void TotalPercentDone(int percent) {}
    // A memory piece is full (or the entry is done): hand back the next buffer, or quit.
    virtual void GetNextBuffer(uint8_t*& buffer, const std::string& name, size_t amountUsed, int bufferNumber,
                               bool& quit) {}
};

enum class TOutputKind { Stream, Memory, Testing };

struct TDecodeTarget {
    TOutputKind kind = TOutputKind::Testing;
    gui::TStream* stream = nullptr; // Stream
    uint8_t* buffer = nullptr;      // Memory: the current piece
    size_t pieceSize = 0;           // Memory: 0 = one piece as large as bytesFree
    size_t bytesFree = 0;           // Memory: room left in the caller's buffers
    std::string name;               // the entry's full name, for GetNextBuffer
};

// Where the entry's data are and how to read them. `entry` is the work copy: its
// CompressedSize counts down as pieces are read; `archive` and `volume` follow volume hops.
struct TDecodeSource {
    TZipHeaderInfo* entry = nullptr;
    gui::TStream* archive = nullptr;
    int volume = 0;             // zero-based volume in hand
    bool spanned = false;       // hop to the next volume at the end of this one
    TZipCrypt* crypt = nullptr; // keys after the header check, when encrypted
    bool doProcessMessages = true;
};

// Bytes of the whole run, for the total percentage.
struct TRunProgress {
    uint64_t bytesDone = 0;
    uint64_t totalBytes = 0;
};

struct TEntryDecodeResult {
    bool methodKnown = true;
    TDecodeStatus status = TDecodeStatus::Ok;
    uint32_t crc32 = 0; // finished (complemented)
    uint64_t bytesWritten = 0;

    bool CrcMatches(const TZipHeaderInfo& entry) const { return crc32 == entry.Crc32; }
    bool Good(const TZipHeaderInfo& entry) const {
        return methodKnown && status == TDecodeStatus::Ok && CrcMatches(entry) &&
               bytesWritten == entry.UncompressedSize;
    }
};

// Methods 0, 2-5, 6 and 8.
bool IsKnownMethod(uint16_t method);

class TEntryDecoder : private TDecodeIo {
  public:
    TEntryDecoder(TDecodeBuffers& buffers, TEntryDecodeEvents& events, TRunProgress& progress)
        : buffers_(buffers), events_(events), progress_(progress) {}

    // Reads the 12-byte encryption header, lowers CompressedSize by 12 and answers the last
    // decrypted byte; `crypt` keeps the keys for the data.
    uint8_t ReadEncryptionHeader(TDecodeSource& source, TZipCrypt& crypt, std::string_view password);

    // Decodes the entry at the archive's position into the target. Raises EUserCanceled,
    // EFatalUnzipError, EBiggerThanUncompressed or ECantWriteUCF; a damaged stream is a
    // result, not an exception.
    TEntryDecodeResult Decode(TDecodeSource& source, TDecodeTarget& target);

  private:
    std::span<const uint8_t> FillInput() override;
    void FlushOutput(const uint8_t* data, size_t count) override;
    // Reads exactly count bytes, hopping volumes; raises when it cannot.
    void ReadArchive(uint8_t* buffer, size_t count);
    void ToMemory(const uint8_t* data, size_t count);
    TDecodeStatus Unstore();

    TDecodeBuffers& buffers_;
    TEntryDecodeEvents& events_;
    TRunProgress& progress_;
    TDecodeSource* source_ = nullptr;
    TDecodeTarget* target_ = nullptr;
    uint32_t crc_ = 0;
    uint64_t written_ = 0;
    size_t pieceUsed_ = 0;
    int pieceNumber_ = 1;
};

} // namespace zip
