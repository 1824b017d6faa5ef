#pragma once
// The text rules of the job editor that need no window: the destination the folder dialog
// hands back, the writer's letter put in front of the destination, the free-space line, the
// compression level's hint and the list entries a job file cannot hold.

#include <cstdint>
#include <string>

namespace job {

// A drive root "E:\" as the destination field takes it: "E:". Anything else as given.
std::string DriveRootCut(const std::string& folder);

// The destination once the writer item "<name>,<letter>" is chosen: a field starting with a
// drive letter gets the writer's letter instead. A "?" letter, an item without "," or a
// field without a drive letter leaves the field as it is.
std::string WithWriterLetter(const std::string& destination, const std::string& writerItem);

// "Unknown free space" from NetworkFreeBytes up, else whole megabytes and " MB free".
std::string FreeSpaceText(int64_t freeBytes);

// The compression level's hint for a track-bar position. The position replaces "%s"; the
// text is never used as a format, since it holds a literal "%".
std::string CompressionHint(int position);
// The track bar's highest position for the setting MaxZipFactor: 2 to 9, the levels there are.
inline int CompressionMaximum(int maxZipFactor) {
    return maxZipFactor < 2 ? 2 : maxZipFactor > 9 ? 9 : maxZipFactor;
}

// Entries that would end a job file's list section early.
bool IsRefusedListItem(const std::string& text);

// The folder dialog's answer as a list entry: ending in "\".
std::string FolderEntry(const std::string& folder);

} // namespace job
