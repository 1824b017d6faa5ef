#include "zip/ZipDirectory.h"

#include <memory>
#include <vector>

namespace zip {

bool ReadCentralRecords(gui::TStream*& stream, int count, TSortedZip& list, const TNextVolumeFunc& nextVolume,
                        const std::function<void(TZipHeaderInfo&, int index)>& each) {
    for (int i = 0; i < count; ++i) {
        auto record = std::make_unique<TZipHeaderInfo>();
        if (!record->ReadCentral(stream, nextVolume)) return false;
        TZipHeaderInfo& entry = *record;
        list.Add(record.release());
        if (each) each(entry, i);
    }
    return true;
}

bool ReadCentralToEnd(gui::TStream& stream, TSortedZip& list,
                      const std::function<void(TZipHeaderInfo&, int index)>& each) {
    gui::TStream* in = &stream;
    const int64_t size = stream.Size();
    while (stream.Position() + static_cast<int64_t>(CentralHeaderSize) <= size) {
        uint32_t signature = 0;
        const int64_t at = stream.Position();
        if (stream.Read(&signature, 4) != 4) return false;
        stream.SetPosition(at);
        // An end record after the records closes them.
        if (signature == Signatures().end) break;
        auto record = std::make_unique<TZipHeaderInfo>();
        if (!record->ReadCentral(in)) return false;
        TZipHeaderInfo& entry = *record;
        list.Add(record.release());
        if (each) each(entry, list.Count() - 1);
    }
    return true;
}

namespace {

// The position of the first local signature at or after `from` whose version-needed high
// byte is at most 9; -1 when there is none.
int64_t FindFirstLocal(gui::TStream& stream, int64_t from, const std::function<void()>& tick) {
    const uint8_t* sig = Signatures().localBytes;
    std::vector<uint8_t> buffer(10240 + 5);
    int64_t at = from;
    const int64_t size = stream.Size();
    while (at + 6 <= size) {
        if (tick) tick();
        stream.SetPosition(at);
        const size_t got = stream.Read(buffer.data(), buffer.size());
        if (got < 6) break;
        for (size_t i = 0; i + 6 <= got; ++i)
            if (buffer[i] == sig[0] && buffer[i + 1] == sig[1] && buffer[i + 2] == sig[2] &&
                buffer[i + 3] == sig[3] && buffer[i + 5] <= 9)
                return at + static_cast<int64_t>(i);
        at += static_cast<int64_t>(got - 5);
    }
    return -1;
}

} // namespace

int WalkLocalHeaders(gui::TStream& stream, int64_t start, TSortedZip& list, TEndCentral& end,
                     const std::function<void()>& tick) {
    int64_t at = FindFirstLocal(stream, start, tick);
    int found = 0;
    const int64_t size = stream.Size();
    while (at >= 0 && at < size) {
        stream.SetPosition(at);
        auto record = std::make_unique<TZipHeaderInfo>();
        if (!record->ReadLocal(stream)) break;
        int64_t next = stream.Position() + record->LocalExtraLength + record->CompressedSize;
        if (record->HasDataDescriptor()) next += 16;
        if (next > size) break;
        record->RelativeOffset = static_cast<uint32_t>(at);
        list.Add(record.release());
        ++found;
        at = next;
    }
    end.Clear();
    end.CentralOffset = static_cast<uint32_t>(at < 0 ? 0 : at);
    end.TotalEntries = static_cast<uint16_t>(found);
    end.EntriesOnDisk = end.TotalEntries;
    return found;
}

} // namespace zip
