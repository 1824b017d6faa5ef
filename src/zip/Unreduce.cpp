// Unreduce; see Unreduce.h.
#include "zip/Unreduce.h"

namespace zip {

namespace {
constexpr uint8_t kEscape = 144;
constexpr unsigned kMaxFollowers = 32;

// Bits of an index into a set of n followers: enough for n - 1, at least one.
constexpr unsigned IndexBits(unsigned n) {
    unsigned bits = 1;
    while ((1u << bits) < n)
        ++bits;
    return bits;
}

TDecodeStatus Run(TBitReader& in, TSlideWriter& out, TUnreduceTables& t, unsigned factor, uint32_t size) {
    for (int set = 255; set >= 0; --set) {
        uint32_t count;
        if (!in.Read(6, count)) return TDecodeStatus::InputUsedUp;
        if (count > kMaxFollowers) return TDecodeStatus::BadData;
        t.counts[set] = static_cast<uint8_t>(count);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t byte;
            if (!in.Read(8, byte)) return TDecodeStatus::InputUsedUp;
            t.followers[set][i] = static_cast<uint8_t>(byte);
        }
    }

    const uint32_t lengthMask = 0xFFu >> factor;
    uint8_t last = 0;
    unsigned state = 0;
    uint32_t packed = 0;
    size_t length = 0;
    while (out.total < size) {
        uint32_t value;
        const unsigned followers = t.counts[last];
        if (followers == 0) {
            if (!in.Read(8, value)) return TDecodeStatus::InputUsedUp;
        } else {
            uint32_t literal;
            if (!in.Read(1, literal)) return TDecodeStatus::InputUsedUp;
            if (literal) {
                if (!in.Read(8, value)) return TDecodeStatus::InputUsedUp;
            } else {
                if (!in.Read(IndexBits(followers), value)) return TDecodeStatus::InputUsedUp;
                if (value >= followers) return TDecodeStatus::BadData;
                value = t.followers[last][value];
            }
        }
        last = static_cast<uint8_t>(value);

        switch (state) {
        case 0:
            if (value != kEscape)
                out.Put(static_cast<uint8_t>(value));
            else
                state = 1;
            break;
        case 1:
            if (value == 0) {
                out.Put(kEscape); // an escaped escape
                state = 0;
            } else {
                packed = value;
                length = value & lengthMask;
                state = length == lengthMask ? 2 : 3;
            }
            break;
        case 2:
            length += value;
            state = 3;
            break;
        default: {
            const size_t distance = ((packed >> (8 - factor)) << 8) + value + 1;
            size_t copy = length + 3;
            if (copy > size - out.total) copy = static_cast<size_t>(size - out.total);
            out.Copy(distance, copy);
            state = 0;
        }
        }
    }
    return TDecodeStatus::Ok;
}
} // namespace

TDecodeStatus Unreduce(TDecodeIo& io, uint8_t* slide, TUnreduceTables& tables, unsigned factor,
                       uint32_t uncompressedSize, uint64_t& outputBytes) {
    TBitReader in(io);
    TSlideWriter out(io, slide);
    TDecodeStatus status = TDecodeStatus::BadData;
    if (factor >= 1 && factor <= 4)
        status = uncompressedSize == 0 ? TDecodeStatus::Ok : Run(in, out, tables, factor, uncompressedSize);
    out.Flush();
    outputBytes = out.total;
    return status;
}

} // namespace zip
