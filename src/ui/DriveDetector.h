#pragma once
// What the start-up sequence needs of the disc library to list and probe the drives: load a
// transport, the device list, the capability set and drive letter of one device, unload.
// A seam, so the start-up's cache rules are tested with any drives; the product's detector
// works through one SCSI device object of the disc library.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ui {

struct DetectedDrive {
    uint32_t capabilities = 0; // bits 0-18
    char letter = 0;           // upper case; 0 when the drive has none
};

class DriveDetector {
  public:
    virtual ~DriveDetector() = default;
    // preferInternal: the built-in pass-through before the ASPI driver library.
    virtual bool Load(bool preferInternal) = 0;
    virtual bool Loaded() const = 0;
    // The device list entries, as the disc library names them.
    virtual std::vector<std::string> Names() = 0;
    virtual DetectedDrive Select(size_t index) = 0;
    virtual void Unload() = 0;
    // The letter is a CD/DVD drive of the system now; asked without the transport and without
    // touching a medium.
    virtual bool IsDiscLetter(char letter) = 0;
};

// The disc library's detector. A driver library beside the program file is preferred to
// one found on the search path.
std::unique_ptr<DriveDetector> MakeDiscDriveDetector(const std::string& programFolder);

// Capability bits that make a drive a writer (CD-R, CD-RW, DVD-R, DVD-RW, DVD-RAM, DVD+R, DVD+RW).
constexpr uint32_t WriterCapabilityBits =
    (1u << 9) | (1u << 10) | (1u << 12) | (1u << 13) | (1u << 14) | (1u << 15) | (1u << 16);

} // namespace ui
