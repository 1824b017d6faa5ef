// The drive queries over every simulated medium and disc state, and the drives that answer
// oddly: no profiles, zero speeds, no default page, a block descriptor.

#include "SimDriveWinSupport.h"

#include <windows.h>

#include "disc/dwASPI.h"
#include "disc/dwDrvLib.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

using namespace disc;
using disctest::SimFolder;

namespace {

struct Expected {
    int type;
    bool erasable;
    int status;
    int lastSession;
    uint32_t nwa, freeBlocks, capacity;
};

struct QueryCase {
    const char* media;
    const char* state;
    const char* discKeys; // Prefill, Closed, Formatted
    Expected expected;
};

// Two closed sessions: 40 blocks at 0 and 30 blocks one session gap on (CD 11,400, DVD 16,384).
#define CD_SESSIONS "Prefill=s1.iso@0,s2.iso@11440\n"
#define DVD_SESSIONS "Prefill=s1.iso@0,s2.iso@16424\n"

const QueryCase queryCases[] = {
    {"CD-R", "blank", "", {mtCDR, false, 0, 0, 0, 359849, 359999}},
    {"CD-R", "appendable", CD_SESSIONS, {mtCDR, false, 1, 2, 18370, 341479, 359999}},
    {"CD-R", "complete", CD_SESSIONS "Closed=1\n", {mtCDR, false, 2, 2, 11469, 0, 359999}},
    {"CD-RW", "blank", "", {mtCDRW, true, 0, 0, 0, 359849, 359999}},
    {"CD-RW", "appendable", CD_SESSIONS, {mtCDRW, true, 1, 2, 18370, 341479, 359999}},
    {"CD-RW", "complete", CD_SESSIONS "Closed=1\n", {mtCDRW, true, 2, 2, 11469, 0, 359999}},
    {"CD-ROM", "complete", CD_SESSIONS, {mtCDROM, false, 2, 2, 11469, 0, 11470}},
    {"DVD-ROM", "complete", DVD_SESSIONS, {mtDVDROM, false, 2, 2, 0, 0, 0}},
    {"DVD-R", "blank", "", {mtDVDR, false, 0, 0, 0, 2298496, 2298496}},
    {"DVD-R", "appendable", DVD_SESSIONS, {mtDVDR, false, 1, 2, 32838, 2265658, 2298496}},
    {"DVD-R", "complete", DVD_SESSIONS "Closed=1\n", {mtDVDR, false, 2, 2, 0, 0, 0}},
    {"DVD+R", "blank", "", {mtDVDPLUSR, false, 0, 0, 0, 2295104, 2295104}},
    {"DVD+R", "appendable", DVD_SESSIONS, {mtDVDPLUSR, false, 1, 2, 32838, 2262266, 2295104}},
    {"DVD+R", "complete", DVD_SESSIONS "Closed=1\n", {mtDVDPLUSR, false, 2, 2, 0, 0, 0}},
    {"DVD-RW-SEQ", "blank", "", {mtDVDRWSequential, true, 0, 0, 0, 2297888, 2297888}},
    {"DVD-RW-SEQ", "appendable", DVD_SESSIONS, {mtDVDRWSequential, true, 1, 2, 32838, 2265050, 2297888}},
    {"DVD-RW-SEQ", "complete", DVD_SESSIONS "Closed=1\n", {mtDVDRWSequential, true, 2, 2, 0, 0, 0}},
    // Overwritable media: one track over the whole disc, whatever was written on it.
    {"DVD-RW-RO", "empty", "", {mtDVDRWRestricted, true, 2, 1, 0, 2297888, 2297888}},
    {"DVD-RW-RO", "with data", "Prefill=iso70.iso@0\n", {mtDVDRWRestricted, true, 2, 1, 0, 2297888, 2297888}},
    {"DVD+RW", "unformatted", "Formatted=0\n", {mtDVDPLUSRW, true, 0, 0, 0, 2295104, 2295104}},
    {"DVD+RW", "empty", "", {mtDVDPLUSRW, true, 2, 1, 0, 2295104, 2295104}},
    {"DVD+RW", "with data", "Prefill=iso70.iso@0\n", {mtDVDPLUSRW, true, 2, 1, 70, 2295034, 2295104}},
    {"DVD-RAM", "empty", "", {mtDVDRAM, true, 3, 1, 0, 2236704, 2236704}},
    {"DVD-RAM", "with data", "Prefill=iso70.iso@0\n", {mtDVDRAM, true, 3, 1, 70, 2236634, 2236704}},
};

struct Drive {
    disctest::DiscTestScope scope;
    SimFolder folder;
    TSCSIDevice device;

