// Inflate; see Inflate.h for the shape of the two loops.
#include "zip/Inflate.h"

#include "zip/DecodeTable.h"

namespace zip {

namespace {
constexpr unsigned kLitLenRoot = 10;
constexpr unsigned kDistanceRoot = 8;
constexpr unsigned kCodeLengthRoot = 7;
constexpr size_t kMaxMatch = 258;
// Three whole-word refills per fast iteration at most.
constexpr size_t kFastInputMargin = 3 * sizeof(BitBuffer) + 8;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                        33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct TSymbolEntries {
    uint32_t litLen[288];
    uint32_t distance[32];
    uint32_t codeLength[19];
};

constexpr TSymbolEntries MakeSymbolEntries() {
    TSymbolEntries e{};
    for (uint32_t s = 0; s < 256; ++s)
        e.litLen[s] = MakeEntry(kLiteralEntry, s);
    e.litLen[256] = MakeEntry(kEndEntry, 0);
    for (uint32_t s = 257; s < 286; ++s)
        e.litLen[s] = MakeEntry(kLengthEntry, kLengthBase[s - 257], kLengthExtra[s - 257]);
    e.litLen[286] = e.litLen[287] = MakeEntry(kInvalidEntry, 0);
    for (uint32_t s = 0; s < 30; ++s)
        e.distance[s] = MakeEntry(kLengthEntry, kDistanceBase[s], kDistanceExtra[s]);
    e.distance[30] = e.distance[31] = MakeEntry(kInvalidEntry, 0);
    for (uint32_t s = 0; s < 19; ++s)
        e.codeLength[s] = MakeEntry(kLiteralEntry, s);
    return e;
}
constexpr TSymbolEntries kSymbols = MakeSymbolEntries();

constexpr TCodeShape kLitLenShape{kLitLenRoot, 15, TIncompleteCodes::SingleOrEmpty, false};
constexpr TCodeShape kDistanceShape{kDistanceRoot, 15, TIncompleteCodes::SingleOrEmpty, false};
constexpr TCodeShape kCodeLengthShape{kCodeLengthRoot, 7, TIncompleteCodes::Refuse, false};

inline BitBuffer LowBits(unsigned n) {
    return (BitBuffer(1) << n) - 1;
}

class TInflater {
  public:
    TInflater(TDecodeIo& io, uint8_t* slide, TInflateTables& tables) : in_(io), out_(io, slide), t_(tables) {}

    TDecodeStatus Run(uint64_t& outputBytes) {
        TDecodeStatus status = TDecodeStatus::Ok;
        for (bool final = false; !final && status == TDecodeStatus::Ok;) {
            uint32_t header;
            if (!in_.Read(3, header)) {
                status = TDecodeStatus::InputUsedUp;
                break;
            }
            final = (header & 1) != 0;
            switch (header >> 1) {
            case 0:
                status = Stored();
                break;
            case 1:
                BuildFixed();
                status = Codes(t_.fixedLitLen, t_.fixedDistance);
                break;
            case 2:
                status = ReadDynamicTables();
                if (status == TDecodeStatus::Ok) status = Codes(t_.litLen, t_.distance);
                break;
            default:
                status = TDecodeStatus::BadData;
            }
        }
        out_.Flush();
        outputBytes = out_.total;
        return status;
    }

  private:
    void BuildFixed() {
        if (t_.fixedBuilt) return;
        uint8_t lengths[288];
        for (unsigned s = 0; s < 288; ++s)
            lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        BuildDecodeTable(lengths, 288, kSymbols.litLen, kLitLenShape, t_.fixedLitLen,
                         TInflateTables::kLitLenCapacity);
        uint8_t distances[32];
        for (auto& d : distances)
            d = 5;
        BuildDecodeTable(distances, 32, kSymbols.distance, kDistanceShape, t_.fixedDistance,
                         TInflateTables::kDistanceCapacity);
        t_.fixedBuilt = true;
    }

    TDecodeStatus Stored() {
        in_.AlignToByte();
        uint32_t length, complement;
        if (!in_.Read(16, length) || !in_.Read(16, complement)) return TDecodeStatus::InputUsedUp;
        if (length != (~complement & 0xFFFF)) return TDecodeStatus::BadData;
        // Bytes already in the bit buffer come first.
        while (length != 0 && in_.count >= 8) {
            out_.Put(static_cast<uint8_t>(in_.Peek(8)));
            in_.Drop(8);
            --length;
        }
        if (length == 0) return TDecodeStatus::Ok;
        in_.ClearIfEmpty();
        uint8_t* slide = out_.Slide();
        while (length != 0) {
            if (!in_.HasByte()) return TDecodeStatus::InputUsedUp;
            size_t n = in_.BytesLeftInPiece();
            if (n > length) n = length;
            if (n > kSlideSize - out_.pos) n = kSlideSize - out_.pos;
            std::memcpy(slide + out_.pos, in_.next, n);
            in_.next += n;
            out_.pos += n;
            out_.total += n;
            length -= static_cast<uint32_t>(n);
            if (out_.pos == kSlideSize) out_.Flush();
        }
        return TDecodeStatus::Ok;
    }

