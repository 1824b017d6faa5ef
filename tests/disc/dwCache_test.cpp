// The write cache between the image stream and the writer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "IsoSupport.h"
#include "disc/dwCache.h"

namespace disc {
namespace {

using namespace test;

struct CachedImage {
    TempFolder temp;
    TIsoImage image;
    explicit CachedImage(std::initializer_list<std::pair<const char*, size_t>> files) {
        unsigned seed = 1;
        for (const auto& [name, size] : files) {
            WriteBytes(temp / name, Pattern(size, seed++));
            image.InsertFile(temp / name, "\\");
        }
        image.PrepareImage(0);
        image.BuildImageHead();
    }
    // Everything the cache hands out, taken as a writer would.
    std::string Drain(TCacheThread& cache) {
        std::string out;
        std::vector<uint8_t> buffer(cache.Payload());
        bool shortSeen = false;
        for (int got; (got = cache.GetBlock(buffer.data(), true)) > 0;) {
            // The reader marks itself finished only after its next read finds the end.
            EXPECT_FALSE(shortSeen) << "only the last block is short";
            shortSeen = got != static_cast<int>(cache.Payload());
            out.append(reinterpret_cast<char*>(buffer.data()), static_cast<size_t>(got));
        }
        return out;
    }
};

TEST(WriteCache, PrimesOneBlockShortOfFullAndHandsOutTheWholeImage) {
    CachedImage source({{"big.bin", 9000000}, {"odd.bin", 3000}});
    std::string error;
    ASSERT_TRUE(WriteIsoFile(source.image, source.temp / "file.iso", error)) << error;
    std::string expected = ReadBytes(source.temp / "file.iso");

    for (uint32_t payload : {kPayloadDefault, kPayloadCd}) {
        TCacheThread cache(4194304, payload, source.image);
        cache.Start();
        ASSERT_TRUE(cache.WaitPrimed());
        if (payload == kPayloadDefault) {
            EXPECT_EQ(cache.Capacity(), 64u);
            EXPECT_EQ(cache.FillPercent(), (63 * 100 + 32) / 64) << "63 blocks queued when primed";
        }
        std::string written = source.Drain(cache);
        EXPECT_EQ(written.size(), expected.size());
        EXPECT_TRUE(written == expected) << "payload " << payload;
        EXPECT_TRUE(cache.Error().empty());
    }
}

TEST(WriteCache, DeletedSourceOrAbortEndsWithOneErrorText) {
    {
        CachedImage source({{"a.bin", 500000}, {"gone.bin", 10}});
        std::remove((source.temp / "gone.bin").c_str());
        TCacheThread cache(2097152, kPayloadDefault, source.image);
        cache.Start();
        EXPECT_FALSE(cache.WaitPrimed());
        source.Drain(cache);
        EXPECT_EQ(cache.Error(), "CAN'T OPEN FILE \"" + (source.temp / "gone.bin") +
                                     "\" OR FILE IS IN USES BY OTHER SOFTWARE");
    }
    CachedImage source({{"big.bin", 20000000}});
    for (const char* writerError : {"WRITER ERROR [MEDIUM ERROR]", ""}) {
        TCacheThread cache(2097152, kPayloadDefault, source.image);
        cache.Start();
        ASSERT_TRUE(cache.WaitPrimed());
        std::vector<uint8_t> buffer(kPayloadDefault);
        EXPECT_GT(cache.GetBlock(buffer.data()), 0);
        cache.Abort(writerError);
        EXPECT_EQ(cache.GetBlock(buffer.data(), true), 0);
        EXPECT_EQ(cache.Error(), *writerError ? writerError : "OPERATION ABORTED BY USER");
    }
}

TEST(WriteCache, SmallSessionIsPaddedTo300BlocksAndEachFileStartsOnASector) {
    CachedImage source({{"odd.bin", 3000}, {"next.bin", 97000}});
    TCacheThread cache(2097152, kPayloadDefault, source.image);
    cache.Start();
    const std::string written = source.Drain(cache);
    EXPECT_EQ(written.size(), 614400u) << "100 KB of files in a session of 300 blocks";
    const TFEntry* odd = source.image.FindFile(source.image.Root(), "odd.bin");
    const TFEntry* next = source.image.FindFile(source.image.Root(), "next.bin");
    ASSERT_TRUE(odd && next);
    const size_t at = size_t(odd->FirstBlock) * 2048;
    EXPECT_TRUE(written.compare(at, 3000, Pattern(3000, 1)) == 0);
    EXPECT_EQ(written.substr(at + 3000, 1096), std::string(1096, '\0')) << "3,000 bytes take 4,096";
    const size_t end = size_t(next->FirstBlock) * 2048 + 97000;
    EXPECT_TRUE(written.compare(end - 97000, 97000, Pattern(97000, 2)) == 0);
    EXPECT_EQ(written.find_first_not_of('\0', std::max(end, at + 3000)), std::string::npos)
        << "zeros after the last file";
}

TEST(WriteCache, JoinStopsAReaderThatStillRuns) {
    CachedImage source({{"big.bin", 20000000}});
    TCacheThread cache(2097152, kPayloadDefault, source.image);
    cache.Start();
    ASSERT_TRUE(cache.WaitPrimed());
    cache.Join();
    EXPECT_TRUE(cache.Finished());
    EXPECT_EQ(cache.Error(), "OPERATION ABORTED BY USER") << "not all of the image was taken";
    cache.Join();
}

} // namespace
} // namespace disc
