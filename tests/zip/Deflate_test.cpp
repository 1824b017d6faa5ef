// The deflate compressor against zlib's inflate, our own and the zip tools: round trips at every level,
// the stored fall-back, flag bits, text/binary guess, and callbacks that fail or cancel.
#include "gui/Stream.h"
#include "zip/Crc32.h"
#include "zip/Deflate.h"
#include "zip/DeflateTrees.h"
#include "zip/Inflate.h"
#include "zip/ZipObj.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

struct ReadFailure : std::runtime_error {
    ReadFailure() : std::runtime_error("source changed size") {}
};
struct Canceled : std::runtime_error {
    Canceled() : std::runtime_error("canceled") {}
};

// Source and sink in memory, with knobs for stingy reads and failures part way.
class MemoryStream : public zip::DeflateStream {
  public:
    explicit MemoryStream(const Bytes& input) : input_(input) {}

    uint32_t ReadInput(uint8_t* buffer, uint32_t size) override {
        EXPECT_LT(size, 65536u);
        if (failAfter_ && offset_ >= *failAfter_) throw ReadFailure();
        uint32_t n = static_cast<uint32_t>(std::min<size_t>(size, input_.size() - offset_));
        if (maxPiece_ != 0) n = std::min<uint32_t>(n, 1 + static_cast<uint32_t>(random_() % maxPiece_));
        if (failAfter_) n = static_cast<uint32_t>(std::min<size_t>(n, *failAfter_ - offset_));
        std::copy_n(input_.begin() + static_cast<ptrdiff_t>(offset_), n, buffer);
        offset_ += n;
        return n;
    }
    void WriteOutput(const uint8_t* buffer, uint32_t size) override {
        if (cancelAtWrite_ != 0 && pieces.size() + 1 == cancelAtWrite_) throw Canceled();
        pieces.push_back(size);
        output.insert(output.end(), buffer, buffer + size);
    }

    void StingyReads(uint32_t maxPiece) { maxPiece_ = maxPiece; }
    void FailReadsAfter(size_t bytes) { failAfter_ = bytes; }
    void CancelAtWrite(size_t n) { cancelAtWrite_ = n; }

    Bytes output;
    std::vector<uint32_t> pieces;

  private:
    const Bytes& input_;
    size_t offset_ = 0;
    uint32_t maxPiece_ = 0;
    std::optional<size_t> failAfter_;
    size_t cancelAtWrite_ = 0;
    std::mt19937 random_{11};
};

struct Compressed {
    Bytes bytes;
    zip::DeflateEntryInfo info;
    uint32_t answered = 0;
};

Compressed Compress(const Bytes& input, int level, zip::DeflateBuffers& buffers, uint32_t maxPiece = 0) {
    MemoryStream stream(input);
    stream.StingyReads(maxPiece);
    Compressed result;
    result.answered = zip::DeflateEntry(stream, buffers, level, result.info);
    result.bytes = std::move(stream.output);
    return result;
}

// Raw inflate through zlib; fails the test unless the stream ends exactly at its last byte.
Bytes ZlibInflate(const Bytes& compressed, size_t expectedSize) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    Bytes out(expectedSize + 1);
    z.next_in = const_cast<Bytef*>(compressed.data());
    z.avail_in = static_cast<uInt>(compressed.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&z, Z_FINISH);
    EXPECT_EQ(status, Z_STREAM_END) << (z.msg ? z.msg : "");
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the final block";
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

// The product's own inflate, fed in uneven pieces; fails the test unless it ends cleanly.
Bytes OurInflate(const Bytes& compressed) {
    struct Io : zip::TDecodeIo {
        const Bytes* in = nullptr;
        size_t offset = 0;
        Bytes out;
        std::span<const uint8_t> FillInput() override {
            const size_t n = std::min<size_t>(777, in->size() - offset);
            offset += n;
            return {in->data() + offset - n, n};
        }
        void FlushOutput(const uint8_t* data, size_t count) override {
            out.insert(out.end(), data, data + count);
        }
    } io;
    io.in = &compressed;
    static std::vector<uint8_t> slide(zip::kSlideSize);
    static auto tables = std::make_unique<zip::TInflateTables>();
    uint64_t produced = 0;
    EXPECT_EQ(zip::Inflate(io, slide.data(), *tables, produced), zip::TDecodeStatus::Ok);
    EXPECT_EQ(produced, io.out.size());
    return io.out;
}

