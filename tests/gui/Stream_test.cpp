#include "gui/Stream.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace gui;

namespace {

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    return bytes;
}

// Hands out at most a few bytes per call, as a pipe or a slow file would.
class TrickleStream : public TMemoryStream {
  public:
    size_t Read(void* buffer, size_t count) override {
        return TMemoryStream::Read(buffer, std::min<size_t>(count, 3));
    }
};

} // namespace

TEST(MemoryStream, SmallWritesRoundTripAndGapsAfterSeekPastEndAreZero) {
    TMemoryStream stream;
    const auto data = Pattern(100000);
    for (size_t at = 0; at < data.size(); at += 333)
        stream.WriteBuffer(data.data() + at, std::min<size_t>(333, data.size() - at));
    EXPECT_EQ(stream.Size(), 100000);
    stream.Seek(10, TSeekOrigin::soEnd);
    const uint8_t tail = 0xEE;
    stream.WriteBuffer(&tail, 1);
    EXPECT_EQ(stream.Size(), 100011);

    stream.SetPosition(0);
    std::vector<uint8_t> back(100011);
    stream.ReadBuffer(back.data(), back.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
    EXPECT_EQ(std::accumulate(back.begin() + 100000, back.begin() + 100010, 0), 0);
    EXPECT_EQ(back.back(), 0xEE);
    EXPECT_EQ(stream.Read(back.data(), 1), 0u);
}

TEST(MemoryStream, SetSizeTruncatesAndGrowsWithZerosAndKeepsPosition) {
    TMemoryStream stream;
    const auto data = Pattern(5000);
    stream.WriteBuffer(data.data(), data.size());
    stream.SetSize(10);
    EXPECT_EQ(stream.Position(), 5000); // position stays past the new end
    EXPECT_EQ(stream.Read(nullptr, 0), 0u);
    stream.SetSize(20);
    EXPECT_EQ(stream.Memory()[9], data[9]);
    for (int i = 10; i < 20; ++i)
        EXPECT_EQ(stream.Memory()[i], 0);
    EXPECT_THROW(stream.SetSize(-1), EStreamError);
    EXPECT_THROW(stream.Seek(-21, TSeekOrigin::soEnd), EStreamError);
}

TEST(MemoryStream, ReservedCapacityKeepsMemoryInPlace) {
    TMemoryStream stream;
    stream.SetCapacity(1 << 20);
    const uint8_t* before = stream.Memory();
    const auto data = Pattern(1 << 20);
    stream.WriteBuffer(data.data(), data.size());
    EXPECT_EQ(stream.Memory(), before);
    EXPECT_GE(stream.Capacity(), 1u << 20);
}

TEST(Stream, BufferTransfersThrowOnShortDataAndCopyFromHandlesPartialReads) {
    TrickleStream source;
    const auto data = Pattern(3 << 20); // more than one copy chunk
    source.WriteBuffer(data.data(), data.size());

    TMemoryStream whole;
    EXPECT_THROW(whole.CopyFrom(source, 1), EReadError); // at the end of source
    whole.SetSize(0);
    whole.SetPosition(0);
    EXPECT_EQ(whole.CopyFrom(source, 0), static_cast<int64_t>(data.size()));
    ASSERT_EQ(whole.Size(), static_cast<int64_t>(data.size()));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), whole.Memory()));

    TMemoryStream part;
    source.SetPosition(100);
    part.CopyFrom(source, 50);
    EXPECT_EQ(part.Memory()[0], data[100]);
    EXPECT_EQ(source.Position(), 150);

    std::vector<uint8_t> buffer(10);
    source.Seek(-5, TSeekOrigin::soEnd);
    try {
        source.ReadBuffer(buffer.data(), 10);
        FAIL() << "short read accepted";
    } catch (const EReadError& error) {
        EXPECT_NE(std::string(error.what()).find("5 of 10"), std::string::npos) << error.what();
    }
}
