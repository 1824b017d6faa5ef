#include "gui/FileStream.h"

#include "gui/SysError.h"

#include <windows.h>

#include <algorithm>

namespace gui {

namespace {

DWORD ShareOf(uint16_t mode) {
    switch (mode & 0xF0) {
    case fmShareExclusive:
        return 0;
    case fmShareDenyWrite:
        return FILE_SHARE_READ;
    case fmShareDenyRead:
        return FILE_SHARE_WRITE;
    default: // compatibility mode has no meaning for Win32 files; treat it as deny-none
        return FILE_SHARE_READ | FILE_SHARE_WRITE;
    }
}

DWORD AccessOf(uint16_t mode) {
    switch (mode & 0x0F) {
    case fmOpenWrite:
        return GENERIC_WRITE;
    case fmOpenReadWrite:
        return GENERIC_READ | GENERIC_WRITE;
    default:
        return GENERIC_READ;
    }
}

// Throws a stream error of kind E naming the file, what failed and the last system error.
template <typename E> [[noreturn]] void Fail(const std::string& fileName, const char* what) {
    const DWORD error = GetLastError();
    throw E(std::string(what) + " \"" + fileName + "\". " + SysErrorMessage(error), error);
}

} // namespace

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : fileName_(fileName) {
    const bool createNew = (mode & fmCreate) == fmCreateNew;
    const bool create = createNew || (mode & fmCreate) == fmCreate;
    const DWORD disposition = createNew ? CREATE_NEW : create ? CREATE_ALWAYS : OPEN_EXISTING;
    handle_ = CreateFileA(fileName.c_str(), create ? GENERIC_READ | GENERIC_WRITE : AccessOf(mode),
                          ShareOf(mode), nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        if (create) Fail<EFCreateError>(fileName_, "Cannot create file");
        Fail<EFOpenError>(fileName_, "Cannot open file");
    }
}

TFileStream::~TFileStream() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

size_t TFileStream::Read(void* buffer, size_t count) {
    size_t total = 0;
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (total < count) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - total, 0x40000000));
        DWORD done = 0;
        if (!ReadFile(handle_, bytes + total, chunk, &done, nullptr))
            Fail<EReadError>(fileName_, "Cannot read file");
        total += done;
        if (done < chunk) break; // end of file
    }
    return total;
}

size_t TFileStream::Write(const void* buffer, size_t count) {
    size_t total = 0;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    while (total < count) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - total, 0x40000000));
        DWORD done = 0;
        if (!WriteFile(handle_, bytes + total, chunk, &done, nullptr))
            Fail<EWriteError>(fileName_, "Cannot write file");
        total += done;
        if (done < chunk) break;
    }
    return total;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER result;
    const DWORD method = origin == TSeekOrigin::soBeginning ? FILE_BEGIN
                         : origin == TSeekOrigin::soCurrent ? FILE_CURRENT
                                                            : FILE_END;
    if (!SetFilePointerEx(handle_, distance, &result, method))
        Fail<EStreamError>(fileName_, "Cannot seek in file");
    return result.QuadPart;
}

int64_t TFileStream::Size() {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_, &size)) Fail<EStreamError>(fileName_, "Cannot read the size of file");
    return size.QuadPart;
}

void TFileStream::SetSize(int64_t newSize) {
    const int64_t position = Position();
    SetPosition(newSize);
    if (!SetEndOfFile(handle_)) {
        const DWORD error = GetLastError();
        SetPosition(position);
        SetLastError(error);
        Fail<EWriteError>(fileName_, "Cannot change the size of file");
    }
    SetPosition(position);
}

} // namespace gui