    Drive(const std::string& driveKeys, const std::string& media, const std::string& discKeys) {
        folder.WriteFile("s1.iso", disctest::CraftedIso(40, 40));
        folder.WriteFile("s2.iso", disctest::CraftedIso(30, 30));
        folder.WriteFile("iso70.iso", disctest::CraftedIso(70, 70));
        // The first occurrence of a key wins, so the case's keys go before the defaults.
        folder.WriteIni(
            "[Bus]\nCompletion=sync\nLog=sim.log\n[Drive0]\n" + driveKeys +
            "Address=0:0:0\nLetter=E\nWrites=CD-R,CD-RW,DVD-R,DVD-RW,DVD+R,DVD+RW,DVD-RAM\nDisc=d0\n"
            "[Disc:d0]\nMedia=" +
            media + "\nImage=d0.img\n" + discKeys);
        EXPECT_TRUE(device.InitASPI(false, disctest::WindowsPath(TW_SIMDRIVE_DLL)));
        if (!device.DeviceList.empty()) device.SetDeviceID(device.DeviceList[0]);
    }
};

bool HasModeSelect(const std::string& log) {
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line))
        if (line.find(" 0:0:0 55 ") != std::string::npos) return true;
    return false;
}

} // namespace

TEST(DriveQueries, EveryMediumAndDiscStateAnswersRight) {
    for (const QueryCase& c : queryCases) {
        SCOPED_TRACE(std::string(c.media) + " " + c.state);
        Drive drive("", c.media, c.discKeys);
        ASSERT_TRUE(drive.device.DeviceSelected());
        TSCSIDevice& device = drive.device;
        const Expected& e = c.expected;
        EXPECT_EQ(device.GetMediaType(), e.type);
        EXPECT_EQ(device.IsErasable(), e.erasable);
        EXPECT_EQ(device.GetDiscStatus(), e.status);
        EXPECT_EQ(device.GetLastSession(), e.lastSession);
        EXPECT_EQ(device.GetNextWritableAddress(), e.nwa);
        EXPECT_EQ(device.GetFreeBlocks(), e.freeBlocks);
        EXPECT_EQ(device.GetDiscCapacity(), e.capacity);
    }
}

TEST(DriveQueries, NoDiscGivesTheFailureValues) {
    Drive drive("", "none", "");
    TSCSIDevice& device = drive.device;
    EXPECT_EQ(device.GetMediaType(), mtUnknown);
    EXPECT_EQ(device.GetDiscStatus(), -1);
    EXPECT_EQ(device.GetLastSession(), 0);
    EXPECT_EQ(device.GetFreeBlocks(), 0u);
    EXPECT_EQ(device.GetDiscCapacity(), 0u);
    EXPECT_EQ(device.GetISOVolumeSize(), 0u);
    EXPECT_EQ(device.LastError, "NOT READY (MEDIUM NOT PRESENT - TRAY CLOSED)");
}

