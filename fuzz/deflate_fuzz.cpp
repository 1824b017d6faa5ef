// Round trip of the deflate compressor through zlib's raw inflate and our own, at every level.
//
// Byte 0 picks the level; byte 1 the largest piece ReadInput hands over (0 = as asked) and,
// with its top bit, a stretched input: the rest repeated with small changes past 200 KB so
// that the window slides and blocks end on their own. The buffers live across inputs, as they
// live across the entries of one zip run.
#include "zip/Deflate.h"
#include "zip/Inflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

namespace {

class FuzzStream : public zip::DeflateStream {
  public:
    FuzzStream(const std::vector<uint8_t>& input, uint32_t maxPiece) : input_(input), maxPiece_(maxPiece) {}

    uint32_t ReadInput(uint8_t* buffer, uint32_t size) override {
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(size, input_.size() - offset_));
        if (maxPiece_ != 0) n = std::min(n, maxPiece_);
        if (n != 0) std::memcpy(buffer, input_.data() + offset_, n);
        offset_ += n;
        return n;
    }
    void WriteOutput(const uint8_t* buffer, uint32_t size) override {
        if (size > 1024) Fail("output piece over 1 KiB");
        output.insert(output.end(), buffer, buffer + size);
    }

    static void Fail(const char* what) {
        std::fprintf(stderr, "deflate round trip: %s\n", what);
        std::abort();
    }

    std::vector<uint8_t> output;

  private:
    const std::vector<uint8_t>& input_;
    const uint32_t maxPiece_;
    size_t offset_ = 0;
};

// Our inflate must read back exactly what zlib does.
class InflateCheck : public zip::TDecodeIo {
  public:
    InflateCheck(const std::vector<uint8_t>& compressed, const std::vector<uint8_t>& expected)
        : compressed_(compressed), expected_(expected) {}
    std::span<const uint8_t> FillInput() override {
        const std::span<const uint8_t> piece(compressed_.data() + offset_, compressed_.size() - offset_);
        offset_ = compressed_.size();
        return piece;
    }
    void FlushOutput(const uint8_t* data, size_t count) override {
        if (produced_ + count > expected_.size() ||
            std::memcmp(expected_.data() + produced_, data, count) != 0)
            FuzzStream::Fail("our inflate differs");
        produced_ += count;
    }
    void Run() {
        static std::vector<uint8_t> slide(zip::kSlideSize);
        static const auto tables = std::make_unique<zip::TInflateTables>();
        uint64_t total = 0;
        if (zip::Inflate(*this, slide.data(), *tables, total) != zip::TDecodeStatus::Ok ||
            produced_ != expected_.size())
            FuzzStream::Fail("our inflate rejects the stream");
    }

  private:
    const std::vector<uint8_t>& compressed_;
    const std::vector<uint8_t>& expected_;
    size_t offset_ = 0;
    size_t produced_ = 0;
};

std::vector<uint8_t> Stretch(const uint8_t* data, size_t size) {
    std::vector<uint8_t> input;
    if (size == 0) return input;
    for (uint8_t round = 0; input.size() < 200000; ++round) {
        const size_t start = input.size();
        input.insert(input.end(), data, data + size);
        input[start + round % size] ^= round; // keep repeats from being exact
    }
    return input;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto buffers = std::make_unique<zip::DeflateBuffers>();
    if (size < 2) return 0;
    const int level = 1 + data[0] % 9;
    const uint32_t maxPiece = (data[1] & 0x7F) * 97u;
    const std::vector<uint8_t> input =
        (data[1] & 0x80) ? Stretch(data + 2, size - 2) : std::vector<uint8_t>(data + 2, data + size);

    FuzzStream stream(input, maxPiece);
    zip::DeflateEntryInfo entry;
    const uint32_t answered = zip::DeflateEntry(stream, *buffers, level, entry);
    if (answered != stream.output.size() || entry.bytesConsumed != input.size())
        FuzzStream::Fail("counts differ");
    if (entry.compressionMethod == 0) {
        if (stream.output != input) FuzzStream::Fail("stored entry differs");
        return 0;
    }
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) FuzzStream::Fail("zlib init");
    std::vector<uint8_t> restored(input.size() + 1);
    z.next_in = stream.output.data();
    z.avail_in = static_cast<uInt>(stream.output.size());
    z.next_out = restored.data();
    z.avail_out = static_cast<uInt>(restored.size());
    const int status = inflate(&z, Z_FINISH);
    const size_t produced = z.total_out;
    const bool allUsed = z.avail_in == 0;
    inflateEnd(&z);
    if (status != Z_STREAM_END || !allUsed) FuzzStream::Fail("zlib rejects the stream");
    if (produced != input.size() || !std::equal(input.begin(), input.end(), restored.begin()))
        FuzzStream::Fail("inflated bytes differ");
    InflateCheck(stream.output, input).Run();
    return 0;
}
