#include "gui/FileText.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

namespace gui {

namespace {

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Close() {
        if (!valid()) return true;
        const bool closed = CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

  private:
    HANDLE handle_;
};

std::string FolderOf(const std::string& fileName) {
    const size_t slash = fileName.find_last_of("\\/:");
    return slash == std::string::npos ? std::string(".\\") : fileName.substr(0, slash + 1);
}

// "tw" and up to four hexadecimal digits, ".tmp": the names GetTempFileName gives our prefix.
bool IsOurTemporaryName(const char* name) {
    const size_t length = std::strlen(name);
    if (length < 7 || length > 10 || _strnicmp(name, "tw", 2) != 0 ||
        _stricmp(name + length - 4, ".tmp") != 0)
        return false;
    for (size_t i = 2; i < length - 4; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

void RemoveStaleTemporaries(const std::string& folder) {
    constexpr uint64_t hour = 36'000'000'000; // in 100 ns steps
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t nowTicks = uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "tw*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const uint64_t written =
            uint64_t(found.ftLastWriteTime.dwHighDateTime) << 32 | found.ftLastWriteTime.dwLowDateTime;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsOurTemporaryName(found.cFileName) &&
            written + hour < nowTicks)
            DeleteFileA((folder + found.cFileName).c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

} // namespace

bool ReadWholeFile(const std::string& fileName, std::string& contents) {
    Handle file(CreateFileA(fileName.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) return false;
    contents.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < contents.size()) {
        DWORD got = 0;
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(contents.size() - done, 1u << 24));
        if (!ReadFile(file.get(), contents.data() + done, ask, &got, nullptr)) return false;
        if (got == 0) break;
        done += got;
    }
    contents.resize(done);
    return true;
}

bool ReplaceFileContents(const std::string& fileName, const std::string& contents) {
    return ReplaceFileStreamed(fileName, [&](const TPutBytes& put) { return put(contents); });
}

bool ReplaceFileStreamed(const std::string& fileName,
                         const std::function<bool(const TPutBytes& put)>& produce) {
    RemoveStaleTemporaries(FolderOf(fileName));
    char temporary[MAX_PATH];
    if (!GetTempFileNameA(FolderOf(fileName).c_str(), "tw", 0, temporary)) return false;
    bool written = false;
    {
        Handle file(
            CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.valid()) {
            constexpr size_t gather = size_t{1} << 20;
            std::string pending;
            bool failed = false;
            auto write = [&](std::string_view bytes) {
                size_t done = 0;
                while (!failed && done < bytes.size()) {
                    DWORD put = 0;
                    const DWORD ask = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
                    failed = !WriteFile(file.get(), bytes.data() + done, ask, &put, nullptr) || put != ask;
                    done += put;
                }
                return !failed;
            };
            const TPutBytes put = [&](std::string_view bytes) {
                if (failed) return false;
                if (pending.size() + bytes.size() <= gather) {
                    if (pending.capacity() < gather) pending.reserve(gather);
                    pending += bytes;
                    return true;
                }
                if (!write(pending)) return false;
                pending.clear();
                if (bytes.size() >= gather) return write(bytes);
                pending += bytes;
                return true;
            };
            written = produce(put) && write(pending) && FlushFileBuffers(file.get());
            written = file.Close() && written;
        }
    }
    if (written &&
        MoveFileExA(temporary, fileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileA(temporary);
    return false;
}

} // namespace gui
