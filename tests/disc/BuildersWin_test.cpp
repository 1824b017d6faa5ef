// Every command builder against the simulated drive: what reaches the drive (the fixture's
// log) and what comes back.

#include "SimDriveWinSupport.h"

#include <windows.h>

#include "disc/dwDrvLib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace disc;
using disctest::SimFolder;

namespace {

struct Writer {
    disctest::DiscTestScope scope;
    SimFolder folder;
    TSCSIDevice device;

    explicit Writer(const std::string& media) {
        folder.WriteIni("[Bus]\nCompletion=sync\nLog=sim.log\n[Drive0]\nAddress=0:0:0\nLetter=E\n"
                        "Writes=CD-R,CD-RW,DVD-R,DVD-RW,DVD+R,DVD+RW,DVD-RAM\nBusyPolls=2\nDisc=d0\n"
                        "[Disc:d0]\nMedia=" +
                        media + "\n");
        EXPECT_TRUE(device.InitASPI(false, disctest::WindowsPath(TW_SIMDRIVE_DLL)));
        if (!device.DeviceList.empty()) device.SetDeviceID(device.DeviceList[0]);
    }
    bool Sent(const std::string& cdbHex) {
        return folder.Log().find(" 0:0:0 " + cdbHex) != std::string::npos;
    }
};

} // namespace

TEST(Builders, SequentialWriteCommandsReachTheDriveAsBuilt) {
    Writer writer("DVD-R");
    TSCSIDevice& device = writer.device;
    ASSERT_TRUE(device.DeviceSelected());
    EXPECT_TRUE(device.Rezero());
    uint8_t sense[18];
    EXPECT_TRUE(device.RequestSense(sense, sizeof sense));
    EXPECT_TRUE(device.LockMedium(false));
    EXPECT_TRUE(writer.Sent("1e 00 00 00 01 00"));
    EXPECT_TRUE(device.LockMedium(true));
    EXPECT_TRUE(writer.Sent("1e 00 00 00 00 00"));
    uint32_t blocks = 0, blockLength = 0;
    EXPECT_TRUE(device.ReadFormatCapacities(blocks, blockLength));
    EXPECT_EQ(blocks, 2298496u);
    EXPECT_EQ(blockLength, 2048u);
    EXPECT_TRUE(device.SetWriteParameters(false, true, mtDVDR));
    EXPECT_TRUE(device.SendOPC());
    EXPECT_TRUE(writer.Sent("54 01 00"));
    EXPECT_TRUE(device.ReserveTrack(1000));
    EXPECT_TRUE(writer.Sent("53 00 00 00 00 00 00 03 e8 00"));
    EXPECT_TRUE(device.SendTimeStamp(46000.5)); // 2025-12-09 12:00:00
    EXPECT_TRUE(writer.Sent("bf 00 00 00 00 00 00 0f 00 16"));
    EXPECT_NE(writer.folder.Log().find("32 30 32 35 31 32 30 39 31 32 30 30 30 30"), std::string::npos);
    uint8_t streaming[28] = {};
    PutBe32(streaming + 20, 5540);
    PutBe32(streaming + 24, 1000);
    EXPECT_TRUE(device.SetStreaming(streaming, sizeof streaming));
    EXPECT_EQ(device.GetCurrentWriteSpeed(), 5540);

    std::vector<uint8_t> data(16 * 2048);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7);
    EXPECT_TRUE(device.Write10(0, 16, FlagsOut, static_cast<uint32_t>(data.size()), data.data()));
    EXPECT_TRUE(device.SyncCache(10000, false));
    std::vector<uint8_t> back(data.size());
    EXPECT_TRUE(device.Read10(0, 16, static_cast<uint32_t>(back.size()), back.data()));
    EXPECT_EQ(back, data);
    ASSERT_TRUE(device.ReadTrackInformation(1));
    EXPECT_EQ(device.TrackInfo.NextWritableAddress, 16u);
    EXPECT_TRUE(device.TrackInfo.NwaValid);

    EXPECT_TRUE(device.CloseTrack(true, false, false));
    EXPECT_TRUE(writer.Sent("5b 00 01 00 00 ff"));
    EXPECT_TRUE(device.CloseTrackSession(false, 2, 0));
    EXPECT_EQ(device.GetDiscStatus(), 1);
    uint32_t lastBlock = 0;
    EXPECT_TRUE(device.ReadCapacity(lastBlock, blockLength));
    EXPECT_EQ(lastBlock, 15u);

    // Commands this medium or drive refuses come back as their texts.
    uint8_t toc[26];
    EXPECT_FALSE(device.ReadTOC(4, toc, 0, true, 0, sizeof toc));
    EXPECT_EQ(device.LastError, "ILLEGAL REQUEST (INVALID FIELD IN CDB)");
    uint8_t cue[8] = {};
    EXPECT_FALSE(device.SendCueSheet(cue, sizeof cue));
    EXPECT_EQ(device.LastError, "ILLEGAL REQUEST (INVALID COMMAND OPERATION CODE)");
    EXPECT_FALSE(device.Write10(100, 1, FlagsOut, 2048, data.data()));
    EXPECT_EQ(device.LastError, "ILLEGAL REQUEST (INVALID ADDRESS FOR WRITE)");
    EXPECT_FALSE(device.Read10(0, 2, 2048, back.data())) << "a buffer shorter than the blocks";
    EXPECT_EQ(device.LastError, "DATA OVERRUN");
}

TEST(Builders, ErasingAndFormattingEmptyTheDisc) {
    {
        Writer writer("CD-RW");
        TSCSIDevice& device = writer.device;
        std::vector<uint8_t> data(2048, 0x33);
        EXPECT_FALSE(device.Write10(0, 1, FlagsOut, 2048, data.data())) << "the probe left track mode 0";
        EXPECT_EQ(device.LastError, "ILLEGAL REQUEST (ILLEGAL MODE FOR THIS TRACK)");
        ASSERT_TRUE(device.SetWriteParameters(false, true, mtCDRW));
        ASSERT_TRUE(device.Write10(0, 1, FlagsOut, 2048, data.data()));
        EXPECT_EQ(device.GetDiscStatus(), 1);
        EXPECT_TRUE(device.Blank(1));
        EXPECT_TRUE(writer.Sent("a1 11 00"));
        EXPECT_FALSE(device.TestUnitReady(5000));
        EXPECT_EQ(device.LastError, "NOT READY (LOGICAL UNIT NOT READY, OPERATION IN PROGRESS)");
        EXPECT_TRUE(device.WaitReady(60000, 1000));
        EXPECT_EQ(device.GetDiscStatus(), 0);
    }
    {
        Writer writer("DVD+RW");
        TSCSIDevice& device = writer.device;
        uint8_t list[12] = {0, 0x02, 0, 8};
        PutBe32(list + 4, 2295104);
        list[8] = 0x26 << 2;
        EXPECT_TRUE(device.FormatUnit(0x11, list, sizeof list));
        EXPECT_TRUE(writer.Sent("04 11 00"));
        EXPECT_TRUE(device.WaitReady(60000, 1000));
        EXPECT_FALSE(device.Blank(0));
        EXPECT_EQ(device.LastError, "ILLEGAL REQUEST (CANNOT WRITE MEDIUM - INCOMPATIBLE FORMAT)");
    }
}
