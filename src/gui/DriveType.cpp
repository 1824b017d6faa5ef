#include "gui/DriveType.h"

namespace gui {

std::string DriveTypeName(unsigned driveType) {
    static const char* const names[] = {"No Type Information",
                                        "Root Directory does not exist",
                                        "Removable",
                                        "Fixed",
                                        "Remote",
                                        "CDROM",
                                        "RamDisk"};
    return driveType < 7 ? names[driveType] : std::string();
}

} // namespace gui
