// What a Zip call adds: the names, masks and folders of FilesList resolved to files.
// (Placeholder until the file list lands: the list is taken as it stands.)

#include "zip/Zipper.h"

namespace zip {

void TZipper::BuildZipFileList() {}

bool TZipper::IsExcluded(const std::string&) const {
    return false;
}

bool TZipper::IsNoCompress(const std::string&) const {
    return false;
}

} // namespace zip
