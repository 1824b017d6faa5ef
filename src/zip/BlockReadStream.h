#pragma once
// Reads a stream in blocks of 64 KiB and serves reads and seeks from the block in hand: the
// central directory is read record by record, a few bytes at a time, and each of those reads
// and position questions would otherwise be a call into the file system. Read only.

#include "gui/Stream.h"

#include <cstdint>
#include <vector>

namespace zip {

class TBlockReadStream : public gui::TStream {
  public:
    explicit TBlockReadStream(gui::TStream& file, size_t blockSize = 65536);

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void*, size_t) override { return 0; }
    int64_t Seek(int64_t offset, gui::TSeekOrigin origin) override;
    int64_t Size() override;
    void SetSize(int64_t) override {
        throw gui::EWriteError("A stream read in blocks cannot change its size");
    }

  private:
    gui::TStream& file_;
    std::vector<uint8_t> block_;
    int64_t blockStart_ = 0;
    size_t blockLength_ = 0;
    int64_t position_;
    int64_t size_ = -1; // asked once
};

} // namespace zip