TEST(DriveQueries, DriveWithoutProfilesTypesCdsFromAtip) {
    {
        Drive drive("Features=0\n", "CD-R", "");
        EXPECT_EQ(drive.device.GetMediaType(), mtCDR);
        EXPECT_TRUE(drive.device.CapabilitySet & dcWriteCDR) << "page 2A still read";
        EXPECT_FALSE(drive.device.CapabilitySet & dcWriteDVDPLUSRW);
    }
    {
        Drive drive("Features=0\n", "CD-RW", "");
        EXPECT_EQ(drive.device.GetMediaType(), mtCDRW);
    }
    {
        Drive drive("Features=0\n", "CD-ROM", CD_SESSIONS);
        EXPECT_EQ(drive.device.GetMediaType(), mtCDROM) << "a pressed CD has no ATIP";
    }
}

TEST(DriveQueries, CapabilitiesComeFromPage2AAndFeatures) {
    Drive drive("", "CD-R", "");
    const uint32_t set = drive.device.CapabilitySet;
    for (uint32_t bit : {dcReadCDR, dcReadCDRW, dcReadDVD, dcReadDVDR, dcReadDVDRAM, dcReadDVDPLUSRW,
                         dcWriteCDR, dcWriteCDRW, dcWriteTest, dcWriteDVDR, dcWriteDVDRW, dcWriteDVDRAM,
                         dcWriteDVDPLUSR, dcWriteDVDPLUSRW, dcUnderrunProtection})
        EXPECT_TRUE(set & bit) << bit;
    EXPECT_EQ(drive.device.DeviceMaxWriteSpeed, 7056);
    EXPECT_EQ(drive.device.GetMaxReadSpeed(), 7056);

    Drive reader("Writes=\nUnderrun=none\nTestWrite=0\n", "CD-ROM", CD_SESSIONS);
    EXPECT_EQ(reader.device.CapabilitySet & WriterCapabilities, 0u);
    EXPECT_FALSE(reader.device.CapabilitySet & dcUnderrunProtection);

    Drive page30("Underrun=page30\n", "CD-R", "");
    EXPECT_TRUE(page30.device.CapabilitySet & dcUnderrunProtection);
}

TEST(DriveQueries, ZeroSpeedsAreTakenAsOneDvdSpeed) {
    Drive drive("ZeroSpeeds=1\n", "DVD-R", "");
    EXPECT_EQ(drive.device.GetMaxWriteSpeed(), 1385);
    EXPECT_EQ(drive.device.GetCurrentWriteSpeed(), 1385);
}

TEST(DriveQueries, FailingDefaultPageLeavesAnEmptySetWithSpeeds) {
    Drive drive("DefaultPage2A=0\n", "CD-R", "");
    EXPECT_EQ(drive.device.CapabilitySet, 0u);
    EXPECT_EQ(drive.device.DeviceMaxWriteSpeed, 7056);
    EXPECT_EQ(drive.device.GetMaxWriteSpeed(), 7056);
}

TEST(DriveQueries, PageIsFoundBehindABlockDescriptorAndBesideLookalikeSpeeds) {
    for (const char* keys : {"BlockDescriptor=1\nCDSpeeds=706,10800\n", "CDSpeeds=706,10800\n"}) {
        SCOPED_TRACE(keys);
        Drive drive(keys, "CD-R", "");
        EXPECT_EQ(drive.device.GetMaxReadSpeed(), 10800) << "0x2A30 KB/s";
        EXPECT_TRUE(drive.device.CapabilitySet & dcWriteCDR);
    }
}

TEST(DriveQueries, DvdRamNeverReceivesWriteParameters) {
    Drive drive("", "DVD-RAM", "Prefill=iso70.iso@0\n");
    const size_t before = drive.folder.Log().size();
    TSCSIDevice& device = drive.device;
    EXPECT_EQ(device.GetMediaType(), mtDVDRAM);
    EXPECT_TRUE(device.SetWriteParameters(true, true, mtDVDRAM));
    device.GetNextWritableAddress();
    device.GetFreeBlocks();
    device.GetDiscCapacity();
    EXPECT_FALSE(HasModeSelect(drive.folder.Log().substr(before)));
}

