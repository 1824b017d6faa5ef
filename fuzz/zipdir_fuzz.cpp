// Archives of any bytes: the end record is searched, the central directory read entry by
// entry (once in one piece and once split across two "volumes" at a point the input picks),
// each local header read where its entry says, and every entry read is written again and
// must read back the same.
#include "zip/ZipObj.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

std::unique_ptr<gui::TMemoryStream> StreamOf(const uint8_t* data, size_t size) {
    auto stream = std::make_unique<gui::TMemoryStream>();
    if (size) stream->WriteBuffer(data, size);
    stream->SetPosition(0);
    return stream;
}

void CheckRewrite(const zip::TZipHeaderInfo& entry) {
    gui::TMemoryStream out;
    entry.WriteCentral(out);
    out.SetPosition(0);
    gui::TStream* at = &out;
    zip::TZipHeaderInfo again;
    if (!again.ReadCentral(at) || again.Directory() != entry.Directory() ||
        again.Filename() != entry.Filename() || again.Crc32 != entry.Crc32 ||
        again.LastModFileDateTime != entry.LastModFileDateTime ||
        again.RelativeOffset != entry.RelativeOffset)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zip::ScopedNameFlags flags(false, false);
    auto archive = StreamOf(data, size);
    zip::TEndCentral end;
    if (!end.FindEndCentral(*archive)) return 0;
    if (end.CommentPosition > archive->Size()) __builtin_trap();

    // The directory split at a point chosen by the first byte: the second half is the next volume.
    const size_t split = size ? end.CentralOffset + data[0] : 0;
    std::unique_ptr<gui::TMemoryStream> first, second;
    if (split < size) {
        first = StreamOf(data, split);
        second = StreamOf(data + split, size - split);
    }

    archive->SetPosition(end.CentralOffset);
    gui::TStream* at = archive.get();
    for (int i = 0; i < end.TotalEntries; ++i) {
        zip::TZipHeaderInfo entry;
        const int64_t before = at->Position();
        if (!entry.ReadCentral(at)) {
            if (at->Position() != before) __builtin_trap();
            break;
        }
        CheckRewrite(entry);
        const int64_t next = at->Position();
        at->SetPosition(entry.RelativeOffset);
        zip::TZipHeaderInfo local;
        if (local.ReadLocal(*at) && local.RelativeOffset != entry.RelativeOffset) __builtin_trap();
        at->SetPosition(next);
    }

    if (first) {
        first->SetPosition(end.CentralOffset < split ? end.CentralOffset : split);
        gui::TStream* volume = first.get();
        bool handedOver = false;
        for (int i = 0; i < end.TotalEntries; ++i) {
            zip::TZipHeaderInfo entry;
            const bool read = entry.ReadCentral(volume, [&]() -> gui::TStream* {
                if (handedOver) return nullptr;
                handedOver = true;
                return second.get();
            });
            if (!read) break;
        }
    }
    return 0;
}
