#pragma once
// A drive letter of a chosen type over a fresh folder, made for one test through Wine's mount
// manager. Drive types written to the registry are read only when the wineserver starts; the
// mount manager's define request takes effect at once and is undone when the drive goes.

#include <string>

namespace wintest {

class TWineDrive {
  public:
    // driveType: DRIVE_REMOVABLE, DRIVE_CDROM, DRIVE_FIXED, ... The letter is a free one
    // between M: and Y:; test processes of one prefix start their search at different letters.
    explicit TWineDrive(unsigned driveType);
    ~TWineDrive();
    TWineDrive(const TWineDrive&) = delete;
    TWineDrive& operator=(const TWineDrive&) = delete;

    // False outside Wine, or when the mount manager refused; the test should skip then.
    bool Defined() const { return defined_; }
    // "X:\"
    std::string Root() const { return std::string(1, letter_) + ":\\"; }

  private:
    char letter_ = 0;
    std::string folder_; // the backing folder, as a Windows path
    bool defined_ = false;
};

} // namespace wintest
