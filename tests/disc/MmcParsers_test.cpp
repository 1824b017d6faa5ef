// Command blocks and the parsers of drive answers, with hostile answers.

#include "disc/dwMmc.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

using namespace disc;

TEST(MmcCommands, BuildersPutTheirFieldsBigEndian) {
    const Cdb speed = cdb::SetCdSpeed(0, 0);
    EXPECT_EQ(speed.length, 12);
    EXPECT_EQ(GetBe16(speed.bytes + 2), 0xFFFF);
    EXPECT_EQ(GetBe16(speed.bytes + 4), 0xFFFF);
    EXPECT_EQ(GetBe16(cdb::SetCdSpeed(1411, 5645).bytes + 4), 5645);

    const Cdb write = cdb::Write10(0x01020304, 0x0506);
    EXPECT_EQ(GetBe32(write.bytes + 2), 0x01020304u);
    EXPECT_EQ(GetBe16(write.bytes + 7), 0x0506);

    const Cdb close = cdb::CloseTrack(true, true, false);
    EXPECT_EQ(close.bytes[1], 1);
    EXPECT_EQ(close.bytes[2], 1);
    EXPECT_EQ(close.bytes[5], 0xFF);
    EXPECT_EQ(cdb::CloseTrack(false, false, true).bytes[2], 5);
    EXPECT_EQ(cdb::CloseTrack(false, false, false).bytes[2], 2);

    EXPECT_EQ(cdb::ModeSense10(0x2A, true, 255).bytes[2], 0xAA);
    EXPECT_EQ(cdb::ReadTrackInformation(0xFF, 40).bytes[1], 1);
    EXPECT_EQ(cdb::Blank(1, true).bytes[1], 0x11);
    EXPECT_EQ(cdb::StartStopUnit(true).bytes[4], 2);
    EXPECT_EQ(cdb::PreventAllowMediumRemoval(true).bytes[4], 0);
}

TEST(MmcParsers, ModePageIsFoundByTheBlockDescriptorLengthFirst) {
    // Page 2A behind an 8-byte block descriptor whose bytes would also look like a page.
    std::vector<uint8_t> answer(64, 0);
    answer[7] = 8;
    answer[16] = 0x2A;
    answer[17] = 0x1C;
    EXPECT_EQ(LocateModePage(answer.data(), answer.size(), 0x2A), 16);

    // Page at byte 8 with a maximum read speed of 0x2A00 KB/s: byte 16 holds 0x2A too.
    std::vector<uint8_t> plain(64, 0);
    plain[8] = 0x2A;
    plain[9] = 0x1C;
    plain[16] = 0x2A;
    EXPECT_EQ(LocateModePage(plain.data(), plain.size(), 0x2A), 8);
    CapabilitiesPage page;
    ASSERT_TRUE(ParseCapabilitiesPage(plain.data(), plain.size(), 8, page));
    EXPECT_EQ(page.MaxReadSpeed, 0x2A00);

    // A header that lies: the usual places are probed.
    std::vector<uint8_t> lying(64, 0);
    lying[6] = 0xFF;
    lying[7] = 0xFF;
    lying[7 + 0] = 0xFF;
    lying[8] = 0x05;
    EXPECT_EQ(LocateModePage(lying.data(), lying.size(), 0x05), 8);
    EXPECT_EQ(LocateModePage(lying.data(), 4, 0x05), -1);
}

TEST(MmcParsers, FormatCapacitiesPicksTheFormattableDescriptor) {
    auto answer = [](std::vector<std::array<uint32_t, 2>> descriptors) {
        std::vector<uint8_t> data(4 + 8 * descriptors.size(), 0);
        data[3] = static_cast<uint8_t>(8 * descriptors.size());
        for (size_t i = 0; i < descriptors.size(); ++i) {
            PutBe32(data.data() + 4 + 8 * i, descriptors[i][0]);
            PutBe32(data.data() + 8 + 8 * i, descriptors[i][1]);
        }
        return data;
    };
    uint32_t blocks = 0;
    auto plusRw = answer({{100, 0x02000800}, {2295104, 0x98000000}});
    ASSERT_TRUE(ParseFormatCapacities(plusRw.data(), plusRw.size(), blocks));
    EXPECT_EQ(blocks, 2295104u);
    auto third = answer({{100, 0x01000800}, {200, 0x40000010}, {300, 0x00000800}});
    ASSERT_TRUE(ParseFormatCapacities(third.data(), third.size(), blocks));
    EXPECT_EQ(blocks, 300u);
    auto first = answer({{100, 0x01000800}, {200, 0x40000010}});
    ASSERT_TRUE(ParseFormatCapacities(first.data(), first.size(), blocks));
    EXPECT_EQ(blocks, 100u);
    auto current = answer({{555, 0x00000800}, {200, 0x98000000}});
    ASSERT_TRUE(ParseFormatCapacities(current.data(), current.size(), blocks));
    EXPECT_EQ(blocks, 555u);

    // A list length beyond the bytes that arrived reads only what arrived.
    auto cut = answer({{100, 0x01000800}, {777, 0x00000800}});
    cut[3] = 0xF8;
    ASSERT_TRUE(ParseFormatCapacities(cut.data(), 12, blocks));
    EXPECT_EQ(blocks, 100u);
    std::vector<uint8_t> emptyList(12, 0);
    EXPECT_FALSE(ParseFormatCapacities(emptyList.data(), emptyList.size(), blocks));
}

