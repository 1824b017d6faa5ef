// The directory work file's write-behind stream over a file double that counts its writes
// and can fill up: records gathered into few writes, read back and rewritten in place as the
// volume code does, and a full disk reported, not lost.

#include "zip/WriteBehindStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

namespace {

class TCountingFile : public gui::TMemoryStream {
  public:
    size_t Write(const void* buffer, size_t count) override {
        ++writes;
        const size_t room = static_cast<size_t>(std::max<int64_t>(0, limit - Position()));
        return gui::TMemoryStream::Write(buffer, std::min(count, room));
    }
    int writes = 0;
    int64_t limit = INT64_MAX;
};

std::vector<uint8_t> Record(int n, size_t size) {
    std::vector<uint8_t> record(size);
    std::iota(record.begin(), record.end(), static_cast<uint8_t>(n));
    return record;
}

TEST(WriteBehindStream, GathersRecordsAndReadsBackWhatWasWritten) {
    auto owned = std::make_unique<TCountingFile>();
    TCountingFile& file = *owned;
    zip::TWriteBehindStream stream(std::move(owned), 1000);
    std::vector<uint8_t> expected;
    for (int n = 0; n < 100; ++n) {
        const std::vector<uint8_t> record = Record(n, 46 + n % 7);
        stream.WriteBuffer(record.data(), record.size());
        expected.insert(expected.end(), record.begin(), record.end());
        EXPECT_EQ(stream.Size(), static_cast<int64_t>(expected.size()));
        EXPECT_EQ(stream.Position(), static_cast<int64_t>(expected.size()));
    }
    const std::vector<uint8_t> large = Record(7, 2500); // larger than the buffer: written through
    stream.WriteBuffer(large.data(), large.size());
    expected.insert(expected.end(), large.begin(), large.end());
    EXPECT_LE(file.writes, 8);

    // A record rewritten in place, then more appended at the end.
    const std::vector<uint8_t> patch = Record(200, 46);
    stream.SetPosition(46);
    stream.WriteBuffer(patch.data(), patch.size());
    std::copy(patch.begin(), patch.end(), expected.begin() + 46);
    stream.Seek(0, gui::TSeekOrigin::soEnd);
    const std::vector<uint8_t> tail = Record(9, 30);
    stream.WriteBuffer(tail.data(), tail.size());
    expected.insert(expected.end(), tail.begin(), tail.end());

    std::vector<uint8_t> read(expected.size());
    stream.SetPosition(0);
    stream.ReadBuffer(read.data(), read.size());
    EXPECT_EQ(read, expected);
    EXPECT_EQ(std::vector<uint8_t>(file.Memory(), file.Memory() + file.Size()), expected);
}

TEST(WriteBehindStream, AFullDiskIsReportedWhenTheGatheredBytesGoOut) {
    auto owned = std::make_unique<TCountingFile>();
    owned->limit = 100;
    zip::TWriteBehindStream stream(std::move(owned), 1000);
    const std::vector<uint8_t> record = Record(1, 60);
    stream.WriteBuffer(record.data(), record.size());
    stream.WriteBuffer(record.data(), record.size());
    EXPECT_THROW(stream.SetPosition(0), gui::EWriteError);
    EXPECT_THROW(stream.Flush(), gui::EWriteError);
}

} // namespace
