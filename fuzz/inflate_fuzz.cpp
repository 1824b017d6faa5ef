// Inflate against zlib's raw inflate on any bytes: both finish with the same output, or both
// fail. Byte 0 picks the size of the input pieces (0 = one piece); the output is capped so a
// stream of long matches cannot run for ever. The tables and window live across inputs, as
// they live across the entries of one zip run.
#include "zip/Inflate.h"

#include "PieceIo.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr size_t kOutputCap = 4 << 20;

using fuzzsupport::TCapReached;

// Every flush stays within the window; the output is capped.
class TFuzzIo : public fuzzsupport::TPieceIo {
  public:
    TFuzzIo(const uint8_t* data, size_t size, size_t piece) : TPieceIo(data, size, piece, kOutputCap) {}
    void FlushOutput(const uint8_t* data, size_t count) override {
        if (count > zip::kSlideSize) __builtin_trap();
        TPieceIo::FlushOutput(data, count);
    }
};

// zlib's verdict: true when the stream ends properly within the cap.
bool ZlibInflate(const uint8_t* data, size_t size, std::vector<uint8_t>& output, bool& capped) {
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(data);
    z.avail_in = static_cast<uInt>(size);
    std::vector<uint8_t> buffer(65536);
    int code = Z_OK;
    capped = false;
    for (;;) {
        z.next_out = buffer.data();
        z.avail_out = static_cast<uInt>(buffer.size());
        code = inflate(&z, Z_NO_FLUSH);
        output.insert(output.end(), buffer.data(), buffer.data() + (buffer.size() - z.avail_out));
        if (code != Z_OK || z.avail_out == buffer.size()) break;
        if (output.size() > kOutputCap) {
            capped = true;
            break;
        }
    }
    inflateEnd(&z);
    return code == Z_STREAM_END;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto tables = std::make_unique<zip::TInflateTables>();
    static auto slide = std::make_unique<uint8_t[]>(zip::kSlideSize);
    if (size == 0) return 0;
    const size_t piece = data[0] * 7u;
    ++data, --size;

    TFuzzIo io(data, size, piece);
    uint64_t produced = 0;
    zip::TDecodeStatus status = zip::TDecodeStatus::BadData;
    bool oursCapped = false;
    try {
        status = zip::Inflate(io, slide.get(), *tables, produced);
        if (produced != io.output.size()) __builtin_trap();
    } catch (const TCapReached&) {
        oursCapped = true;
    }
    std::vector<uint8_t> reference;
    bool zlibCapped = false;
    const bool zlibOk = ZlibInflate(data, size, reference, zlibCapped);
    if (oursCapped || zlibCapped) {
        // Both ran long: the common prefix must agree.
        const size_t n = std::min(io.output.size(), reference.size());
        if (std::memcmp(io.output.data(), reference.data(), n) != 0) __builtin_trap();
        return 0;
    }
    if ((status == zip::TDecodeStatus::Ok) != zlibOk) __builtin_trap();
    if (zlibOk && io.output != reference) __builtin_trap();
    return 0;
}
