// Archives over several volumes. (Placeholder until volumes land.)

#include "zip/Zipper.h"

#include <cstdio>

namespace zip {

namespace {
[[noreturn]] void NotYet() {
    throw EZipError("Archives over several volumes are not available");
}
} // namespace

void TZipper::NextVolume() {
    NotYet();
}
void TZipper::CopyVolumeEntry() {
    NotYet();
}
void TZipper::WriteDiskLabel() {}
void TZipper::SaveZipConfigurationFile(const std::string&) {
    NotYet();
}
std::string TZipper::PartName(const std::string& name, int volume) const {
    char ext[8];
    std::snprintf(ext, sizeof ext, ".z%02d", (volume + 1) % 100);
    const size_t dot = name.find_last_of(".\\/:");
    return (dot != std::string::npos && name[dot] == '.' ? name.substr(0, dot) : name) + ext;
}

} // namespace zip
