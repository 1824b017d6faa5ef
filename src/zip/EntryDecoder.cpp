// Entry decoding driver; see EntryDecoder.h.
#include "zip/EntryDecoder.h"

#include "zip/Crc32.h"
#include "zip/ZipCodecErrors.h"
#include "zip/ZipLib.h"

#include <cstring>

namespace zip {

namespace {
const char* const kUserAborted = "User Aborted Operation";
const char* const kPrematureEnd = "Premature end of file reached";
const char* const kTooLarge = "File is larger than uncompressed size!";
} // namespace

bool IsKnownMethod(uint16_t method) {
    return method == 0 || (method >= 2 && method <= 6) || method == 8;
}

void TEntryDecoder::ReadArchive(uint8_t* buffer, size_t count) {
    size_t got = source_->archive->Read(buffer, count);
    while (got < count) {
        if (!source_->spanned) throw EFatalUnzipError(kPrematureEnd);
        gui::TStream* next = events_.GetNextDisk(source_->volume + 2);
        if (next == nullptr) throw EUserCanceled(kUserAborted);
        ++source_->volume;
        source_->archive = next;
        const size_t more = next->Read(buffer + got, count - got);
        if (more == 0) throw EFatalUnzipError(kPrematureEnd); // an empty volume would never end the loop
        got += more;
    }
}

uint8_t TEntryDecoder::ReadEncryptionHeader(TDecodeSource& source, TZipCrypt& crypt,
                                            std::string_view password) {
    source_ = &source;
    uint8_t header[kEncryptionHeaderSize];
    if (source.entry->CompressedSize < kEncryptionHeaderSize) throw EFatalUnzipError(kPrematureEnd);
    ReadArchive(header, kEncryptionHeaderSize);
    source.entry->CompressedSize -= kEncryptionHeaderSize;
    return crypt.DecryptHeader(password, header);
}

std::span<const uint8_t> TEntryDecoder::FillInput() {
    TZipHeaderInfo& entry = *source_->entry;
    if (entry.CompressedSize == 0) return {};
    if (source_->doProcessMessages) {
        events_.ProcessMessages();
        if (events_.TakeCancel()) throw EUserCanceled(kUserAborted);
    }
    const size_t piece = entry.CompressedSize < kInputPieceSize ? entry.CompressedSize : kInputPieceSize;
    entry.CompressedSize -= static_cast<uint32_t>(piece);
    ReadArchive(buffers_.input, piece);
    if (source_->crypt != nullptr) source_->crypt->DecryptBuffer(buffers_.input, piece);
    return {buffers_.input, piece};
}

void TEntryDecoder::ToMemory(const uint8_t* data, size_t count) {
    TDecodeTarget& target = *target_;
    const size_t pieceSize = target.pieceSize != 0 ? target.pieceSize : SIZE_MAX;
    const bool lastBytes = written_ + count >= source_->entry->UncompressedSize;
    while (count != 0) {
        size_t n = pieceSize - pieceUsed_;
        if (n > count) n = count;
        std::memcpy(target.buffer + pieceUsed_, data, n);
        pieceUsed_ += n;
        data += n;
        count -= n;
        if (pieceUsed_ == pieceSize || (count == 0 && lastBytes)) {
            bool quit = false;
            events_.GetNextBuffer(target.buffer, target.name, pieceUsed_, pieceNumber_, quit);
            if (quit && (count != 0 || !lastBytes))
                throw EUserCanceled("User canceled Buffered Memory UnZip");
            ++pieceNumber_;
            pieceUsed_ = 0;
        }
    }
}

void TEntryDecoder::FlushOutput(const uint8_t* data, size_t count) {
    if (count == 0) return;
    TDecodeTarget& target = *target_;
    const TZipHeaderInfo& entry = *source_->entry;
    // Every target is limited by this entry's bytes so far, not by a stream's position or a
    // test's fixed allowance: either would let a stream that decodes too long pass.
    if (written_ + count > entry.UncompressedSize) throw EBiggerThanUncompressed(kTooLarge);
    switch (target.kind) {
    case TOutputKind::Stream:
        if (target.stream->Write(data, count) != count) throw ECantWriteUCF("Cant write uncompressed file");
        break;
    case TOutputKind::Memory:
        if (count > target.bytesFree) throw EBiggerThanUncompressed(kTooLarge);
        ToMemory(data, count);
        target.bytesFree -= count;
        break;
    case TOutputKind::Testing:
        break;
    }
    crc_ = Crc32Update(crc_, data, count);
    written_ += count;
    events_.FilePercentDone(Percent(static_cast<int64_t>(written_), entry.UncompressedSize));
    progress_.bytesDone += count;
    events_.TotalPercentDone(
        PercentF(static_cast<double>(progress_.bytesDone), static_cast<double>(progress_.totalBytes)));
}

TDecodeStatus TEntryDecoder::Unstore() {
    for (;;) {
        const std::span<const uint8_t> piece = FillInput();
        if (piece.empty()) return TDecodeStatus::Ok;
        FlushOutput(piece.data(), piece.size());
    }
}

TEntryDecodeResult TEntryDecoder::Decode(TDecodeSource& source, TDecodeTarget& target) {
    source_ = &source;
    target_ = &target;
    crc_ = kCrc32Start;
    written_ = 0;
    pieceUsed_ = 0;
    pieceNumber_ = 1;
    if (target.kind == TOutputKind::Testing) target.bytesFree = source.entry->UncompressedSize;

    TEntryDecodeResult result;
    const uint16_t method = source.entry->CompressionMethod;
    const uint32_t size = source.entry->UncompressedSize;
    uint64_t produced = 0;
    if (method == 0) {
        result.status = Unstore();
    } else if (method >= 2 && method <= 5) {
        result.status = Unreduce(*this, buffers_.slide, buffers_.unreduce, method - 1u, size, produced);
    } else if (method == 6) {
        result.status = Explode(*this, buffers_.slide, buffers_.explode, source.entry->GeneralPurposeFlag,
                                size, produced);
    } else if (method == 8) {
        result.status = Inflate(*this, buffers_.slide, buffers_.inflate, produced);
    } else {
        result.methodKnown = false;
    }
    result.crc32 = ~crc_;
    result.bytesWritten = written_;
    return result;
}

} // namespace zip
