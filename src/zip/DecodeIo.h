#pragma once
// What the decompressors share: the callback interface to the entry driver, the bit reader
// and the output window.
//
// A decoder runs an entry to its end in one call. It pulls compressed bytes piece by piece
// through TDecodeIo::FillInput and hands out decoded bytes through FlushOutput each time the
// 32 KiB window is full and once at the end. Those are the only virtual calls: one per piece,
// never per byte, so the same decoders serve the zip reader, the tests, the fuzzers and the
// benchmarks with whatever sits behind the interface.
//
// The bit reader keeps a machine-word bit buffer. Its slow path pulls one byte at a time and
// fetches the next piece when the current one is used up; decoders with a fast path refill a
// whole word at once while the piece has bytes to spare. Running out of input is a status,
// never a stream of zero bits: a decoder stops there instead of inventing data.
//
// The window is also the dictionary (every format here reaches back at most 32 KiB). It
// counts the bytes of the entry so far, so a reference before the entry's first byte is
// caught (inflate) or reads as zeros (explode, unreduce) and never sees a previous entry.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace zip {

enum class TDecodeStatus {
    Ok,         // the stream ended where its format says it ends
    BadData,    // a code, length or distance that the format forbids
    InputUsedUp // the compressed data ended first
};

class TDecodeIo {
  public:
    virtual ~TDecodeIo() = default;
    // The next piece of compressed (already decrypted) bytes; empty when there are no more.
    virtual std::span<const uint8_t> FillInput() = 0;
    // `count` decoded bytes, at most the window's size.
    virtual void FlushOutput(const uint8_t* data, size_t count) = 0;
};

inline constexpr size_t kSlideSize = 32768;

using BitBuffer = size_t;
inline constexpr unsigned kBitBufferBits = sizeof(BitBuffer) * 8;

class TBitReader {
  public:
    explicit TBitReader(TDecodeIo& io) : io_(io) {}

    // One more byte into the bit buffer, fetching a piece when needed; false at the end.
    bool PullByte() {
        if (next == end && !NextPiece()) return false;
        bits |= BitBuffer(*next++) << count;
        count += 8;
        return true;
    }
    // At least n bits (n <= kBitBufferBits - 7) in the buffer; false when the input ends first.
    bool Need(unsigned n) {
        while (count < n)
            if (!PullByte()) return false;
        return true;
    }
    uint32_t Peek(unsigned n) const { return static_cast<uint32_t>(bits & ((BitBuffer(1) << n) - 1)); }
    void Drop(unsigned n) {
        bits >>= n;
        count -= n;
    }
    // n bits (n <= 16) read least significant first.
    bool Read(unsigned n, uint32_t& value) {
        if (!Need(n)) return false;
        value = Peek(n);
        Drop(n);
        return true;
    }
    // Drops the bits up to the next byte boundary.
    void AlignToByte() { Drop(count & 7); }
    size_t BytesLeftInPiece() const { return static_cast<size_t>(end - next); }
    // Makes sure the current piece has a byte left; false at the end of the input.
    bool HasByte() { return next != end || NextPiece(); }
    // Forgets stale look-ahead once the buffer is empty, before bytes are taken directly.
    void ClearIfEmpty() {
        if (count == 0) bits = 0;
    }

    BitBuffer bits = 0;
    unsigned count = 0;
    const uint8_t* next = nullptr;
    const uint8_t* end = nullptr;

  private:
    bool NextPiece() {
        for (;;) {
            const std::span<const uint8_t> piece = io_.FillInput();
            if (piece.empty()) return false;
            next = piece.data();
            end = next + piece.size();
            return true;
        }
    }
    TDecodeIo& io_;
};

// The output window. `slide` is owned by the caller (kSlideSize bytes) and
// reused across entries; `total` tells how much of it belongs to this entry.
class TSlideWriter {
  public:
    TSlideWriter(TDecodeIo& io, uint8_t* slide) : io_(io), slide_(slide) {}

    void Put(uint8_t byte) {
        slide_[pos++] = byte;
        ++total;
        if (pos == kSlideSize) Flush();
    }
    // Copies `length` bytes from `distance` back (1..kSlideSize). Bytes before the entry's
    // start read as zero; inflate rejects such distances before it gets here.
    void Copy(size_t distance, size_t length);
    // Hands whatever is in the window to the target.
    void Flush() {
        if (pos != 0) io_.FlushOutput(slide_, pos);
        pos = 0;
    }
    uint8_t* Slide() const { return slide_; }

    size_t pos = 0;
    uint64_t total = 0;

  private:
    TDecodeIo& io_;
    uint8_t* slide_;
};

inline void TSlideWriter::Copy(size_t distance, size_t length) {
    // Zeros for the part that reaches before the entry's first byte.
    while (length != 0 && distance > total) {
        Put(0);
        --length;
    }
    while (length != 0) {
        const size_t from = (pos - distance) & (kSlideSize - 1);
        size_t n = length;
        if (n > kSlideSize - pos) n = kSlideSize - pos;
        if (n > kSlideSize - from) n = kSlideSize - from;
        if (distance >= n) {
            std::memmove(slide_ + pos, slide_ + from, n);
        } else {
            for (size_t i = 0; i < n; ++i)
                slide_[pos + i] = slide_[from + i];
        }
        pos += n;
        total += n;
        length -= n;
        if (pos == kSlideSize) Flush();
    }
}

} // namespace zip
