#pragma once
// File attributes are read and written through this one interface: the product uses the
// system's calls, tests of archive-bit selection use the in-memory double (Wine cannot keep
// a cleared archive bit).

#include <cstdint>
#include <map>
#include <string>

namespace gui {

constexpr uint32_t InvalidFileAttributes = 0xFFFFFFFFu;
constexpr uint32_t AttributeReadOnly = 0x01;
constexpr uint32_t AttributeHidden = 0x02;
constexpr uint32_t AttributeSystem = 0x04;
constexpr uint32_t AttributeDirectory = 0x10;
constexpr uint32_t AttributeArchive = 0x20;

class FileAttributes {
  public:
    virtual ~FileAttributes() = default;
    // InvalidFileAttributes when the file cannot be asked.
    virtual uint32_t Get(const std::string& path) = 0;
    // 0 on success, else the system's error code.
    virtual uint32_t Set(const std::string& path, uint32_t attributes) = 0;
    // Clears the archive bit of a file whose attributes were just read as `read`; true when
    // a bit was cleared. The system's side goes by `read` (one call, none without the bit);
    // this default asks for the file's attributes first, so a double keeps its own.
    virtual bool ClearArchiveBit(const std::string& path, uint32_t read) {
        (void)read;
        const uint32_t now = Get(path);
        return now != InvalidFileAttributes && (now & AttributeArchive) &&
               Set(path, now & ~AttributeArchive) == 0;
    }
};

// The system's attributes (Win32 build).
FileAttributes& SystemFileAttributes();

class MemoryFileAttributes final : public FileAttributes {
  public:
    std::map<std::string, uint32_t> files;
    uint32_t Get(const std::string& path) override {
        const auto found = files.find(path);
        return found == files.end() ? InvalidFileAttributes : found->second;
    }
    uint32_t Set(const std::string& path, uint32_t attributes) override {
        const auto found = files.find(path);
        if (found == files.end()) return 2; // file not found
        found->second = attributes;
        return 0;
    }
};

} // namespace gui
