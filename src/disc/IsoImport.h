#pragma once
// Reading back what earlier sessions wrote: the file system of a session imported into the
// image tree, and a written file compared with its source. Both read the disc through a
// block-reader interface, so the same code runs over a drive, an image file or fuzz input.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "disc/IsoImage.h"

namespace disc {

class IsoBlockReader {
  public:
    virtual ~IsoBlockReader() = default;
    // Reads count 2,048-byte blocks from lba; false when any of them cannot be read.
    virtual bool ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) = 0;
};

// Imports the tree of the session whose track starts at trackStart into folder (nullptr: the
// root). Problems are reported through the image's debug event; what was read stays in the tree.
// True when a tree was found and walked. importedCount, when given, grows by each entry added.
bool ImportIsoSession(IsoBlockReader& reader, uint32_t trackStart, int sessionNumber, TIsoImage& image,
                      TDEntry* folder, int* importedCount = nullptr);

// The end block that the volume of the session starting at trackStart claims (its volume
// space size, counted from block 0); 0 when the session holds no volume descriptor.
uint32_t IsoSessionVolumeEnd(IsoBlockReader& reader, uint32_t trackStart);

class EIsoSourceMissing : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The verify chunk: 31 blocks, the most one READ(10) of the drive's buffer takes here.
constexpr uint32_t kVerifyChunk = 31 * 2048;

// Compares size bytes from firstBlock with the source. An unreadable block or a source of
// another length counts as a difference. Throws EIsoSourceMissing when the source cannot be
// opened. step, when set, runs after each chunk with the progress in percent.
bool VerifyIsoFile(IsoBlockReader& reader, uint32_t firstBlock, uint64_t size, const std::string& sourcePath,
                   IsoSourceFiles& sources, const std::function<void(int percent)>& step = {});

} // namespace disc