TEST(MmcParsers, ShortOrAbsurdAnswersAreRefused) {
    std::vector<uint8_t> zeros(64, 0);
    TrackInformation track;
    EXPECT_FALSE(ParseTrackInformation(zeros.data(), 20, track));
    EXPECT_FALSE(ParseTrackInformation(zeros.data(), zeros.size(), track)) << "data length 0";
    DiscInformation disc;
    EXPECT_FALSE(ParseDiscInformation(zeros.data(), zeros.size(), disc));
    ConfigurationAnswer configuration;
    EXPECT_FALSE(ParseConfiguration(zeros.data(), zeros.size(), configuration));
    TMediaType type;
    uint32_t leadOut;
    EXPECT_FALSE(ParseAtip(zeros.data(), 10, type, leadOut));
    uint32_t size, freeSize;
    EXPECT_FALSE(ParseBufferCapacity(zeros.data(), 8, size, freeSize));
    EXPECT_EQ(IsoVolumeSpaceSize(zeros.data(), zeros.size()), 0u);

    // A track answer that claims more than arrived: the last recorded address is not read.
    std::vector<uint8_t> answer(28, 0);
    PutBe16(answer.data(), 38);
    answer[7] = 3;
    PutBe32(answer.data() + 12, 1234);
    PutBe32(answer.data() + 24, 5000);
    ASSERT_TRUE(ParseTrackInformation(answer.data(), answer.size(), track));
    EXPECT_EQ(track.NextWritableAddress, 1234u);
    EXPECT_EQ(track.TrackSize, 5000u);
    EXPECT_FALSE(track.LraValid);

    // A configuration header announcing a descriptor it does not carry.
    std::vector<uint8_t> header(8, 0);
    PutBe32(header.data(), 0xFFFFFFF0);
    PutBe16(header.data() + 6, 0x1A);
    ASSERT_TRUE(ParseConfiguration(header.data(), header.size(), configuration));
    EXPECT_EQ(configuration.CurrentProfile, 0x1A);
    EXPECT_FALSE(configuration.HasFeature);
}

TEST(MmcParsers, AtipTypesAndLeadOut) {
    std::vector<uint8_t> atip(28, 0);
    PutBe16(atip.data(), 26);
    atip[6] = 0xC0;
    atip[12] = 79, atip[13] = 59, atip[14] = 74;
    TMediaType type;
    uint32_t leadOut;
    ASSERT_TRUE(ParseAtip(atip.data(), atip.size(), type, leadOut));
    EXPECT_EQ(type, mtCDRW);
    EXPECT_EQ(leadOut, 359999u);
    atip[6] = 0x80;
    ASSERT_TRUE(ParseAtip(atip.data(), atip.size(), type, leadOut));
    EXPECT_EQ(type, mtCDR);
    atip[6] = 0x00;
    ASSERT_TRUE(ParseAtip(atip.data(), atip.size(), type, leadOut));
    EXPECT_EQ(type, mtCDROM);
    EXPECT_EQ(MsfToBlocks(1, 2, 3), 4653u);
}

TEST(MmcParsers, BufferCapacityTreatsUnknownFreeSpaceAsWholeBuffer) {
    std::vector<uint8_t> answer(12, 0);
    PutBe16(answer.data(), 10);
    PutBe32(answer.data() + 4, 2097152);
    PutBe32(answer.data() + 8, 0xFFFFFFFF);
    uint32_t size, freeSize;
    ASSERT_TRUE(ParseBufferCapacity(answer.data(), answer.size(), size, freeSize));
    EXPECT_EQ(freeSize, 2097152u);
}

TEST(WriteParameters, EachMediumGetsItsWriteTypeAndDvdRwIgnoresTestAndUnderrun) {
    auto fill = [](int medium, bool test, bool finalize) {
        std::vector<uint8_t> page(64, 0);
        page[0] = 0x05;
        WriteParameterOptions options;
        options.MediaType = medium;
        options.TestWrite = test;
        options.FinalizeDisc = finalize;
        options.UnderrunProtection = true;
        options.DriveTestWrite = true;
        options.DriveUnderrun = true;
        FillWriteParameters(page.data(), options);
        return page;
    };
    auto cd = fill(mtCDR, false, false);
    EXPECT_EQ(cd[1], 0x32);
    EXPECT_EQ(cd[2], 0x41);
    EXPECT_EQ(cd[3], 0xC4);
    EXPECT_EQ(cd[4], 8);
    EXPECT_EQ(GetBe16(cd.data() + 14), 150);
    EXPECT_EQ(fill(mtCDR, true, false)[3], 0x04) << "a test write closes the disc's multi-session";
    EXPECT_EQ(fill(mtCDR, true, false)[2], 0x51);
    EXPECT_EQ(fill(mtCDRW, false, true)[3], 0x04);
    auto dvdRw = fill(mtDVDRWRestricted, true, false);
    EXPECT_EQ(dvdRw[2], 0x20);
    EXPECT_EQ(dvdRw[3], 0xC5);
    EXPECT_EQ(dvdRw[5], 16);
    auto dvdR = fill(mtDVDR, false, false);
    EXPECT_EQ(dvdR[3], 0xE5);
    EXPECT_EQ(GetBe32(dvdR.data() + 10), 16u);
    EXPECT_EQ(fill(mtDVDPLUSR, false, false)[3], 0xC4);
    EXPECT_EQ(fill(mtDVDPLUSRW, false, false)[2], 0x62);
}

TEST(MmcParsers, InquiryStringsBlankControlBytes) {
    std::vector<uint8_t> answer(36, ' ');
    std::memcpy(answer.data() + 8, "VENDOR\x01X", 8);
    const InquiryStrings strings = ParseInquiryStrings(answer.data(), answer.size());
    EXPECT_EQ(strings.Vendor, "VENDOR X");
    EXPECT_EQ(strings.Product.size(), 16u);
    EXPECT_EQ(ParseInquiryStrings(answer.data(), 10).Vendor, "VE");
}
