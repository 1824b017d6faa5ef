// Streaming a laid-out session: block padding, the post gap, and sources that change or
// vanish between layout and writing.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

#include "IsoSupport.h"
#include "disc/IsoRecords.h"
#include "disc/IsoStream.h"

namespace disc {
namespace {

using namespace test;

uint64_t StreamedBytes(IsoImageStream& stream, std::string* data = nullptr) {
    std::vector<uint8_t> buffer(55296); // a CD payload: blocks end in the middle of files
    uint64_t total = 0;
    for (int64_t got; (got = stream.Read(buffer.data(), buffer.size())) > 0;) {
        total += static_cast<uint64_t>(got);
        if (data) data->append(reinterpret_cast<char*>(buffer.data()), static_cast<size_t>(got));
    }
    return total;
}

TEST(IsoStream, FilesArePaddedToBlocksAndSmallSessionsToThePostGap) {
    TempFolder temp;
    WriteBytes(temp / "a", Pattern(3000, 1));
    WriteBytes(temp / "b", Pattern(2048, 2));
    TIsoImage image;
    image.InsertFile(temp / "a", "\\");
    image.InsertFile(temp / "b", "\\");
    image.PrepareImage(0);
    image.BuildImageHead();

    IsoImageStream unpadded(image, false);
    std::string data;
    EXPECT_EQ(StreamedBytes(unpadded, &data), (150u + 2 + 1) * kBlockSize) << "3,000 bytes take two blocks";
    EXPECT_EQ(data.substr(150 * kBlockSize, 3000), Pattern(3000, 1));
    EXPECT_EQ(data.substr(150 * kBlockSize + 3000, 1096), std::string(1096, '\0'));
    EXPECT_EQ(data.substr(152 * kBlockSize), Pattern(2048, 2));

    IsoImageStream padded(image, true);
    EXPECT_EQ(StreamedBytes(padded), 614400u);
    EXPECT_TRUE(padded.Error().empty());
}

TEST(IsoStream, SourceDeletedOrResizedAfterLayoutStopsTheWriteNamingIt) {
    TempFolder temp;
    WriteBytes(temp / "first", Pattern(5000, 1));
    WriteBytes(temp / "second", Pattern(5000, 2));
    TIsoImage image;
    image.InsertFile(temp / "first", "\\");
    image.InsertFile(temp / "second", "\\");
    image.PrepareImage(0);
    image.BuildImageHead();
    std::string error;

    std::remove((temp / "second").c_str());
    EXPECT_FALSE(WriteIsoFile(image, temp / "out.iso", error));
    EXPECT_EQ(error, "CAN'T OPEN FILE \"" + (temp / "second") + "\" OR FILE IS IN USES BY OTHER SOFTWARE");

    for (size_t size : {4999u, 5001u}) {
        WriteBytes(temp / "second", Pattern(size, 2));
        EXPECT_FALSE(WriteIsoFile(image, temp / "out.iso", error)) << size;
        EXPECT_EQ(error, "FILE \"" + (temp / "second") + "\" CHANGED SIZE AFTER LAYOUT");
    }
    WriteBytes(temp / "second", Pattern(5000, 2));
    EXPECT_TRUE(WriteIsoFile(image, temp / "out.iso", error)) << error;

    std::atomic<bool> cancel{true};
    EXPECT_FALSE(WriteIsoFile(image, temp / "out.iso", error, &cancel));
    EXPECT_EQ(error, "OPERATION ABORTED BY USER");
    EXPECT_FALSE(WriteIsoFile(image, temp / "no such folder/out.iso", error));
    EXPECT_NE(error.find("CAN'T CREATE FILE"), std::string::npos);
}

} // namespace
} // namespace disc
