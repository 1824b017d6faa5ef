#pragma once
// The file system as the zip (create) component sees it: sources to read and search, the
// output behind the write sink, work files, volumes and their labels. The component decides
// what to do; this interface does it, so the same archive-building logic runs over Win32 in
// the program and over a portable implementation in the native tests. It is also the one
// place where archive attributes are read and cleared, which lets tests play a file system
// that keeps a cleared archive bit (Wine does not).

#include "gui/Stream.h"
#include "zip/WriteSink.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// <windows.h> maps these names to its -A functions; the interface keeps its own names.
#ifdef DeleteFile
#undef DeleteFile
#endif
#ifdef CopyFile
#undef CopyFile
#endif
#ifdef SetVolumeLabel
#undef SetVolumeLabel
#endif

namespace zip {

inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;

struct TSourceInfo {
    int64_t size = 0;
    uint32_t attributes = 0;  // FILE_ATTRIBUTE_* bits
    uint32_t dosDateTime = 0; // last write time, DOS form
    uint64_t writeTime = 0;   // last write time as the file system keeps it (Win32: FILETIME)
    bool IsFolder() const { return attributes & kAttrDirectory; }
};

class TZipperFileSystem {
  public:
    virtual ~TZipperFileSystem() = default;

    // nullopt when there is no such file or folder (a trailing "\" is allowed).
    virtual std::optional<TSourceInfo> Info(const std::string& name) = 0;
    // A source to zip, shared for reading, writing and deleting with others; nullptr when it
    // cannot be opened.
    virtual std::unique_ptr<gui::TStream> OpenSource(const std::string& name) = 0;
    // Whether Info, OpenSource and reading a source may run on another thread while the
    // component uses the rest on its own; the component then reads its next source ahead.
    virtual bool OpensFromAnyThread() const { return false; }
    // Walks startPath (a folder ending in "\", possibly with wildcard folder parts) for names
    // matching mask, calling found(name, size) for each; folders end in "\" and come before
    // their contents when recursing. found answers false to stop the walk.
    virtual void Search(const std::string& startPath, bool recurse, const std::string& mask,
                        const std::function<bool(const std::string& name, int64_t size)>& found) = 0;

    // The write sink's output: created (truncated), or with keepExisting opened as it is.
    // stagingName is the sink's staging file. Throws gui::Exception when it cannot be opened.
    virtual std::unique_ptr<TSinkFile> OpenOutput(const std::string& name, bool keepExisting,
                                                  const std::string& stagingName) = 0;
    // A work file (directory buffer, one entry of a volume set, the side file): created or
    // truncated, read and write; nullptr when it cannot be made.
    virtual std::unique_ptr<gui::TStream> CreateWorkFile(const std::string& name) = 0;
    // An existing file for reading and writing (exclusive); nullptr when it cannot be opened.
    virtual std::unique_ptr<gui::TStream> OpenReadWrite(const std::string& name) = 0;

    virtual bool DeleteFile(const std::string& name) = 0;
    // Replaces an existing target.
    virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
    virtual bool CopyFile(const std::string& from, const std::string& to) = 0;
    virtual bool SetAttributes(const std::string& name, uint32_t attributes) = 0;
    // Clears the archive bit of a source whose attributes were read as `read`: no call when
    // it had none.
    virtual bool ClearArchiveBit(const std::string& name, uint32_t read) {
        return !(read & kAttrArchive) || SetAttributes(name, read & ~kAttrArchive);
    }
    // The 8.3 form of a path, or the path itself when it has none.
    virtual std::string ShortName(const std::string& path) = 0;

    // Volumes. root is "A:\" style; an empty root means the current drive.
    virtual int64_t DiskFree(const std::string& root) = 0;
    virtual bool SetVolumeLabel(const std::string& root, const std::string& label) = 0;
    virtual uint32_t VolumeSerial(const std::string& root) = 0;
};

} // namespace zip
