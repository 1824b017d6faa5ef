#pragma once
// A stream over a file. The open mode is the classic word: the low nibble chooses the access
// (read, write, read-write), the next one the sharing (exclusive, deny-write, deny-none), and
// fmCreate makes or truncates the file for read-write. Names are ANSI. Every failure throws
// with the file's name and the system's text, so a message can say which file and why.

#include "gui/Stream.h"

#include <string>

namespace gui {

constexpr uint16_t fmCreate = 0xFF00;
// As fmCreate, but fails when the file exists: nothing that was there can be truncated.
constexpr uint16_t fmCreateNew = 0xFE00;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

class TFileStream : public TStream {
  public:
    // fmCreate and fmCreateNew may be combined with a share mode (fmCreate | fmShareDenyWrite).
    TFileStream(const std::string& fileName, uint16_t mode);
    ~TFileStream() override;

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override;
    void SetSize(int64_t newSize) override;

    const std::string& FileName() const { return fileName_; }
    // The Win32 file handle (a HANDLE), for calls the stream does not wrap (file times).
    void* Handle() const { return handle_; }

  private:
    std::string fileName_;
    void* handle_;
};

} // namespace gui
