// The system's side of the file seams: attributes and drive types through Win32.

#include "gui/DriveType.h"
#include "gui/FileAttributes.h"

#include <windows.h>

namespace gui {

namespace {

class SystemAttributes final : public FileAttributes {
  public:
    uint32_t Get(const std::string& path) override { return GetFileAttributesA(path.c_str()); }
    uint32_t Set(const std::string& path, uint32_t attributes) override {
        return SetFileAttributesA(path.c_str(), attributes) ? 0 : GetLastError();
    }
    bool ClearArchiveBit(const std::string& path, uint32_t read) override {
        if (read == InvalidFileAttributes) read = Get(path);
        return read != InvalidFileAttributes && (read & AttributeArchive) &&
               Set(path, read & ~AttributeArchive) == 0;
    }
};

} // namespace

FileAttributes& SystemFileAttributes() {
    static SystemAttributes attributes;
    return attributes;
}

std::string DriveTypeText(const std::string& path) {
    if (path.empty()) return DriveTypeName(DRIVE_NO_ROOT_DIR);
    std::string root;
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        // \\server\share\ : the share is the drive.
        const size_t server = path.find('\\', 2);
        const size_t share = server == std::string::npos ? std::string::npos : path.find('\\', server + 1);
        root = share == std::string::npos ? path + "\\" : path.substr(0, share + 1);
    } else {
        root = path.substr(0, 1) + ":\\";
    }
    return DriveTypeName(GetDriveTypeA(root.c_str()));
}

} // namespace gui
