// Explode; see Explode.h.
#include "zip/Explode.h"

#include "zip/DecodeTable.h"

namespace zip {

namespace {
constexpr unsigned kRootBits = 9;
constexpr TCodeShape kShape{kRootBits, 16, TIncompleteCodes::Refuse, true};

struct TSymbolValues {
    uint32_t entries[256];
};
constexpr TSymbolValues MakeSymbolValues() {
    TSymbolValues v{};
    for (uint32_t s = 0; s < 256; ++s)
        v.entries[s] = MakeEntry(kLiteralEntry, s);
    return v;
}
constexpr TSymbolValues kSymbols = MakeSymbolValues();

// A stored table: a byte with the number of bytes that follow less one, then bytes whose
// high nibble is a repeat count less one and low nibble a code length less one.
TDecodeStatus ReadTable(TBitReader& in, unsigned symbols, uint32_t* table) {
    uint32_t bytes;
    if (!in.Read(8, bytes)) return TDecodeStatus::InputUsedUp;
    uint8_t lengths[256];
    unsigned filled = 0;
    for (uint32_t i = 0; i <= bytes; ++i) {
        uint32_t pair;
        if (!in.Read(8, pair)) return TDecodeStatus::InputUsedUp;
        const unsigned count = (pair >> 4) + 1;
        if (filled + count > symbols) return TDecodeStatus::BadData;
        for (unsigned k = 0; k < count; ++k)
            lengths[filled++] = static_cast<uint8_t>((pair & 0xF) + 1);
    }
    if (filled != symbols ||
        !BuildDecodeTable(lengths, symbols, kSymbols.entries, kShape, table, TExplodeTables::kCapacity))
        return TDecodeStatus::BadData;
    return TDecodeStatus::Ok;
}

TDecodeStatus Run(TBitReader& in, TSlideWriter& out, TExplodeTables& t, uint16_t flags, uint32_t size) {
    const bool literalTable = (flags & 4) != 0;
    const unsigned lowBits = (flags & 2) ? 7 : 6;
    const unsigned minimumMatch = literalTable ? 3 : 2;
    TDecodeStatus status = TDecodeStatus::Ok;
    if ((literalTable && (status = ReadTable(in, 256, t.literal)) != TDecodeStatus::Ok) ||
        (status = ReadTable(in, 64, t.length)) != TDecodeStatus::Ok ||
        (status = ReadTable(in, 64, t.distance)) != TDecodeStatus::Ok)
        return status;

    while (out.total < size) {
        uint32_t flag, value;
        if (!in.Read(1, flag)) return TDecodeStatus::InputUsedUp;
        if (flag) {
            uint32_t e;
            if (literalTable ? !DecodeSymbol(in, t.literal, kRootBits, e) : !in.Read(8, value))
                return TDecodeStatus::InputUsedUp;
            out.Put(static_cast<uint8_t>(literalTable ? EntryValue(e) : value));
            continue;
        }
        uint32_t low, e;
        if (!in.Read(lowBits, low) || !DecodeSymbol(in, t.distance, kRootBits, e))
            return TDecodeStatus::InputUsedUp;
        const size_t distance = ((EntryValue(e) << lowBits) | low) + 1;
        if (!DecodeSymbol(in, t.length, kRootBits, e)) return TDecodeStatus::InputUsedUp;
        size_t length = EntryValue(e);
        if (length == 63) {
            if (!in.Read(8, value)) return TDecodeStatus::InputUsedUp;
            length += value;
        }
        length += minimumMatch;
        if (length > size - out.total) length = static_cast<size_t>(size - out.total);
        out.Copy(distance, length);
    }
    return TDecodeStatus::Ok;
}
} // namespace

TDecodeStatus Explode(TDecodeIo& io, uint8_t* slide, TExplodeTables& tables, uint16_t generalPurposeFlag,
                      uint32_t uncompressedSize, uint64_t& outputBytes) {
    TBitReader in(io);
    TSlideWriter out(io, slide);
    // An empty entry needs no tables: there may be no data at all.
    const TDecodeStatus status = uncompressedSize == 0
                                     ? TDecodeStatus::Ok
                                     : Run(in, out, tables, generalPurposeFlag, uncompressedSize);
    out.Flush();
    outputBytes = out.total;
    return status;
}

} // namespace zip