    TDecodeStatus ReadDynamicTables() {
        uint32_t litLenCount, distanceCount, codeLengthCount;
        if (!in_.Read(5, litLenCount) || !in_.Read(5, distanceCount) || !in_.Read(4, codeLengthCount))
            return TDecodeStatus::InputUsedUp;
        litLenCount += 257;
        distanceCount += 1;
        codeLengthCount += 4;
        if (litLenCount > 286 || distanceCount > 30) return TDecodeStatus::BadData;

        uint8_t codeLengths[19] = {};
        for (uint32_t i = 0; i < codeLengthCount; ++i) {
            uint32_t length;
            if (!in_.Read(3, length)) return TDecodeStatus::InputUsedUp;
            codeLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(length);
        }
        if (!BuildDecodeTable(codeLengths, 19, kSymbols.codeLength, kCodeLengthShape, t_.codeLengths, 128))
            return TDecodeStatus::BadData;

        uint8_t lengths[286 + 30];
        const uint32_t total = litLenCount + distanceCount;
        for (uint32_t i = 0; i < total;) {
            uint32_t e;
            if (!DecodeSymbol(in_, t_.codeLengths, kCodeLengthRoot, e)) return TDecodeStatus::InputUsedUp;
            const uint32_t symbol = EntryValue(e);
            if (symbol < 16) {
                lengths[i++] = static_cast<uint8_t>(symbol);
                continue;
            }
            uint8_t value = 0;
            uint32_t repeat;
            bool ok;
            if (symbol == 16) {
                if (i == 0) return TDecodeStatus::BadData;
                value = lengths[i - 1];
                ok = in_.Read(2, repeat);
                repeat += 3;
            } else if (symbol == 17) {
                ok = in_.Read(3, repeat);
                repeat += 3;
            } else {
                ok = in_.Read(7, repeat);
                repeat += 11;
            }
            if (!ok) return TDecodeStatus::InputUsedUp;
            if (i + repeat > total) return TDecodeStatus::BadData;
            while (repeat-- != 0)
                lengths[i++] = value;
        }
        if (lengths[256] == 0) return TDecodeStatus::BadData; // a block that cannot end
        if (!BuildDecodeTable(lengths, litLenCount, kSymbols.litLen, kLitLenShape, t_.litLen,
                              TInflateTables::kLitLenCapacity) ||
            !BuildDecodeTable(lengths + litLenCount, distanceCount, kSymbols.distance, kDistanceShape,
                              t_.distance, TInflateTables::kDistanceCapacity))
            return TDecodeStatus::BadData;
        return TDecodeStatus::Ok;
    }

    // Decodes the symbols of one block up to its end code.
    TDecodeStatus Codes(const uint32_t* litLen, const uint32_t* distance) {
        for (;;) {
            if (in_.BytesLeftInPiece() >= kFastInputMargin && kSlideSize - out_.pos > kMaxMatch) {
                const TDecodeStatus status = FastLoop(litLen, distance);
                if (status != TDecodeStatus::Ok) return status;
                if (fastEndOfBlock_) {
                    fastEndOfBlock_ = false;
                    return TDecodeStatus::Ok;
                }
            }
            uint32_t e;
            if (!DecodeSymbol(in_, litLen, kLitLenRoot, e)) return TDecodeStatus::InputUsedUp;
            switch (EntryKind(e)) {
            case kLiteralEntry:
                out_.Put(static_cast<uint8_t>(EntryValue(e)));
                continue;
            case kEndEntry:
                return TDecodeStatus::Ok;
            case kLengthEntry:
                break;
            default:
                return TDecodeStatus::BadData;
            }
            uint32_t extra;
            if (!in_.Read(EntryExtra(e), extra)) return TDecodeStatus::InputUsedUp;
            const uint32_t length = EntryValue(e) + extra;
            if (!DecodeSymbol(in_, distance, kDistanceRoot, e)) return TDecodeStatus::InputUsedUp;
            if (EntryKind(e) != kLengthEntry) return TDecodeStatus::BadData;
            if (!in_.Read(EntryExtra(e), extra)) return TDecodeStatus::InputUsedUp;
            const uint32_t dist = EntryValue(e) + extra;
            if (dist > out_.total) return TDecodeStatus::BadData; // before the start of the output
            out_.Copy(dist, length);
        }
    }

