#include "DecodeSupport.h"
#include "gui/Stream.h"
#include "zip/Crc32.h"
#include "zip/EntryDecoder.h"
#include "zip/ZipCodecErrors.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

using codectest::Bytes;

class TRecordingEvents : public zip::TEntryDecodeEvents {
  public:
    void ProcessMessages() override { ++pumps; }
    bool TakeCancel() override { return pumps == cancelAtPump; }
    gui::TStream* GetNextDisk(int volumeNumber) override {
        askedVolumes.push_back(volumeNumber);
        const size_t index = static_cast<size_t>(volumeNumber - 1);
        return index < volumes.size() && index < volumesOffered ? volumes[index].get() : nullptr;
    }
    void FilePercentDone(int percent) override { filePercents.push_back(percent); }
    void TotalPercentDone(int percent) override { totalPercents.push_back(percent); }
    void GetNextBuffer(uint8_t*& buffer, const std::string& name, size_t amountUsed, int bufferNumber,
                       bool& quit) override {
        memoryPieces.emplace_back(buffer, buffer + amountUsed);
        bufferNumbers.push_back(bufferNumber);
        quit = bufferNumber == quitAtBuffer;
    }

    int pumps = 0;
    int cancelAtPump = -1;
    int quitAtBuffer = -1;
    size_t volumesOffered = SIZE_MAX;
    std::vector<std::unique_ptr<gui::TMemoryStream>> volumes;
    std::vector<int> askedVolumes, filePercents, totalPercents, bufferNumbers;
    std::vector<Bytes> memoryPieces;
};

std::unique_ptr<gui::TMemoryStream> StreamOf(std::span<const uint8_t> bytes) {
    auto stream = std::make_unique<gui::TMemoryStream>();
    stream->Write(bytes.data(), bytes.size());
    stream->SetPosition(0);
    return stream;
}

zip::TZipHeaderInfo RecordOf(uint16_t method, uint16_t flags, uint32_t crc, size_t compressed, size_t size) {
    zip::TZipHeaderInfo entry;
    entry.CompressionMethod = method;
    entry.GeneralPurposeFlag = flags;
    entry.Crc32 = crc;
    entry.CompressedSize = static_cast<uint32_t>(compressed);
    entry.UncompressedSize = static_cast<uint32_t>(size);
    return entry;
}

zip::TDecodeBuffers& Buffers() {
    static auto buffers = std::make_unique<zip::TDecodeBuffers>();
    return *buffers;
}

struct TDecodeRun {
    zip::TEntryDecodeResult result;
    Bytes output;
};

// Decodes `data` for `entry` into a memory stream; `cuts` split the data into volumes.
TDecodeRun DecodeInto(zip::TZipHeaderInfo entry, std::span<const uint8_t> data, TRecordingEvents& events,
                      std::vector<size_t> cuts = {}, zip::TOutputKind kind = zip::TOutputKind::Stream) {
    cuts.push_back(data.size());
    size_t from = 0;
    for (size_t cut : cuts) {
        events.volumes.push_back(StreamOf(data.subspan(from, cut - from)));
        from = cut;
    }
    zip::TRunProgress progress{0, entry.UncompressedSize};
    zip::TEntryDecoder decoder(Buffers(), events, progress);
    zip::TDecodeSource source{&entry, events.volumes[0].get(), 0, cuts.size() > 1, nullptr, true};
    gui::TMemoryStream output;
    zip::TDecodeTarget target;
    target.kind = kind;
    target.stream = &output;
    TDecodeRun run{decoder.Decode(source, target), {}};
    run.output.assign(output.Memory(), output.Memory() + output.Size());
    return run;
}

TEST(EntryDecoder, LegacyEntriesOfEveryMethodDecodeToTheirStoredCopies) {
    TW_LEGACY_FOLDER_OR_SKIP(folder);
    const Bytes stored = codectest::ReadFile(folder + "/Zip.none.zip");
    // The stored copies by size: the names differ in case and code page between the tools.
    std::map<uint32_t, Bytes> copies;
    for (const auto& e : codectest::ReadArchive(stored))
        copies[e.record.UncompressedSize] = e.data;
    std::map<uint16_t, int> methodsSeen;
    int comparedWithCopy = 0;
    for (const char* name : {"Zip.reduce1.zip", "Zip.reduce2.zip", "Zip.reduce3.zip", "Zip.reduce4.zip",
                             "Zip.implode.zip", "Zip.shrink.zip", "HWIMPODE.ZIP", "HWREDUCE.ZIP",
                             "HWSHRINK.ZIP", "example-i.zip", "example-r.zip"}) {
        const Bytes archive = codectest::ReadFile(folder + "/" + name);
        const auto entries = codectest::ReadArchive(archive);
        ASSERT_FALSE(entries.empty()) << name;
        for (const auto& e : entries) {
            TRecordingEvents events;
            const auto run = DecodeInto(e.record, e.data, events);
            const auto& record = e.record;
            ++methodsSeen[record.CompressionMethod];
            if (record.CompressionMethod == 1) {
                EXPECT_FALSE(run.result.methodKnown) << name << " " << e.Name();
                EXPECT_FALSE(run.result.Good(record));
                continue;
            }
            ASSERT_TRUE(run.result.Good(record)) << name << " " << e.Name();
            const auto copy = copies.find(record.UncompressedSize);
            if (copy != copies.end() && record.UncompressedSize != 0) {
                EXPECT_EQ(run.output, copy->second) << name << " " << e.Name();
                ++comparedWithCopy;
            }
        }
    }
    for (uint16_t method : {1, 2, 3, 4, 5, 6})
        EXPECT_GT(methodsSeen[method], 0) << "no sample of method " << method;
    EXPECT_GE(comparedWithCopy, 10);
}

