#include <windows.h>

#include "zip/ZipperFilesWin.h"

#include "zip/ZipLib.h"
#include "zip/ZipLibWin.h"

namespace zip {

namespace {

// A source file shared for reading, writing and deleting: a backup must not stop a program
// that writes its log or replaces its files while they are zipped.
class TSharedReadStream : public gui::TStream {
  public:
    TSharedReadStream(HANDLE handle, std::string name) : handle_(handle), name_(std::move(name)) {}
    ~TSharedReadStream() override { CloseHandle(handle_); }
    size_t Read(void* buffer, size_t count) override {
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, static_cast<DWORD>(count), &got, nullptr))
            throw gui::EReadError("Cannot read " + name_ + " while zipping it", GetLastError());
        return got;
    }
    size_t Write(const void*, size_t) override { return 0; }
    int64_t Seek(int64_t offset, gui::TSeekOrigin origin) override {
        const DWORD method = origin == gui::TSeekOrigin::soBeginning ? FILE_BEGIN
                             : origin == gui::TSeekOrigin::soCurrent ? FILE_CURRENT
                                                                     : FILE_END;
        LARGE_INTEGER distance, position;
        distance.QuadPart = offset;
        if (!SetFilePointerEx(handle_, distance, &position, method)) return -1;
        return position.QuadPart;
    }
    void SetSize(int64_t) override { throw gui::EWriteError("A source file is read only"); }

  private:
    HANDLE handle_;
    std::string name_;
};

std::unique_ptr<gui::TStream> OpenStream(const std::string& name, uint16_t mode) {
    try {
        return std::make_unique<TLFNFileStream>(name, mode);
    } catch (const gui::EStreamError&) {
        // The callers answer a missing stream with their own message naming the file.
        return nullptr;
    }
}

std::string WithoutTrailingSlash(const std::string& name) {
    if (name.size() > 3 && (name.back() == '\\' || name.back() == '/'))
        return name.substr(0, name.size() - 1);
    return name;
}

} // namespace

TWinZipperFileSystem::TWinZipperFileSystem(TWinSinkFile::TDriveTypeText driveTypeText)
    : driveTypeText_(std::move(driveTypeText)) {}

std::optional<TSourceInfo> TWinZipperFileSystem::Info(const std::string& name) {
    const std::string path = WithoutTrailingSlash(name);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    TSourceInfo info;
    info.attributes = data.dwFileAttributes;
    info.size =
        info.IsFolder() ? 0 : static_cast<int64_t>(uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
    // The date from the same answer: a second query per file costs as much as the first.
    info.dosDateTime = DosDateTimeOf(data.ftLastWriteTime).value_or(PackDosDateTime(1980, 1, 1, 0, 0, 0));
    info.writeTime = uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
    return info;
}

std::unique_ptr<gui::TStream> TWinZipperFileSystem::OpenSource(const std::string& name) {
    const HANDLE handle =
        CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<TSharedReadStream>(handle, name);
}

void TWinZipperFileSystem::Search(const std::string& startPath, bool recurse, const std::string& mask,
                                  const std::function<bool(const std::string& name, int64_t size)>& found) {
    TDirSearch search(startPath, recurse, mask);
    for (;;) {
        int64_t size = 0;
        const std::string name = search.NextFile(size);
        if (name.empty() || !found(name, size)) return;
    }
}

std::unique_ptr<TSinkFile> TWinZipperFileSystem::OpenOutput(const std::string& name, bool keepExisting,
                                                            const std::string& stagingName) {
    return std::make_unique<TWinSinkFile>(name, stagingName, driveTypeText_, keepExisting);
}

std::unique_ptr<gui::TStream> TWinZipperFileSystem::CreateWorkFile(const std::string& name) {
    return OpenStream(name, gui::fmCreate | gui::fmShareExclusive);
}

std::unique_ptr<gui::TStream> TWinZipperFileSystem::OpenReadWrite(const std::string& name) {
    return OpenStream(name, gui::fmOpenReadWrite | gui::fmShareExclusive);
}

bool TWinZipperFileSystem::DeleteFile(const std::string& name) {
    return DeleteFileA(name.c_str()) != 0;
}

bool TWinZipperFileSystem::RenameFile(const std::string& from, const std::string& to) {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

bool TWinZipperFileSystem::CopyFile(const std::string& from, const std::string& to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

bool TWinZipperFileSystem::SetAttributes(const std::string& name, uint32_t attributes) {
    return SetFileAttributesA(WithoutTrailingSlash(name).c_str(), attributes) != 0;
}

std::string TWinZipperFileSystem::ShortName(const std::string& path) {
    return ConvertPath(path, false);
}

int64_t TWinZipperFileSystem::DiskFree(const std::string& root) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(root.empty() ? nullptr : root.c_str(), &available, nullptr, nullptr)) return 0;
    return static_cast<int64_t>(available.QuadPart);
}

bool TWinZipperFileSystem::SetVolumeLabel(const std::string& root, const std::string& label) {
    return zip::SetVolumeLabel(root, label);
}

uint32_t TWinZipperFileSystem::VolumeSerial(const std::string& root) {
    DWORD serial = 0;
    if (!GetVolumeInformationA(root.empty() ? nullptr : root.c_str(), nullptr, 0, &serial, nullptr, nullptr,
                               nullptr, 0))
        return 0;
    return serial;
}

} // namespace zip