TEST(DriveQueries, WriteParametersReachTheDrive) {
    Drive drive("", "DVD-RW-RO", "");
    TSCSIDevice& device = drive.device;
    ASSERT_TRUE(device.SetWriteParameters(true, true, mtDVDRWRestricted));
    EXPECT_EQ(device.WriteParametersPage[2], 0x20) << "no test or underrun bit for DVD-RW";
    uint8_t page[512];
    ASSERT_TRUE(device.ModeSense(0x05, page, false, sizeof page, sizeof page));
    EXPECT_EQ(page[8 + 2], 0x20);
    EXPECT_EQ(page[8 + 3], 0xC5);

    Drive cd("", "CD-R", "");
    ASSERT_TRUE(cd.device.SetWriteParameters(true, true, mtCDR));
    EXPECT_EQ(cd.device.WriteParametersPage[2], 0x51);
    EXPECT_EQ(cd.device.WriteParametersPage[3], 0x04);
}

namespace {

// A drive in memory whose READ TRACK INFORMATION answers are changed on their way back.
class AlteredTrackAnswers : public sim::SimPassThroughPort {
  public:
    using SimPassThroughPort::SimPassThroughPort;
    std::function<void(uint8_t* answer)> alter;
    bool PassThrough(uintptr_t handle, PassThroughRequest& request) override {
        const bool ok = SimPassThroughPort::PassThrough(handle, request);
        if (ok && alter && request.Cdb[0] == 0x52 && request.DataTransferLength >= 28)
            alter(static_cast<uint8_t*>(request.DataBuffer));
        return ok;
    }
};

void Put32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

} // namespace

// Counts a drive does not know (0xFFFFFFFF) are no room, and sums of its answers that run past
// any disc do not wrap round to a capacity below the next writable address.
TEST(DriveQueries, UnknownCountsFromTheDriveGiveNoRoom) {
    struct Case {
        const char* media;
        bool freeUnknown, sizeUnknown, lastRecorded;
        uint32_t freeBlocks, capacity;
    } cases[] = {
        {"CD-R", true, false, false, 359849, 359999}, {"CD-R", true, true, false, 0, 359999},
        {"DVD-R", true, false, true, 0, 1000},        {"DVD-R", false, true, false, 0, 2298496 + 1000},
        {"DVD+R", true, false, true, 0, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.media) + (c.freeUnknown ? " free" : "") + (c.sizeUnknown ? " size" : ""));
        disctest::DiscTestScope scope;
        sim::MemoryFiles files;
        files.WriteText("mem/simdrive.ini", std::string("[Bus]\nCompletion=sync\n[Drive0]\nAddress=0:0:0\n"
                                                        "Letter=E\nDisc=d0\nBusyPolls=0\n[Disc:d0]\nMedia=") +
                                                c.media + "\nImage=d0.img\n");
        sim::Bus bus(files);
        ASSERT_TRUE(bus.Open("mem/simdrive.ini"));
        AlteredTrackAnswers port(bus);
        UnloadASPI();
        ShutEmulationTable();
        SetPassThroughPort(&port);
        port.alter = [&c](uint8_t* answer) {
            if (answer[6] & 0x40) { // the blank invisible track
                Put32(answer + 12, 1000);
                if (c.lastRecorded) answer[7] |= 2;
                if (c.freeUnknown) Put32(answer + 16, 0xFFFFFFFF);
                if (c.sizeUnknown) Put32(answer + 24, 0xFFFFFFFF);
            }
        };
        {
            TSCSIDevice device;
            ASSERT_TRUE(device.InitASPI(true, ""));
            ASSERT_FALSE(device.DeviceList.empty());
            device.SetDeviceID(device.DeviceList[0]);
            device.GetMediaType();
            EXPECT_EQ(device.GetFreeBlocks(), c.freeBlocks);
            EXPECT_EQ(device.GetDiscCapacity(), c.capacity);
            device.DoneASPI();
        }
        UnloadASPI();
        ShutEmulationTable();
        SetPassThroughPort(nullptr);
    }
}
