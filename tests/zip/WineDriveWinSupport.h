#pragma once
// Drive letters of Wine made for tests through its mount manager. Drive types written to the
// registry are read only when the wineserver starts; the mount manager's define request takes
// effect at once, and defining a letter again is a disk change: Wine then reads the new
// folder's label and serial number files (".windows-label", ".windows-serial").

#include <string>

namespace wintest {

// Maps `letter` to a Unix folder as a drive of `driveType`; an empty folder removes the letter.
bool DefineUnixDrive(char letter, const std::string& unixFolder, unsigned driveType);
// The Unix path of a Windows one, through Wine's own export; empty outside Wine.
std::string UnixPathOf(const std::string& windowsPath);

class TWineDrive {
  public:
    // A drive of `driveType` (DRIVE_REMOVABLE, DRIVE_CDROM, ...) over a fresh folder of its own,
    // at `letter` or else at a free letter between M: and Y: (test processes of one prefix start
    // their search at different letters). Removed with its folder at the end.
    explicit TWineDrive(unsigned driveType, char letter = 0);
    ~TWineDrive();
    TWineDrive(const TWineDrive&) = delete;
    TWineDrive& operator=(const TWineDrive&) = delete;

    // False when the mount manager refused.
    bool Defined() const { return defined_; }
    // "X:\"
    std::string Root() const { return std::string(1, letter_) + ":\\"; }
    // The drive's own folder, as a Windows path ending in "\".
    const std::string& Folder() const { return folder_; }
    // Puts another folder (a Windows path) in the drive, or its own folder again.
    bool Insert(const std::string& folder);

  private:
    unsigned type_;
    char letter_ = 0;
    std::string folder_;
    bool defined_ = false;
};

} // namespace wintest
