#pragma once
// Byte streams: the one interface the zip and image code read and write through, over a file
// or memory. Positions and sizes are 64-bit everywhere, because archives and disc images
// pass 4 GiB. Read and Write may transfer less than asked (end of data); ReadBuffer and
// WriteBuffer are the all-or-error forms most callers want.

#include "gui/Exceptions.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gui {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
  public:
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    virtual ~TStream() = default;

    // Transfers up to count bytes at the position and moves it on; returns the bytes moved.
    virtual size_t Read(void* buffer, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t count) = 0;
    // Returns the new position.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
    virtual int64_t Size();
    // Grows (contents of the new part unspecified) or truncates; a position past the new end
    // is left where it is.
    virtual void SetSize(int64_t newSize) = 0;

    // Reads until count bytes came or Read answers 0 (the end); answers the bytes read.
    size_t ReadFully(void* buffer, size_t count);
    // Throw EReadError/EWriteError when fewer than count bytes move.
    void ReadBuffer(void* buffer, size_t count);
    void WriteBuffer(const void* buffer, size_t count);

    // Copies count bytes from source's position; count 0 copies the whole of source from its
    // start. Returns the bytes copied; a short source throws EReadError.
    int64_t CopyFrom(TStream& source, int64_t count);
};

// A stream over one growable block of memory. Reserve the capacity up front where the final
// size is known (an image head) to avoid copying on growth.
class TMemoryStream : public TStream {
  public:
    TMemoryStream() = default;
    ~TMemoryStream() override;

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(size_); }
    void SetSize(int64_t newSize) override;

    // Guarantees room for capacity bytes without reallocation.
    void SetCapacity(size_t capacity);
    size_t Capacity() const { return capacity_; }
    // Valid until the next growth beyond the capacity.
    uint8_t* Memory() { return data_; }
    const uint8_t* Memory() const { return data_; }
    void Clear();

    // Whole-stream copies: LoadFromStream replaces the contents with source from its start.
    void LoadFromStream(TStream& source);
    void SaveToStream(TStream& destination) const;

  private:
    void Grow(size_t needed);

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    int64_t position_ = 0;
};

} // namespace gui
