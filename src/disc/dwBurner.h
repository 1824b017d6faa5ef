#pragma once
// The disc-writer component, as far as it reads discs back: the image tree it will write, the
// import of an earlier session into that tree, and the comparison of a written file with its
// source. Both read the disc through the device's READ(10).

#include <atomic>
#include <cstdint>
#include <string>

#include "disc/IsoImage.h"
#include "disc/IsoImport.h"
#include "disc/dwDrvLib.h"

namespace disc {

class TDiscBurner : public TSCSIDevice {
  public:
    TDiscBurner();

    // The image of the next session (tree, layout, head).
    TIsoImage Image;
    // Entries brought in by imports since the tree was last cleared.
    int ImportedCount = 0;
    // Progress of the running operation: bytes written, or percent while verifying.
    std::atomic<int64_t> Progress{0};

    bool TestWrite = false;
    // The session start the last Prepare laid out from.
    uint32_t MultisessionStart() const { return Image.SessionStart(); }

    // Lays the image out. Unless SkipSessionImport, the medium is detected (150 or 600 blocks
    // before data) and, with LookUpStart (a write is about to begin), a disc with sessions is
    // continued at its next writable address, or at the end of the existing volume on
    // overwritable media. A start that cannot be read falls back to 0 with a message.
    void Prepare(bool SkipSessionImport, bool LookUpStart);

    // Reads session Session (-1 or beyond the last: the last) into Folder (nullptr: the root).
    // Session 0 and a disc without sessions do nothing. Problems are debug messages (mType 4).
    bool ImportSession(int8_t Session, TDEntry* Folder);
    // True when the disc data of Entry equals SourcePath. Throws EIsoSourceMissing when the
    // source cannot be opened; an unreadable block counts as a difference.
    bool VerifyFile(const TFEntry* Entry, const std::string& SourcePath);
};

// Blocks of the selected drive's disc.
class DeviceBlockReader : public IsoBlockReader {
  public:
    explicit DeviceBlockReader(TSCSIDevice& device) : device_(device) {}
    bool ReadBlocks(uint32_t lba, uint32_t count, uint8_t* out) override;

  private:
    TSCSIDevice& device_;
};

} // namespace disc