// Back to the original through zlib, and through our inflate, which must agree.
Bytes Restore(const Compressed& c, size_t expectedSize) {
    if (c.info.compressionMethod == 0) return c.bytes;
    Bytes restored = ZlibInflate(c.bytes, expectedSize);
    EXPECT_EQ(OurInflate(c.bytes), restored);
    return restored;
}

Bytes RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

// Words from a small vocabulary: compresses like prose, every byte printable.
Bytes TextBytes(size_t size, unsigned seed) {
    static const char* const words[] = {"backup",  "volume", "the",      "archive", "of",
                                        "disc",    "job",    "file",     "written", "catalogue",
                                        "restore", "and",    "schedule", "\r\n"};
    std::mt19937 random(seed);
    Bytes bytes;
    while (bytes.size() < size) {
        const std::string word = words[random() % std::size(words)];
        bytes.insert(bytes.end(), word.begin(), word.end());
        bytes.push_back(' ');
    }
    bytes.resize(size);
    return bytes;
}

// Text, random stretches, zero runs and far repeats: slides the window several times and
// makes blocks of every kind.
Bytes MixedBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes;
    while (bytes.size() < size) {
        const Bytes text = TextBytes(1000 + random() % 20000, random());
        const Bytes noise = RandomBytes(random() % 5000, random());
        bytes.insert(bytes.end(), text.begin(), text.end());
        bytes.insert(bytes.end(), noise.begin(), noise.end());
        bytes.insert(bytes.end(), random() % 3000, 0);
        if (bytes.size() > 40000) {
            const size_t from = bytes.size() - 32000 - random() % 8000;
            const Bytes repeat(bytes.begin() + static_cast<ptrdiff_t>(from),
                               bytes.begin() + static_cast<ptrdiff_t>(from + 500 + random() % 3000));
            bytes.insert(bytes.end(), repeat.begin(), repeat.end());
        }
    }
    bytes.resize(size);
    return bytes;
}

std::unique_ptr<zip::DeflateBuffers> NewBuffers() {
    return std::make_unique<zip::DeflateBuffers>();
}

TEST(DeflateEntry, EveryLevelRoundTripsThroughZlib) {
    const std::vector<std::pair<const char*, Bytes>> inputs = {
        {"empty", {}},
        {"one byte", {'x'}},
        {"random", RandomBytes(10000, 1)},
        {"text", TextBytes(150000, 2)},
        {"mixed past the window slide", MixedBytes(400000, 3)},
        {"zeros", Bytes(1 << 20, 0)},
    };
    auto buffers = NewBuffers();
    for (int level = 1; level <= 9; ++level)
        for (const auto& [name, input] : inputs) {
            SCOPED_TRACE(std::string(name) + " at level " + std::to_string(level));
            const Compressed c = Compress(input, level, *buffers);
            EXPECT_EQ(c.answered, c.bytes.size());
            EXPECT_EQ(c.info.bytesConsumed, input.size());
            EXPECT_EQ(Restore(c, input.size()), input);
        }
}

// Sizes around the slide point, read whole and in stingy uneven pieces.
TEST(DeflateEntry, InputsAroundTheWindowSlideRoundTrip) {
    auto buffers = NewBuffers();
    for (size_t size : {65273, 65274, 65275, 65535, 65536, 65537, 98304, 98305})
        for (int level : {1, 3, 4, 9}) {
            SCOPED_TRACE(std::to_string(size) + " bytes at level " + std::to_string(level));
            const Bytes random = RandomBytes(size, 40);
            const Bytes mixed = MixedBytes(size, 41);
            EXPECT_EQ(Restore(Compress(random, level, *buffers), size), random);
            EXPECT_EQ(Restore(Compress(mixed, level, *buffers), size), mixed);
            EXPECT_EQ(Restore(Compress(mixed, level, *buffers, 700), size), mixed);
        }
}

