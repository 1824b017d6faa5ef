#include "gui/Stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace gui {

int64_t TStream::Size() {
    const int64_t position = Seek(0, TSeekOrigin::soCurrent);
    const int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(position, TSeekOrigin::soBeginning);
    return size;
}

// A stream may hand out less than asked before its end (a pipe, a device), so keep asking
// until it has nothing more.
size_t TStream::ReadFully(void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const size_t step = Read(static_cast<uint8_t*>(buffer) + done, count - done);
        if (step == 0) break;
        done += step;
    }
    return done;
}

void TStream::ReadBuffer(void* buffer, size_t count) {
    const size_t done = ReadFully(buffer, count);
    if (done != count)
        throw EReadError("Stream read error: " + std::to_string(done) + " of " + std::to_string(count) +
                         " bytes read");
}

void TStream::WriteBuffer(const void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const size_t step = Write(static_cast<const uint8_t*>(buffer) + done, count - done);
        if (step == 0) break;
        done += step;
    }
    if (done != count)
        throw EWriteError("Stream write error: " + std::to_string(done) + " of " + std::to_string(count) +
                          " bytes written");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    if (count < 0) throw EReadError("Stream copy of a negative length");
    // Large enough to amortise a file system call, small enough for a 32-bit heap.
    constexpr size_t maxChunk = 1 << 20;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(count, maxChunk)));
    int64_t left = count;
    while (left > 0) {
        const size_t chunk = static_cast<size_t>(std::min<int64_t>(left, maxChunk));
        source.ReadBuffer(buffer.data(), chunk);
        WriteBuffer(buffer.data(), chunk);
        left -= static_cast<int64_t>(chunk);
    }
    return count;
}

TMemoryStream::~TMemoryStream() {
    std::free(data_);
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
    if (count == 0 || position_ >= static_cast<int64_t>(size_)) return 0;
    const size_t start = static_cast<size_t>(position_);
    const size_t done = std::min(count, size_ - start);
    std::memcpy(buffer, data_ + start, done);
    position_ += static_cast<int64_t>(done);
    return done;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
    if (count == 0) return 0;
    constexpr auto maxSize = static_cast<uint64_t>(std::numeric_limits<size_t>::max());
    if (static_cast<uint64_t>(position_) + count > maxSize)
        throw EWriteError("Memory stream cannot grow past the address space");
    const size_t start = static_cast<size_t>(position_);
    const size_t end = start + count;
    if (end > size_) {
        Grow(end);
        // A write after a seek past the end leaves zeros in the gap, never stale memory.
        if (start > size_) std::memset(data_ + size_, 0, start - size_);
        size_ = end;
    }
    std::memcpy(data_ + start, buffer, count);
    position_ = static_cast<int64_t>(end);
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent) base = position_;
    if (origin == TSeekOrigin::soEnd) base = static_cast<int64_t>(size_);
    if ((offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) || base + offset < 0)
        throw EStreamError("Memory stream seek out of range");
    position_ = base + offset;
    return position_;
}

void TMemoryStream::SetSize(int64_t newSize) {
    if (newSize < 0 || static_cast<uint64_t>(newSize) > std::numeric_limits<size_t>::max())
        throw EStreamError("Memory stream size out of range: " + std::to_string(newSize));
    const size_t size = static_cast<size_t>(newSize);
    if (size > size_) {
        Grow(size);
        std::memset(data_ + size_, 0, size - size_);
    }
    size_ = size;
}

void TMemoryStream::SetCapacity(size_t capacity) {
    if (capacity <= capacity_) return;
    void* grown = std::realloc(data_, capacity);
    if (!grown) throw EStreamError("Out of memory reserving " + std::to_string(capacity) + " bytes");
    data_ = static_cast<uint8_t*>(grown);
    capacity_ = capacity;
}

void TMemoryStream::Grow(size_t needed) {
    if (needed <= capacity_) return;
    // Doubling keeps a stream filled by small writes linear; 8 KiB avoids tiny blocks.
    size_t next = std::max<size_t>(capacity_ < 8192 ? 8192 : capacity_, 1);
    while (next < needed)
        next = next > std::numeric_limits<size_t>::max() / 2 ? needed : next * 2;
    SetCapacity(next);
}

void TMemoryStream::Clear() {
    std::free(data_);
    data_ = nullptr;
    size_ = capacity_ = 0;
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
    source.SetPosition(0);
    const int64_t size = source.Size();
    SetSize(size);
    if (size) source.ReadBuffer(data_, static_cast<size_t>(size));
    position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& destination) const {
    if (size_) destination.WriteBuffer(data_, size_);
}

} // namespace gui
