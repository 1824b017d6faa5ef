#include "DecodeSupport.h"
#include "ZipRecordSupport.h"
#include "zip/Inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <memory>
#include <random>

namespace {

using codectest::Bytes;

struct TInflateRun {
    zip::TDecodeStatus status;
    Bytes output;
    std::vector<size_t> flushSizes;
};

TInflateRun RunInflate(std::span<const uint8_t> stream, size_t pieceSize = 32768) {
    static auto tables = std::make_unique<zip::TInflateTables>();
    static auto slide = std::make_unique<uint8_t[]>(zip::kSlideSize);
    codectest::TMemoryDecodeIo io(stream, pieceSize);
    uint64_t produced = 0;
    const auto status = zip::Inflate(io, slide.get(), *tables, produced);
    EXPECT_EQ(produced, io.output.size());
    return {status, std::move(io.output), std::move(io.flushSizes)};
}

TEST(Inflate, DecodesZlibStreamsOfEveryLevelAndStrategyInAnyPieceSize) {
    const Bytes inputs[] = {
        {}, {0x41}, codectest::RandomBytes(70000, 1), Bytes(100000, 0), codectest::TextBytes(300000, 2)};
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    for (const auto& input : inputs)
        for (int level = 0; level <= 9; ++level)
            for (int strategy : strategies) {
                const Bytes stream = codectest::ZlibRawDeflate(input, level, strategy);
                for (size_t piece : {size_t(1), size_t(5), size_t(4096), size_t(32768), stream.size() + 1}) {
                    if (piece < 4096 && input.size() > 70000 && level % 3 != 0)
                        continue; // small pieces over big inputs: a few levels are enough
                    const auto run = RunInflate(stream, piece);
                    ASSERT_EQ(run.status, zip::TDecodeStatus::Ok)
                        << "size " << input.size() << " level " << level << " strategy " << strategy;
                    ASSERT_EQ(run.output, input) << "level " << level << " piece " << piece;
                }
            }
}

TEST(Inflate, FlushesWholeWindowsAndTheRestOnce) {
    for (size_t size : {size_t(32768), size_t(32769), size_t(65536 + 5)}) {
        const Bytes input = codectest::TextBytes(size, 3);
        const auto run = RunInflate(codectest::ZlibRawDeflate(input, 6));
        ASSERT_EQ(run.output, input);
        for (size_t i = 0; i + 1 < run.flushSizes.size(); ++i)
            EXPECT_EQ(run.flushSizes[i], zip::kSlideSize);
        EXPECT_EQ(run.flushSizes.size(), (size + zip::kSlideSize - 1) / zip::kSlideSize);
    }
}

TEST(Inflate, MatchesReachingBackTheWholeWindowAcrossItsWrap) {
    // A random block repeated at distance 32768 and at 32768 minus a little.
    Bytes input = codectest::RandomBytes(32768, 4);
    const Bytes first(input);
    input.insert(input.end(), first.begin(), first.end());
    input.insert(input.end(), first.begin() + 100, first.end());
    input.insert(input.end(), first.begin(), first.begin() + 5000);
    const auto run = RunInflate(codectest::ZlibRawDeflate(input, 9));
    ASSERT_EQ(run.status, zip::TDecodeStatus::Ok);
    EXPECT_EQ(run.output, input);
}

// The hand-made hostile streams of the fuzz corpus ("bad-*": reserved block type, stored
// length check, distances before the start, codes 286 and 30, too many symbols, over-subscribed
// and incomplete codes, bad repeats, no end-of-block code) are data errors for zlib and for us.
TEST(Inflate, RejectsTheHostileSeedsAsZlibDoes) {
    int seen = 0;
    for (const auto& file :
         std::filesystem::directory_iterator(codectest::SourcePath("fuzz/corpus/inflate"))) {
        if (file.path().filename().string().rfind("bad-", 0) != 0) continue;
        const Bytes seed = codectest::ReadFile(file.path().string());
        const std::span<const uint8_t> stream(seed.data() + 1, seed.size() - 1); // byte 0: piece size
        EXPECT_EQ(codectest::ZlibRawInflate(stream).code, Z_DATA_ERROR) << file.path();
        EXPECT_EQ(RunInflate(stream).status, zip::TDecodeStatus::BadData) << file.path();
        ++seen;
    }
    EXPECT_GE(seen, 12);
}

TEST(Inflate, TruncatedStreamsNeverSucceedAndNeverReadPastTheirEnd) {
    const Bytes input = codectest::TextBytes(50000, 5);
    for (int level : {0, 1, 9}) {
        const Bytes stream = codectest::ZlibRawDeflate(input, level);
        for (size_t cut = 0; cut < stream.size(); cut += 1 + cut / 8) {
            const std::span<const uint8_t> head(stream.data(), cut);
            ASSERT_NE(RunInflate(head, 1 + cut % 300).status, zip::TDecodeStatus::Ok) << "cut at " << cut;
        }
    }
}

// The peers are Linux programs: native build only.
#ifndef _WIN32

TEST(Inflate, DecodesEntriesMadeByZipAtEveryLevelAnd7z) {
    const testsupport::TTempFolder temp; // removed with its contents, also when an assertion ends the test
    const std::string dir = temp.Path();
    const Bytes text = codectest::TextBytes(200000, 7);
    const Bytes random = codectest::RandomBytes(40000, 8);
    codectest::WriteFile(dir + "/text.txt", text);
    codectest::WriteFile(dir + "/random.bin", random);
    std::vector<std::string> archives;
    for (int level = 0; level <= 9; ++level) {
        const std::string name = dir + "/zip" + std::to_string(level) + ".zip";
        ASSERT_EQ(codectest::Run("cd " + dir + " && zip -" + std::to_string(level) + " " + name +
                                 " text.txt random.bin"),
                  0);
        archives.push_back(name);
    }
    ASSERT_EQ(codectest::Run("cd " + dir + " && 7z a -tzip -mm=Deflate -mx=9 " + dir +
                             "/7z.zip text.txt random.bin"),
              0);
    archives.push_back(dir + "/7z.zip");
    for (const auto& archive : archives) {
        const Bytes bytes = codectest::ReadFile(archive);
        const auto entries = codectest::ReadArchive(bytes);
        ASSERT_EQ(entries.size(), 2u) << archive;
        for (const auto& entry : entries) {
            const Bytes& expected = entry.Name() == "text.txt" ? text : random;
            if (entry.record.CompressionMethod == 0) {
                EXPECT_EQ(entry.data, expected);
                continue;
            }
            ASSERT_EQ(entry.record.CompressionMethod, 8) << archive;
            const auto run = RunInflate(entry.data, 32768);
            ASSERT_EQ(run.status, zip::TDecodeStatus::Ok) << archive << " " << entry.Name();
            EXPECT_EQ(run.output, expected) << archive << " " << entry.Name();
        }
    }
}

#endif // _WIN32

} // namespace