TEST(EntryDecoder, StoredEntriesAreReadAndFlushedIn32KiBPieces) {
    for (size_t size : {size_t(0), size_t(32768), size_t(32769), size_t(100000)}) {
        const Bytes data = codectest::RandomBytes(size, 31);
        TRecordingEvents events;
        const auto entry = RecordOf(0, 0, zip::Crc32Of(data.data(), size), size, size);
        const auto run = DecodeInto(entry, data, events);
        ASSERT_TRUE(run.result.Good(entry)) << size;
        EXPECT_EQ(run.output, data);
        const size_t pieces = (size + 32767) / 32768;
        EXPECT_EQ(events.pumps, static_cast<int>(pieces)) << size;
        EXPECT_EQ(events.filePercents.size(), pieces) << size;
        if (size != 0) {
            EXPECT_EQ(events.totalPercents.back(), 100);
        }
    }
}

TEST(EntryDecoder, CancelBetweenAnyTwoPiecesRaisesUserAborted) {
    const Bytes plain = codectest::TextBytes(200000, 32);
    const Bytes deflated = codectest::ZlibRawDeflate(plain, 1);
    const uint32_t crc = zip::Crc32Of(plain.data(), plain.size());
    const size_t pieces = (deflated.size() + 32767) / 32768;
    ASSERT_GE(pieces, 2u);
    for (uint16_t method : {0, 8}) {
        const Bytes& data = method == 0 ? plain : deflated;
        for (int at = 1; at <= static_cast<int>((data.size() + 32767) / 32768); ++at) {
            TRecordingEvents events;
            events.cancelAtPump = at;
            try {
                DecodeInto(RecordOf(method, 0, crc, data.size(), plain.size()), data, events);
                ADD_FAILURE() << "no cancel at piece " << at;
            } catch (const zip::EUserCanceled& e) {
                EXPECT_STREQ(e.what(), "User Aborted Operation");
                EXPECT_EQ(events.pumps, at);
            }
        }
    }
}

TEST(EntryDecoder, ArchiveEndingInsideTheDataIsAPrematureEnd) {
    const Bytes plain = codectest::TextBytes(50000, 33);
    const Bytes deflated = codectest::ZlibRawDeflate(plain, 6);
    const uint32_t crc = zip::Crc32Of(plain.data(), plain.size());
    for (uint16_t method : {0, 8}) {
        const Bytes& data = method == 0 ? plain : deflated;
        for (size_t keep : {size_t(0), size_t(1), data.size() / 2, data.size() - 1}) {
            TRecordingEvents events;
            try {
                DecodeInto(RecordOf(method, 0, crc, data.size(), plain.size()),
                           std::span<const uint8_t>(data.data(), keep), events);
                ADD_FAILURE() << "method " << method << " kept " << keep;
            } catch (const zip::EFatalUnzipError& e) {
                EXPECT_STREQ(e.what(), "Premature end of file reached");
            }
        }
    }
}

TEST(EntryDecoder, DamagedOrMislabelledStreamsFailWithoutAnException) {
    const Bytes plain = codectest::TextBytes(20000, 34);
    const uint32_t crc = zip::Crc32Of(plain.data(), plain.size());
    Bytes deflated = codectest::ZlibRawDeflate(plain, 6);
    {
        // A complete stream with a flipped bit in the middle: bad data or a CRC mismatch.
        Bytes damaged = deflated;
        damaged[damaged.size() / 2] ^= 0x10;
        TRecordingEvents events;
        const auto entry = RecordOf(8, 0, crc, damaged.size(), plain.size());
        EXPECT_FALSE(DecodeInto(entry, damaged, events).result.Good(entry));
    }
    {
        // Stream shorter than the record says, CRC of what it holds: the length still fails.
        const Bytes head(plain.begin(), plain.begin() + 1000);
        const Bytes stream = codectest::ZlibRawDeflate(head, 6);
        TRecordingEvents events;
        const auto entry = RecordOf(8, 0, zip::Crc32Of(head.data(), head.size()), stream.size(), 1001);
        const auto run = DecodeInto(entry, stream, events);
        EXPECT_TRUE(run.result.CrcMatches(entry));
        EXPECT_FALSE(run.result.Good(entry));
    }
    // More output than the record allows, into a stream and while testing.
    for (zip::TOutputKind kind : {zip::TOutputKind::Stream, zip::TOutputKind::Testing}) {
        TRecordingEvents events;
        try {
            DecodeInto(RecordOf(8, 0, crc, deflated.size(), plain.size() - 1), deflated, events, {}, kind);
            ADD_FAILURE();
        } catch (const zip::EBiggerThanUncompressed& e) {
            EXPECT_STREQ(e.what(), "File is larger than uncompressed size!");
        }
    }
}

