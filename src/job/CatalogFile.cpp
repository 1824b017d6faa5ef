#include "job/CatalogFile.h"
#include "core/PathText.h"

#include "core/WinFolders.h"
#include "gui/SysError.h"
#include "gui/Wait.h"

#include <windows.h>

#include <algorithm>

namespace job {

namespace {

HANDLE OpenShared(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// The last byte of the file; -1 when it is empty or cannot be read.
int LastByte(HANDLE file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart == 0) return -1;
    LARGE_INTEGER last{};
    last.QuadPart = size.QuadPart - 1;
    char byte = 0;
    DWORD got = 0;
    if (!SetFilePointerEx(file, last, nullptr, FILE_BEGIN) || !ReadFile(file, &byte, 1, &got, nullptr) ||
        got != 1)
        return -1;
    return static_cast<unsigned char>(byte);
}

bool WriteAll(HANDLE file, std::string_view text) {
    size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        const DWORD ask = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 24));
        if (!WriteFile(file, text.data() + done, ask, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

} // namespace

CatalogFileReader::CatalogFileReader(const std::string& path, size_t bufferSize)
    : path_(path), handle_(OpenShared(path)),
      lines_(
          [this](char* into, size_t room, size_t& got) {
              got = 0;
              if (handle_ == INVALID_HANDLE_VALUE) return true;
              DWORD read = 0;
              if (!ReadFile(handle_, into, static_cast<DWORD>(std::min<size_t>(room, 1u << 30)), &read,
                            nullptr)) {
                  readError_ = GetLastError();
                  return false;
              }
              got = read;
              return true;
          },
          bufferSize) {
    if (handle_ == INVALID_HANDLE_VALUE) {
        openError_ = GetLastError();
        missing_ = openError_ == ERROR_FILE_NOT_FOUND || openError_ == ERROR_PATH_NOT_FOUND;
        return;
    }
    LARGE_INTEGER size{};
    if (GetFileSizeEx(handle_, &size)) size_ = static_cast<uint64_t>(size.QuadPart);
}

CatalogFileReader::~CatalogFileReader() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

bool CatalogFileReader::Good() const {
    return handle_ != INVALID_HANDLE_VALUE && !lines_.Failed();
}

std::string CatalogFileReader::Error() const {
    if (missing_) return {};
    if (handle_ == INVALID_HANDLE_VALUE)
        return "The catalog could not be opened: " + path_ + " (" + gui::SysErrorMessage(openError_) + ")";
    if (lines_.Failed())
        return "The catalog could not be read: " + path_ + " (" + gui::SysErrorMessage(readError_) + ")";
    return {};
}

bool AppendToCatalog(const std::string& path, std::string_view text) {
    const std::string folder = core::FolderOf(path);
    if (!folder.empty()) core::ForceDirectories(folder);
    // Appending access only: every write lands at the end, whatever the file pointer says.
    auto open = [&] {
        return CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    };
    HANDLE file = open();
    if (file == INVALID_HANDLE_VALUE) {
        gui::Wait(1000, false);
        file = open();
    }
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    if (!text.empty()) {
        const int last = LastByte(file);
        if (last == '\r')
            ok = WriteAll(file, "\n");
        else if (last >= 0 && last != '\n')
            ok = WriteAll(file, "\r\n");
    }
    ok = ok && WriteAll(file, text);
    return CloseHandle(file) && ok;
}

} // namespace job
