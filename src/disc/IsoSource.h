#pragma once
// Where the files of an image come from. The builder lists folders and reads sizes through
// this seam, and the image stream reads the data through it, so tests can change a source
// between layout and writing and the Win32 build can supply its own attributes.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "gui/Clock.h"

namespace disc {

struct IsoSourceItem {
    std::string Name; // name inside its folder
    bool IsDir = false;
    int64_t Size = 0;
    gui::DateTime Date = 0; // local time
    uint32_t Attributes = 0;
};

class IsoSourceFile {
  public:
    virtual ~IsoSourceFile() = default;
    // Bytes read (fewer only at the end); -1 on a read error.
    virtual int64_t Read(uint8_t* buffer, size_t count) = 0;
};

class IsoSourceFiles {
  public:
    virtual ~IsoSourceFiles() = default;
    virtual bool Stat(const std::string& path, IsoSourceItem& item) = 0;
    // The entries of a folder, without "." and "..". False when it cannot be listed.
    virtual bool List(const std::string& folder, std::vector<IsoSourceItem>& items) = 0;
    // Opened for reading while others may write or delete; nullptr when it cannot be opened.
    virtual std::unique_ptr<IsoSourceFile> Open(const std::string& path) = 0;
};

// The files of this machine (ANSI paths; "\" and "/" both separate folders).
IsoSourceFiles& LocalSourceFiles();

// Joins a folder and a name with the separator the folder already uses.
std::string JoinSourcePath(const std::string& folder, const std::string& name);

} // namespace disc
