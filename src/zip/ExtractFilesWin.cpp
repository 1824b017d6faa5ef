#include "zip/ExtractFilesWin.h"

#include "gui/Exceptions.h"
#include "zip/ZipLib.h"
#include "zip/ZipLibWin.h"

#include <windows.h>

namespace zip {

namespace {

bool DosToFileTime(uint32_t dosDateTime, FILETIME& utc) {
    FILETIME local;
    return DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16), static_cast<WORD>(dosDateTime),
                                 &local) &&
           LocalFileTimeToFileTime(&local, &utc);
}

std::string FolderOf(const std::string& name) {
    const size_t slash = name.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : name.substr(0, slash);
}

} // namespace

std::unique_ptr<gui::TStream> TWinExtractFileSystem::OpenRead(const std::string& name) {
    if (!FileExists(name)) return nullptr;
    try {
        return std::make_unique<TLFNFileStream>(name, gui::fmOpenRead | gui::fmShareDenyWrite);
    } catch (const gui::Exception&) {
        return nullptr; // the caller reports the name it could not open
    }
}

std::optional<gui::DateTime> TWinExtractFileSystem::FileDate(const std::string& name) {
    return FileExists(name) ? FileDateTime(name) : std::nullopt;
}

bool TWinExtractFileSystem::DirectoryExists(const std::string& folder) {
    return DirExists(folder);
}

bool TWinExtractFileSystem::ForceDirectories(const std::string& folder) {
    return ForceDirs(folder);
}

std::unique_ptr<gui::TStream> TWinExtractFileSystem::CreateTemp(const std::string& target,
                                                                std::string& tempName) {
    char buffer[MAX_PATH];
    if (GetTempFileNameA(FolderOf(target).c_str(), "tw~", 0, buffer) == 0) return nullptr;
    tempName = buffer;
    try {
        return std::make_unique<TLFNFileStream>(tempName, gui::fmOpenReadWrite | gui::fmShareExclusive);
    } catch (const gui::Exception&) {
        DeleteFileA(tempName.c_str());
        return nullptr;
    }
}

bool TWinExtractFileSystem::Replace(const std::string& temp, const std::string& target,
                                    bool replaceReadOnly) {
    // A protected target stays unless the caller allows it: Windows refuses to write over one,
    // Wine would quietly replace it.
    constexpr uint32_t kProtected = gui::AttributeReadOnly | gui::AttributeSystem | gui::AttributeHidden;
    const uint32_t existing = attributes_.Get(target);
    if (existing != gui::InvalidFileAttributes && (existing & kProtected) != 0) {
        if (!replaceReadOnly) return false;
        for (const uint32_t bit : {gui::AttributeReadOnly, gui::AttributeSystem, gui::AttributeHidden}) {
            const uint32_t attributes = attributes_.Get(target);
            if (attributes == gui::InvalidFileAttributes) break;
            attributes_.Set(target, attributes & ~bit);
        }
    }
    return MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

void TWinExtractFileSystem::Delete(const std::string& name) {
    DeleteFileA(name.c_str());
}

std::unique_ptr<gui::TStream> TWinExtractFileSystem::CreateTarget(const std::string& target) {
    try {
        return std::make_unique<TLFNFileStream>(target, gui::fmCreateNew | gui::fmShareExclusive);
    } catch (const gui::Exception&) {
        return nullptr; // it exists, or cannot be made here: the caller goes the long way
    }
}

void TWinExtractFileSystem::SetDate(const std::string& name, uint32_t dosDateTime) {
    FILETIME utc;
    if (!DosToFileTime(dosDateTime, utc)) return;
    const HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    SetFileTime(file, nullptr, nullptr, &utc);
    CloseHandle(file);
}

bool TWinExtractFileSystem::SetOpenFileDate(gui::TStream& file, uint32_t dosDateTime) {
    auto* stream = dynamic_cast<gui::TFileStream*>(&file);
    FILETIME utc;
    if (!stream || !DosToFileTime(dosDateTime, utc)) return false;
    return SetFileTime(static_cast<HANDLE>(stream->Handle()), nullptr, nullptr, &utc) != 0;
}

void TWinExtractFileSystem::SetAttributes(const std::string& name, uint32_t attributes) {
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    attributes_.Set(name, attributes);
}

bool TWinExtractFileSystem::IsRemovableDrive(const std::string& name) {
    const std::string root = DriveRootOf(name);
    return !root.empty() && GetDriveTypeA(root.c_str()) == DRIVE_REMOVABLE;
}

std::string TWinExtractFileSystem::VolumeLabel(const std::string& name) {
    const std::string root = DriveRootOf(name);
    return root.empty() ? std::string() : GetVolumeLabel(root);
}

std::string TWinExtractFileSystem::SystemTempPath() {
    char buffer[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof buffer, buffer);
    if (length == 0 || length >= sizeof buffer) return ".\\";
    std::string folder(buffer, length);
    if (folder.back() != '\\') folder += '\\';
    return folder;
}

} // namespace zip
