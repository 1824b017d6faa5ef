#pragma once
// The file system as the unzip component sees it. The component decides what to read and
// write; this interface does it, so the same extraction logic runs over Win32 in the program
// and over a portable implementation in the native tests and fuzzers.
//
// Output never truncates an existing file: an entry is decoded into a new file beside its
// target and moved over the target only once size and CRC are right. A target that does not
// exist yet is written in place, which saves a create, a rename and an open per file; when
// its entry fails it is deleted, and nothing was there to lose.

#include "gui/Clock.h"
#include "gui/Stream.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zip {

class TExtractFileSystem {
  public:
    virtual ~TExtractFileSystem() = default;
    // Read access, others may read; nullptr when the file cannot be opened.
    virtual std::unique_ptr<gui::TStream> OpenRead(const std::string& name) = 0;
    // The file's modification time; nullopt when there is no such file.
    virtual std::optional<gui::DateTime> FileDate(const std::string& name) = 0;
    virtual bool DirectoryExists(const std::string& folder) = 0;
    // Creates the folder with its missing parents; false when that fails.
    virtual bool ForceDirectories(const std::string& folder) = 0;
    // A new empty file in the target's folder; nullptr when none can be made.
    virtual std::unique_ptr<gui::TStream> CreateTemp(const std::string& target, std::string& tempName) = 0;
    // Moves `temp` over `target`. With replaceReadOnly a read-only, system or hidden target
    // loses those attributes first. False (temp left in place) when the target stays.
    virtual bool Replace(const std::string& temp, const std::string& target, bool replaceReadOnly) = 0;
    // The target itself, made new; nullptr when a file of that name exists or none can be
    // made (the caller then goes through CreateTemp and Replace).
    virtual std::unique_ptr<gui::TStream> CreateTarget(const std::string& target) { return nullptr; }
    virtual void Delete(const std::string& name) = 0;
    // Both set the modification time only: creation and access times stay those of the restore.
    virtual void SetDate(const std::string& name, uint32_t dosDateTime) = 0;
    // Sets the time of a file still open for writing; false when it cannot, and the caller
    // sets it by name once the file is closed.
    virtual bool SetOpenFileDate(gui::TStream& file, uint32_t dosDateTime) { return false; }
    virtual void SetAttributes(const std::string& name, uint32_t attributes) = 0;
    // Removable media hold spanned sets; fixed ones hold split parts.
    virtual bool IsRemovableDrive(const std::string& name) { return false; }
    // The volume label of the drive that holds `name`.
    virtual std::string VolumeLabel(const std::string& name) { return {}; }
    // The system's temporary folder, ending in "\".
    virtual std::string SystemTempPath() = 0;
};

} // namespace zip
