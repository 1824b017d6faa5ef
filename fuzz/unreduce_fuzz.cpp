// Unreduce on any bytes: never more output than the entry's size, never a crash, and output
// that does not depend on how the input is cut into pieces. Byte 0 holds the reduction factor and
// a piece size; bytes 1-2 the uncompressed size. The window is shared with the inputs before,
// as with the entries of one zip run, and must never leak into the output.
#include "zip/Unreduce.h"

#include "PieceIo.h"

#include <algorithm>
#include <memory>
#include <vector>

using TFuzzIo = fuzzsupport::TPieceIo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto tables = std::make_unique<zip::TUnreduceTables>();
    static auto slide = std::make_unique<uint8_t[]>(zip::kSlideSize);
    if (size < 3) return 0;
    const unsigned factor = 1 + ((data[0] >> 1) & 3);
    const size_t piece = data[0] >> 3;
    const uint32_t uncompressed = data[1] | (data[2] << 8) | ((data[0] & 1) << 16);
    data += 3, size -= 3;

    std::vector<uint8_t> outputs[2];
    zip::TDecodeStatus statuses[2];
    for (int run = 0; run < 2; ++run) {
        // Dirty the window between the runs: the result must not change.
        std::fill(slide.get(), slide.get() + zip::kSlideSize, static_cast<uint8_t>(0x5A + run));
        TFuzzIo io(data, size, run == 0 ? 0 : piece);
        uint64_t produced = 0;
        statuses[run] = zip::Unreduce(io, slide.get(), *tables, factor, uncompressed, produced);
        if (produced != io.output.size() || produced > uncompressed) __builtin_trap();
        if (statuses[run] == zip::TDecodeStatus::Ok && produced != uncompressed) __builtin_trap();
        outputs[run] = std::move(io.output);
    }
    if (statuses[0] != statuses[1] || outputs[0] != outputs[1]) __builtin_trap();
    return 0;
}
