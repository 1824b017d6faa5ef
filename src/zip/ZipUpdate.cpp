// Zipping into an existing archive. (Placeholder until updating lands.)

#include "zip/Zipper.h"

namespace zip {

namespace {
[[noreturn]] void NotYet() {
    throw EZipError("Updating an existing archive is not available");
}
} // namespace

void TZipper::OpenForUpdate() {
    NotYet();
}
void TZipper::OpenForAppend() {
    NotYet();
}
void TZipper::UpdateExistingEntries() {
    NotYet();
}
void TZipper::CopyExistingEntry(TZipHeaderInfo&) {
    NotYet();
}
void TZipper::FinishUpdate() {
    NotYet();
}
void TZipper::RestoreAppendedArchive() {}
int TZipper::DeleteSelected() {
    NotYet();
}

} // namespace zip