    // Runs while the piece has kFastInputMargin bytes and the window room for a whole match.
    TDecodeStatus FastLoop(const uint32_t* litLen, const uint32_t* distance) {
        uint8_t* const slide = out_.Slide();
        BitBuffer bits = in_.bits;
        unsigned count = in_.count;
        const uint8_t* next = in_.next;
        const uint8_t* const inputLimit = in_.end - kFastInputMargin;
        size_t pos = out_.pos;
        uint64_t total = out_.total;
        TDecodeStatus status = TDecodeStatus::Ok;

        auto refill = [&] {
            BitBuffer word;
            std::memcpy(&word, next, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
            word = sizeof word == 8 ? __builtin_bswap64(word) : __builtin_bswap32(word);
#endif
            bits |= word << count;
            next += (kBitBufferBits - 1 - count) >> 3;
            count |= kBitBufferBits - 8;
        };
        auto lookup = [&](const uint32_t* table, unsigned root) {
            uint32_t e = table[bits & LowBits(root)];
            if (EntryKind(e) == kSubtableEntry) {
                bits >>= root;
                count -= root;
                e = table[EntryValue(e) + (bits & LowBits(EntryExtra(e)))];
            }
            bits >>= EntryBits(e);
            count -= EntryBits(e);
            return e;
        };

        while (next <= inputLimit && pos < kSlideSize - kMaxMatch) {
            refill();
            uint32_t e = lookup(litLen, kLitLenRoot);
            uint32_t kind = EntryKind(e);
            if (kind == kLiteralEntry) {
                slide[pos++] = static_cast<uint8_t>(EntryValue(e));
                ++total;
                if constexpr (kBitBufferBits >= 64) {
                    // Room for a second code without another refill.
                    e = lookup(litLen, kLitLenRoot);
                    kind = EntryKind(e);
                    if (kind == kLiteralEntry) {
                        slide[pos++] = static_cast<uint8_t>(EntryValue(e));
                        ++total;
                        continue;
                    }
                } else {
                    continue;
                }
            }
            if (kind != kLengthEntry) {
                if (kind == kEndEntry)
                    fastEndOfBlock_ = true;
                else
                    status = TDecodeStatus::BadData;
                break;
            }
            if constexpr (kBitBufferBits < 64)
                refill();
            else if (count < 48)
                refill();
            const size_t length = EntryValue(e) + (bits & LowBits(EntryExtra(e)));
            bits >>= EntryExtra(e);
            count -= EntryExtra(e);
            e = lookup(distance, kDistanceRoot);
            if (EntryKind(e) != kLengthEntry) {
                status = TDecodeStatus::BadData;
                break;
            }
            if constexpr (kBitBufferBits < 64) refill();
            const size_t dist = EntryValue(e) + (bits & LowBits(EntryExtra(e)));
            bits >>= EntryExtra(e);
            count -= EntryExtra(e);
            if (dist > total) {
                status = TDecodeStatus::BadData;
                break;
            }
            if (dist > pos) {
                // The source wraps round the window: the careful copy.
                out_.pos = pos;
                out_.total = total;
                out_.Copy(dist, length);
                pos = out_.pos;
                total = out_.total;
                continue;
            }
            uint8_t* dst = slide + pos;
            const uint8_t* src = dst - dist;
            uint8_t* const stop = dst + length;
            if (dist >= 8 && length >= 8) {
                // Exact word copies: bytes past the match still hold live dictionary data.
                // A last, overlapping word covers the tail; its source is final because
                // dist >= 8.
                size_t left = length;
                do {
                    std::memcpy(dst, src, 8);
                    dst += 8;
                    src += 8;
                    left -= 8;
                } while (left >= 8);
                if (left != 0) std::memcpy(stop - 8, stop - 8 - dist, 8);
            } else if (dist == 1) {
                std::memset(dst, *src, length);
            } else {
                while (dst < stop)
                    *dst++ = *src++;
            }
            pos += length;
            total += length;
        }
        in_.bits = bits;
        in_.count = count;
        in_.next = next;
        out_.pos = pos;
        out_.total = total;
        // A literal and a longest match can end exactly at the window's end.
        if (pos == kSlideSize) out_.Flush();
        return status;
    }

    TBitReader in_;
    TSlideWriter out_;
    TInflateTables& t_;
    bool fastEndOfBlock_ = false;
};
} // namespace

TDecodeStatus Inflate(TDecodeIo& io, uint8_t* slide, TInflateTables& tables, uint64_t& outputBytes) {
    TInflater inflater(io, slide, tables);
    return inflater.Run(outputBytes);
}

} // namespace zip
