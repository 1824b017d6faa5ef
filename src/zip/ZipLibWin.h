#pragma once
// The zip library's file-system services on Win32: the file stream it opens archives with,
// the recursive directory search with wildcard folder parts, file dates, folders, the file
// copy, volume labels and long/short path conversion. ANSI names throughout.

#include "gui/Clock.h"
#include "gui/FileStream.h"
#include "zip/ZipObj.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// <windows.h> maps this name to its -A function; the library's own routine keeps its name.
#ifdef SetVolumeLabel
#undef SetVolumeLabel
#endif

struct _FILETIME; // <windows.h>

namespace zip {

// A file stream opened by a long name. The flush-on-close flag and the buffer size are taken
// for the callers' sake and not used: writes go through the library's own write sink.
class TLFNFileStream : public gui::TFileStream {
  public:
    TLFNFileStream(const std::string& fileName, uint16_t mode, bool flushOnClose = false,
                   uint32_t bufferSize = 0)
        : gui::TFileStream(fileName, mode) {
        (void)flushOnClose;
        (void)bufferSize;
    }
};

// A search over a folder tree. The start path may hold wildcard folder parts
// ("T:\Data\*\Logs"): each matches one folder level below the fixed part, and the file mask
// applies below the last of them. With recurse, every sub-folder is answered (ending with
// "\") before its contents. Only "." and ".." are passed over, so ".ssh" is searched too, and
// the depth is limited only by the path length the system allows.
class TDirSearch {
  public:
    TDirSearch(const std::string& startPath, bool recurse, const std::string& fileMask);
    ~TDirSearch();
    TDirSearch(const TDirSearch&) = delete;
    TDirSearch& operator=(const TDirSearch&) = delete;

    // The next name with its folder, or empty when the search is over; size is 0 for folders.
    std::string NextFile(int64_t& size);

  private:
    struct TSearchData;
    void Push(std::string folder, int partIndex);
    void Pop();

    std::vector<std::unique_ptr<TSearchData>> levels_;
    std::vector<std::string> parts_;
    std::string fileMask_;
    bool recurse_;
};

// The file's last write time as a repaired DOS date-time (times outside 1980-2107 clamped);
// nullopt when the file cannot be read.
std::optional<uint32_t> FileDosDateTime(const std::string& fileName);
// The same from a last write time already read (UTC, as the system gives it).
std::optional<uint32_t> DosDateTimeOf(const ::_FILETIME& lastWrite);
std::optional<gui::DateTime> FileDateTime(const std::string& fileName);

// Creates the folder with every missing parent; true when it exists afterwards (and for "").
bool ForceDirs(const std::string& path);
bool FileExists(const std::string& fileName);
bool DirExists(const std::string& path);
std::string CurrentDir();

// Copies every byte; true only when all were written and the destination closed cleanly. A
// failed copy removes the partial destination and tells the user through the prompter.
bool CopyFileTo(const std::string& source, const std::string& destination);

// Removes the drive's label, then sets the new one; answers the system's result.
bool SetVolumeLabel(const std::string& root, const std::string& label);
// The drive's label, at most 13 characters; empty when there is none or no drive.
std::string GetVolumeLabel(const std::string& root);

// The path in its long (toLong) or short 8.3 form; components not on disk stay as given.
std::string ConvertPath(const std::string& path, bool toLong);

// The system's ANSI <-> OEM conversion, for SetNameConverters.
NameConverters SystemNameConverters();

} // namespace zip
