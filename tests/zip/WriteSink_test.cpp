// The write sink over a drive double that can corrupt what it reads back, fill up, and
// report its kind.

#include "zip/WriteSink.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using zip::kSinkBufferSize;

class TDriveDouble : public zip::TSinkFile {
  public:
    explicit TDriveDouble(std::string name = "D:\\out.zip") : name_(std::move(name)) {}
    const std::string& Name() const override { return name_; }
    int64_t Position() override { return position; }
    void Seek(int64_t at) override { position = at; }
    size_t Write(const uint8_t* data, size_t count) override {
        if (roomLeft < count && failWith != 0) throw gui::EWriteError("Cannot write file", failWith);
        if (roomLeft < count) count = roomLeft;
        roomLeft -= count;
        writes.push_back({position, count, count ? data[0] : uint8_t(0)});
        if (bytes.size() < size_t(position) + count) bytes.resize(size_t(position) + count);
        std::copy(data, data + count, bytes.begin() + position);
        position += static_cast<int64_t>(count);
        return count;
    }
    int64_t Size() override { return sizeOffset + static_cast<int64_t>(bytes.size()); }
    void Close() override { ++closes; }
    void Reopen() override {
        ++reopens;
        position = static_cast<int64_t>(bytes.size());
    }
    bool ReadBack(int64_t at, uint8_t* buffer, size_t count) override {
        ++readBacks;
        std::copy(bytes.begin() + at, bytes.begin() + at + static_cast<int64_t>(count), buffer);
        if (corrupt) buffer[0] ^= 1;
        return true;
    }
    std::string DriveType() override { return driveType; }
    std::unique_ptr<gui::TStream> OpenStaging() override {
        ++stagingOpens;
        auto stream = std::make_unique<gui::TMemoryStream>();
        stream->Write(staged.data(), staged.size());
        return std::unique_ptr<gui::TStream>(new TStagingView(*this, std::move(stream)));
    }
    void DeleteStaging() override {
        ++stagingDeletes;
        staged.clear();
    }

    struct TWrite {
        int64_t at;
        size_t count;
        uint8_t first;
    };
    std::vector<uint8_t> bytes, staged;
    std::vector<TWrite> writes;
    int64_t position = 0, sizeOffset = 0;
    size_t roomLeft = SIZE_MAX;
    uint32_t failWith = 0; // a write past the room fails with this system error (Win32's way)
    bool corrupt = false;
    std::string driveType = "Fixed";
    int closes = 0, reopens = 0, readBacks = 0, stagingOpens = 0, stagingDeletes = 0;

  private:
    // Keeps what the sink stages visible to the test after the sink lets go of it.
    class TStagingView : public gui::TStream {
      public:
        TStagingView(TDriveDouble& owner, std::unique_ptr<gui::TMemoryStream> s)
            : owner_(owner), s_(std::move(s)) {}
        ~TStagingView() override { owner_.staged.assign(s_->Memory(), s_->Memory() + s_->Size()); }
        size_t Read(void* b, size_t c) override { return s_->Read(b, c); }
        size_t Write(const void* b, size_t c) override { return s_->Write(b, c); }
        int64_t Seek(int64_t o, gui::TSeekOrigin origin) override { return s_->Seek(o, origin); }
        void SetSize(int64_t n) override { s_->SetSize(n); }

      private:
        TDriveDouble& owner_;
        std::unique_ptr<gui::TMemoryStream> s_;
    };
    std::string name_;
};

void Put(zip::TWriteSink& sink, size_t count, uint8_t value, bool flush = false) {
    std::fill(sink.StagingBuffer(), sink.StagingBuffer() + count, value);
    sink.WriteToSink(count, flush);
}

TEST(WriteSink, WritesWholeMegabytesAndFlushesAtExactlyTheLastByte) {
    TDriveDouble drive;
    zip::TWriteSink sink(drive);
    Put(sink, kSinkBufferSize - 1, 7);
    EXPECT_TRUE(drive.writes.empty());
    Put(sink, 1, 8);
    ASSERT_EQ(drive.writes.size(), 1u);
    EXPECT_EQ(drive.writes[0].count, kSinkBufferSize);
    Put(sink, 10, 9, true);
    ASSERT_EQ(drive.writes.size(), 2u);
    EXPECT_EQ(drive.writes[1].count, 10u);
    EXPECT_EQ(drive.closes, 0); // no verify, no 50,000,000 mark: the file stays open
}

TEST(WriteSink, HeaderPatchesLandInTheBufferAndAcrossAFlush) {
    TDriveDouble drive;
    zip::TWriteSink sink(drive);
    Put(sink, 100, 1);
    const uint8_t header[] = {0xA, 0xB, 0xC, 0xD};
    std::copy(header, header + 4, sink.StagingBuffer());
    sink.WriteAt(4, 11);
    Put(sink, kSinkBufferSize - 102, 2);
    std::copy(header, header + 4, sink.StagingBuffer());
    sink.WriteAt(4, kSinkBufferSize - 1); // two bytes fill the buffer, two start the next
    EXPECT_EQ(sink.Waiting(), 2u);
    Put(sink, 0, 0, true);
    ASSERT_EQ(drive.bytes.size(), kSinkBufferSize + 2);
    EXPECT_EQ(std::vector<uint8_t>(drive.bytes.begin() + 10, drive.bytes.begin() + 14),
              std::vector<uint8_t>(header, header + 4));
    EXPECT_EQ(std::vector<uint8_t>(drive.bytes.end() - 4, drive.bytes.end()),
              std::vector<uint8_t>(header, header + 4));
    EXPECT_THROW(sink.WriteAt(4, kSinkBufferSize + 1), zip::EWrongFileSize);
}

