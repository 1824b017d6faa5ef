#pragma once
// A stream that gathers small writes in memory and passes them on in large pieces. The zip
// component writes one central record per entry into its directory work file; each record
// written alone would be a call into the file system. Reads, seeks and size changes pass the
// gathered bytes on first, so the file below holds what a reader of this stream sees; the
// position and size are kept here rather than asked of the file.
//
// Bytes still gathered when the stream is destroyed are dropped: it serves work files,
// which are read back through it or deleted.

#include "gui/Stream.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zip {

class TWriteBehindStream : public gui::TStream {
  public:
    explicit TWriteBehindStream(std::unique_ptr<gui::TStream> file, size_t capacity = 65536);

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, gui::TSeekOrigin origin) override;
    int64_t Size() override { return size_; }
    void SetSize(int64_t newSize) override;
    // Passes the gathered bytes on; throws gui::EWriteError when the file takes fewer.
    void Flush();

  private:
    std::unique_ptr<gui::TStream> file_;
    std::vector<uint8_t> pending_; // written at position_ - pending_.size()
    size_t capacity_;
    int64_t position_;
    int64_t size_;
};

} // namespace zip