TEST(DeflateEntry, EntryThatWouldNotShrinkIsWrittenAsPlainBytes) {
    auto buffers = NewBuffers();
    for (const Bytes& input : {Bytes{}, Bytes{'A'}, RandomBytes(10000, 5)}) {
        SCOPED_TRACE(input.size());
        const Compressed c = Compress(input, 6, *buffers);
        EXPECT_EQ(c.info.compressionMethod, 0);
        EXPECT_EQ(c.answered, input.size());
        EXPECT_EQ(c.bytes, input);
    }
    // Random data past one block cannot fall back: later blocks go out as stored blocks.
    const Bytes large = RandomBytes(200000, 6);
    const Compressed c = Compress(large, 6, *buffers);
    EXPECT_EQ(c.info.compressionMethod, 8);
    EXPECT_LE(c.bytes.size(), large.size() + large.size() / 1000);
    EXPECT_EQ(ZlibInflate(c.bytes, large.size()), large);
}

TEST(DeflateEntry, ChoosesTheCheapestBlockType) {
    auto buffers = NewBuffers();
    auto firstBlockType = [&](const Bytes& input) {
        const Compressed c = Compress(input, 6, *buffers);
        EXPECT_EQ(c.info.compressionMethod, 8);
        EXPECT_EQ(ZlibInflate(c.bytes, input.size()), input);
        return (c.bytes.at(0) >> 1) & 3;
    };
    // Many distinct letters, few of each: a tree header would cost more than it saves.
    std::string pangrams = "The quick brown fox jumps over the lazy dog; PACK MY BOX WITH FIVE DOZEN "
                           "LIQUOR JUGS, 0123456789.";
    pangrams += pangrams;
    EXPECT_EQ(firstBlockType(Bytes(pangrams.begin(), pangrams.end())), 1);
    EXPECT_EQ(firstBlockType(TextBytes(100000, 31)), 2);   // dynamic
    EXPECT_EQ(firstBlockType(RandomBytes(100000, 32)), 0); // stored block
}

TEST(DeflateEntry, LevelSetsFlagBitsAndKeepsOthers) {
    const Bytes input = TextBytes(5000, 7);
    auto buffers = NewBuffers();
    const uint16_t expected[10] = {0, 4, 4, 0, 0, 0, 0, 0, 2, 2};
    for (int level = 1; level <= 9; ++level) {
        MemoryStream stream(input);
        zip::DeflateEntryInfo info;
        info.generalPurposeFlag = 1; // encrypted: not the compressor's to touch
        zip::DeflateEntry(stream, *buffers, level, info);
        EXPECT_EQ(info.generalPurposeFlag, 1 | expected[level]) << "level " << level;
    }
}

TEST(DeflateEntry, GuessesTextOrBinaryFromTheFirstBlock) {
    auto buffers = NewBuffers();
    EXPECT_EQ(Compress(TextBytes(50000, 8), 6, *buffers).info.internalAttributes, 1);
    EXPECT_EQ(Compress(RandomBytes(50000, 9), 6, *buffers).info.internalAttributes, 0);
    // One binary byte per four printable ones is still text; one more makes it binary.
    Bytes edge = {'a', 'b', 'c', 'd', 0x01};
    EXPECT_EQ(Compress(edge, 6, *buffers).info.internalAttributes, 1);
    edge.push_back(0x80);
    EXPECT_EQ(Compress(edge, 6, *buffers).info.internalAttributes, 0);
    // Binary data after a first text block does not change the guess.
    Bytes textThenBinary = TextBytes(400000, 10);
    const Bytes noise = RandomBytes(400000, 11);
    textThenBinary.insert(textThenBinary.end(), noise.begin(), noise.end());
    EXPECT_EQ(Compress(textThenBinary, 1, *buffers).info.internalAttributes, 1);
}

TEST(DeflateEntry, OutputLeavesInWholeKilobytePieces) {
    const Bytes input = MixedBytes(200000, 12);
    auto buffers = NewBuffers();
    MemoryStream stream(input);
    zip::DeflateEntryInfo info;
    zip::DeflateEntry(stream, *buffers, 6, info);
    ASSERT_GT(stream.pieces.size(), 2u);
    for (size_t i = 0; i + 1 < stream.pieces.size(); ++i)
        EXPECT_EQ(stream.pieces[i], 1024u);
    EXPECT_LE(stream.pieces.back(), 1024u);
}