TEST(EntryDecoder, DataContinuesOnTheNextVolumesAtAnyOffset) {
    Bytes plain = codectest::TextBytes(60000, 35);
    const Bytes noise = codectest::RandomBytes(60000, 40);
    plain.insert(plain.end(), noise.begin(), noise.end());
    const Bytes deflated = codectest::ZlibRawDeflate(plain, 9);
    const uint32_t crc = zip::Crc32Of(plain.data(), plain.size());
    for (size_t cut :
         {size_t(1), size_t(777), size_t(32767), size_t(32768), size_t(32769), deflated.size() - 1}) {
        TRecordingEvents events;
        const auto entry = RecordOf(8, 0, crc, deflated.size(), plain.size());
        std::vector<size_t> cuts{cut};
        if (deflated.size() - cut >= 2) cuts.push_back(cut + (deflated.size() - cut) / 2);
        const auto run = DecodeInto(entry, deflated, events, cuts);
        ASSERT_TRUE(run.result.Good(entry)) << cut;
        EXPECT_EQ(events.askedVolumes.size(), cuts.size()) << cut;
        EXPECT_EQ(events.askedVolumes[0], 2);
    }
    // The next volume never comes.
    TRecordingEvents events;
    events.volumesOffered = 2;
    const auto entry = RecordOf(8, 0, crc, deflated.size(), plain.size());
    EXPECT_THROW(DecodeInto(entry, deflated, events, {1000, 2000}), zip::EUserCanceled);
    EXPECT_EQ(events.askedVolumes, (std::vector<int>{2, 3}));
}

TEST(EntryDecoder, OutputIsCountedPerEntryNotByTheTargetsPosition) {
    const Bytes first = codectest::TextBytes(40000, 36), second = codectest::RandomBytes(5000, 37);
    gui::TMemoryStream output;
    const Bytes preamble(1000, 0xEE);
    output.Write(preamble.data(), preamble.size());
    TRecordingEvents events;
    zip::TRunProgress progress{0, first.size() + second.size()};
    zip::TEntryDecoder decoder(Buffers(), events, progress);
    for (const Bytes* plain : {&first, &second}) {
        const Bytes data = codectest::ZlibRawDeflate(*plain, 6);
        auto entry = RecordOf(8, 0, zip::Crc32Of(plain->data(), plain->size()), data.size(), plain->size());
        auto stream = StreamOf(data);
        zip::TDecodeSource source{&entry, stream.get(), 0, false, nullptr, false};
        zip::TDecodeTarget target;
        target.kind = zip::TOutputKind::Stream;
        target.stream = &output;
        EXPECT_TRUE(decoder.Decode(source, target).Good(entry));
    }
    EXPECT_EQ(output.Size(), static_cast<int64_t>(preamble.size() + first.size() + second.size()));
    EXPECT_EQ(events.totalPercents.back(), 100);
    EXPECT_EQ(events.pumps, 0); // pumping off
}

TEST(EntryDecoder, MemoryTargetHandsOutFullPiecesAndStopsWhenTheCallerQuits) {
    const Bytes plain = codectest::TextBytes(50000, 38);
    const Bytes data = codectest::ZlibRawDeflate(plain, 6);
    const uint32_t crc = zip::Crc32Of(plain.data(), plain.size());
    for (int quitAt : {-1, 2}) {
        TRecordingEvents events;
        events.quitAtBuffer = quitAt;
        zip::TRunProgress progress{0, plain.size()};
        zip::TEntryDecoder decoder(Buffers(), events, progress);
        auto entry = RecordOf(8, 0, crc, data.size(), plain.size());
        auto stream = StreamOf(data);
        zip::TDecodeSource source{&entry, stream.get(), 0, false, nullptr, true};
        Bytes piece(20000);
        zip::TDecodeTarget target;
        target.kind = zip::TOutputKind::Memory;
        target.buffer = piece.data();
        target.pieceSize = piece.size();
        target.bytesFree = plain.size();
        target.name = "dir\\file.txt";
        if (quitAt > 0) {
            try {
                decoder.Decode(source, target);
                ADD_FAILURE();
            } catch (const zip::EUserCanceled& e) {
                EXPECT_STREQ(e.what(), "User canceled Buffered Memory UnZip");
            }
            continue;
        }
        ASSERT_TRUE(decoder.Decode(source, target).Good(entry));
        Bytes joined;
        for (const auto& p : events.memoryPieces)
            joined.insert(joined.end(), p.begin(), p.end());
        EXPECT_EQ(joined, plain);
        EXPECT_EQ(events.bufferNumbers, (std::vector<int>{1, 2, 3}));
    }
}

} // namespace