TEST(WriteSink, ReadBackOnlyOnDrivesThatCanBeTrustedToReadBack) {
    for (const char* type : {"Fixed", "Remote", "RamDisk", "Removable", "CDROM"}) {
        SCOPED_TRACE(type);
        TDriveDouble drive;
        drive.driveType = type;
        zip::TWriteSink sink(drive);
        sink.WriteVerify = true;
        Put(sink, kSinkBufferSize, 3);
        const bool readsBack = std::string(type) != "Removable" && std::string(type) != "CDROM";
        EXPECT_EQ(drive.readBacks, readsBack ? 1 : 0);
        EXPECT_EQ(drive.closes, 1);
        EXPECT_EQ(drive.reopens, 1);
    }
}

TEST(WriteSink, CorruptReadBackRetriesWithFillPatternsThenFails) {
    TDriveDouble drive;
    drive.corrupt = true;
    zip::TWriteSink sink(drive);
    sink.WriteVerify = true;
    try {
        Put(sink, 1000, 0x42, true);
        FAIL() << "no exception";
    } catch (const zip::EDiscWriteError& e) {
        EXPECT_NE(std::string(e.what()).find("Data written to D:, differs"), std::string::npos);
    }
    std::vector<uint8_t> firsts;
    for (const auto& w : drive.writes) {
        EXPECT_EQ(w.at, 0);
        firsts.push_back(w.first);
    }
    std::vector<uint8_t> expected = {0x42};
    for (int pass = 2; pass <= 19; ++pass) {
        expected.insert(expected.end(), {0xFF, 0x00});
        if (pass % 2 == 0) expected.push_back(0xFF);
        expected.push_back(0x42);
    }
    EXPECT_EQ(firsts, expected);
    EXPECT_EQ(drive.readBacks, 19);
}

TEST(WriteSink, FullMediumEndsAtOnce) {
    TDriveDouble drive;
    drive.roomLeft = 500;
    zip::TWriteSink sink(drive);
    EXPECT_THROW(Put(sink, 1000, 1, true), zip::ENotEnoughRoom);
    EXPECT_EQ(drive.writes.size(), 1u);
    // A write failed as the disk is full (ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL) is a full
    // medium too; another failure (access denied) passes as it is.
    for (const uint32_t error : {112u, 39u, 5u}) {
        SCOPED_TRACE(error);
        for (bool staged : {false, true}) {
            TDriveDouble failing;
            failing.roomLeft = 500;
            failing.failWith = error;
            zip::TWriteSink failingSink(failing);
            failingSink.UseTempFile = staged;
            if (error == 5)
                EXPECT_THROW(Put(failingSink, 1000, 1, true), gui::EWriteError);
            else
                EXPECT_THROW(Put(failingSink, 1000, 1, true), zip::ENotEnoughRoom);
            EXPECT_TRUE(failing.writes.empty());
        }
    }
}

TEST(WriteSink, ReopensAtEveryFiftyMillionBytesAndPausesOnRemovableMedia) {
    for (const char* type : {"Fixed", "Removable", "CDROM"}) {
        SCOPED_TRACE(type);
        TDriveDouble drive("E:\\set.zip");
        drive.driveType = type;
        drive.sizeOffset = zip::kReopenEvery - 10;
        zip::TWriteSink sink(drive);
        std::vector<int> waits;
        sink.WaitSeconds = [&](int seconds) { waits.push_back(seconds); };
        Put(sink, 5, 1, true);
        EXPECT_EQ(drive.reopens, 0);
        Put(sink, 5, 1, true);
        EXPECT_EQ(drive.closes, 1);
        EXPECT_EQ(drive.reopens, 1);
        EXPECT_EQ(waits, std::string(type) == "Fixed" ? std::vector<int>{} : std::vector<int>{10});
        Put(sink, 5, 1, true); // the same mark does not reopen again
        EXPECT_EQ(drive.reopens, 1);
    }
}

TEST(WriteSink, StagingRouteCollectsUntilAMegabyteOrTheEnd) {
    TDriveDouble drive;
    zip::TWriteSink sink(drive);
    sink.UseTempFile = true;
    Put(sink, 30, 1);
    Put(sink, 70, 2);
    const uint8_t header[] = {9, 9};
    std::copy(header, header + 2, sink.StagingBuffer());
    sink.WriteAt(2, 0);
    EXPECT_TRUE(drive.writes.empty());
    Put(sink, 50, 3, true);
    ASSERT_EQ(drive.bytes.size(), 150u);
    EXPECT_EQ(drive.bytes[0], 9);
    EXPECT_EQ(drive.bytes[2], 1);
    EXPECT_EQ(drive.bytes[149], 3);
    EXPECT_EQ(drive.stagingDeletes, 1);

    Put(sink, kSinkBufferSize, 4);
    sink.WriteAt(0, 0); // a staging file of a megabyte goes out with the next header patch
    EXPECT_EQ(drive.bytes.size(), 150u + kSinkBufferSize);
    EXPECT_EQ(drive.stagingDeletes, 2);
}

} // namespace
