#pragma once
// Drive types as text, the way the zip library's writer and the program's log ask for them.
// Below the core so that the zip and disc libraries need nothing above the class library.

#include <string>

namespace gui {

// "No Type Information", "Root Directory does not exist", "Removable", "Fixed", "Remote",
// "CDROM", "RamDisk" for the drive types 0-6; empty for any other.
std::string DriveTypeName(unsigned driveType);

// The type of the drive the path lies on, as DriveTypeName gives it. An empty path asks no
// drive (type 1); a UNC path is asked at its share root. (Win32 build.)
std::string DriveTypeText(const std::string& path);

} // namespace gui