TEST(DeflateEntry, ReadFailurePassesThroughWithBytesConsumedAndLeavesBuffersClean) {
    const Bytes input = MixedBytes(300000, 13);
    const Bytes next = TextBytes(80000, 14);
    auto fresh = NewBuffers();
    const Compressed expected = Compress(next, 9, *fresh);

    auto buffers = NewBuffers();
    for (size_t failAt : {size_t{0}, size_t{1000}, size_t{100000}}) {
        SCOPED_TRACE(failAt);
        MemoryStream stream(input);
        stream.FailReadsAfter(failAt);
        zip::DeflateEntryInfo info;
        EXPECT_THROW(zip::DeflateEntry(stream, *buffers, 9, info), ReadFailure);
        EXPECT_EQ(info.bytesConsumed, failAt);
        // The failed entry leaves nothing behind that changes the next entry's bytes.
        EXPECT_EQ(Compress(next, 9, *buffers).bytes, expected.bytes);
    }
}

TEST(DeflateEntry, CancelFromWriteOutputStopsTheEntry) {
    const Bytes input = MixedBytes(300000, 15);
    auto buffers = NewBuffers();
    MemoryStream stream(input);
    stream.CancelAtWrite(3);
    zip::DeflateEntryInfo info;
    EXPECT_THROW(zip::DeflateEntry(stream, *buffers, 6, info), Canceled);
    EXPECT_EQ(stream.pieces.size(), 2u);
    EXPECT_LT(info.bytesConsumed, input.size());
}

// Frequencies in a Fibonacci series make the deepest possible Huffman trees.
TEST(DeflateTrees, CodeLengthsStayWithinTheLimitAndFormACompleteCode) {
    for (int n : {2, 19, 30, 286})
        for (int maxBits : {7, 15}) {
            if (n > (1 << maxBits)) continue;
            std::vector<uint32_t> freq(static_cast<size_t>(n));
            uint32_t a = 1, b = 1;
            for (auto& f : freq) {
                f = a;
                const uint32_t sum = std::min<uint32_t>(a + b, 1u << 30);
                a = b;
                b = sum;
            }
            std::vector<uint8_t> lengths(static_cast<size_t>(n));
            zip::BuildCodeLengths(freq.data(), n, maxBits, lengths.data());
            uint64_t kraft = 0;
            for (uint8_t length : lengths) {
                ASSERT_GE(length, 1);
                ASSERT_LE(length, maxBits);
                kraft += uint64_t{1} << (maxBits - length);
            }
            EXPECT_EQ(kraft, uint64_t{1} << maxBits) << n << " symbols, " << maxBits << " bits";
        }
}

TEST(DeflateEntry, SkewedLiteralsNeedingDeepTreesRoundTrip) {
    // Byte k appears about 1.6^k times: an unlimited tree would exceed 15 bits.
    Bytes input;
    std::mt19937 random(16);
    double weight = 1;
    for (int k = 0; k < 24; ++k, weight *= 1.6)
        input.insert(input.end(), static_cast<size_t>(weight), static_cast<uint8_t>(k * 7 + 1));
    std::shuffle(input.begin(), input.end(), random);
    auto buffers = NewBuffers();
    for (int level : {1, 6}) {
        const Compressed c = Compress(input, level, *buffers);
        EXPECT_EQ(Restore(c, input.size()), input);
    }
}

// The peers are Linux programs: native build only.
#ifndef _WIN32

// --- Archives with our records, read back by the zip tools
// -------------------------------------------------------

struct ArchiveEntry {
    std::string name;
    Bytes data;
    int level;
};

