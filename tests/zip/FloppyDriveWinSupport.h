#pragma once
// A floppy drive of Wine (A: or B:) whose disks are folders: each Insert redefines the letter
// through Wine's mount manager, which is a disk change: Wine then reads the new folder's label
// and serial number files. The letter is removed again at the end.

#include <string>

namespace ziptest {

class TFloppyDriveWin {
  public:
    explicit TFloppyDriveWin(char letter);
    ~TFloppyDriveWin();
    TFloppyDriveWin(const TFloppyDriveWin&) = delete;
    TFloppyDriveWin& operator=(const TFloppyDriveWin&) = delete;

    // Puts the folder (a Windows path) in the drive; false outside Wine or when refused.
    bool Insert(const std::string& folder);

  private:
    bool Define(const std::string& unixFolder, unsigned type);

    char letter_;
    bool defined_ = false;
};

} // namespace ziptest