// A single-volume archive written the way the zip component writes one: a local header with
// the type still unknown, the compressed data, the header again with the final fields, then
// the central directory and the end record.
[[maybe_unused]] Bytes BuildArchive(const std::vector<ArchiveEntry>& entries) {
    auto buffers = NewBuffers();
    gui::TMemoryStream archive;
    gui::TMemoryStream central;
    for (const auto& entry : entries) {
        zip::TZipHeaderInfo header;
        header.SetFilename(entry.name);
        header.LastModFileDateTime = 0x5A216000; // 2025-01-01 12:00:00
        header.UncompressedSize = static_cast<uint32_t>(entry.data.size());
        header.InternalAttributes = 2;
        const auto offset = static_cast<uint32_t>(archive.Position());
        header.WriteLocalHere(archive);

        zip::DeflateEntryInfo info;
        info.generalPurposeFlag = header.GeneralPurposeFlag;
        info.internalAttributes = header.InternalAttributes;
        const Compressed c = [&] {
            MemoryStream stream(entry.data);
            Compressed result;
            result.answered = zip::DeflateEntry(stream, *buffers, entry.level, info);
            result.bytes = std::move(stream.output);
            return result;
        }();
        archive.WriteBuffer(c.bytes.data(), c.bytes.size());
        header.GeneralPurposeFlag = info.generalPurposeFlag;
        header.InternalAttributes = info.internalAttributes;
        header.CompressionMethod = info.compressionMethod;
        header.CompressedSize = c.answered;
        header.Crc32 = zip::Crc32Of(entry.data.data(), entry.data.size());

        const int64_t dataEnd = archive.Position();
        archive.SetPosition(offset);
        header.WriteLocal(archive, offset);
        archive.SetPosition(dataEnd);
        header.WriteCentral(central);
    }
    zip::TEndCentral end;
    end.EntriesOnDisk = end.TotalEntries = static_cast<uint16_t>(entries.size());
    end.CentralOffset = static_cast<uint32_t>(archive.Position());
    end.CentralSize = static_cast<uint32_t>(central.Size());
    archive.CopyFrom(central, 0);
    end.Write(archive);
    return Bytes(archive.Memory(), archive.Memory() + archive.Size());
}

[[maybe_unused]] std::string RunTool(const std::string& command, int& exitCode) {
    std::string output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        exitCode = -1;
        return output;
    }
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    exitCode = pclose(pipe);
    return output;
}

TEST(DeflateArchive, ZipToolsTestEntriesAndShowLevelAndType) {
    const std::vector<ArchiveEntry> entries = {
        {"fast.txt", TextBytes(90000, 20), 1},
        {"fast2.txt", TextBytes(3000, 21), 2},
        {"normal.bin", MixedBytes(300000, 22), 6},
        {"level3.txt", TextBytes(70000, 23), 3},
        {"max.txt", TextBytes(200000, 24), 9},
        {"random.bin", RandomBytes(20000, 25), 8},
        {"one.txt", {'z'}, 5},
    };
    const auto folder = std::filesystem::temp_directory_path() / ("tw-deflate-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const auto path = folder / "levels.zip";
    {
        const Bytes archive = BuildArchive(entries);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(archive.data()),
                   static_cast<std::streamsize>(archive.size()));
    }
    int exitCode = 0;
    std::string output = RunTool("unzip -tq '" + path.string() + "'", exitCode);
    EXPECT_EQ(exitCode, 0) << output;
    output = RunTool("7z t '" + path.string() + "'", exitCode);
    EXPECT_EQ(exitCode, 0) << output;
    EXPECT_NE(output.find("Everything is Ok"), std::string::npos) << output;

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"fast.txt", "fast"},   {"fast2.txt", "fast"},    {"normal.bin", "normal"}, {"level3.txt", "normal"},
        {"max.txt", "maximum"}, {"random.bin", "stored"}, {"one.txt", "stored"},
    };
    for (const auto& [name, kind] : expected) {
        SCOPED_TRACE(name);
        output = RunTool("zipinfo -v '" + path.string() + "' " + name, exitCode);
        ASSERT_EQ(exitCode, 0) << output;
        if (kind == "stored") {
            EXPECT_NE(output.find("compression method:                             none (stored)"),
                      std::string::npos)
                << output;
        } else {
            EXPECT_NE(output.find("compression sub-type (deflation):               " + kind + "\n"),
                      std::string::npos)
                << output;
        }
        const bool text = name.ends_with(".txt");
        EXPECT_NE(output.find(std::string("apparent file type:                             ") +
                              (text ? "text" : "binary")),
                  std::string::npos)
            << output;
    }
    std::filesystem::remove_all(folder);
}

#endif // _WIN32

} // namespace
