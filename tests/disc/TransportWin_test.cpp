// The SCSI transport: loading the driver library or the pass-through emulation, and the
// emulation end to end over the port double and the simulated drives.

#include "SimDriveWinSupport.h"

#include <windows.h>

#include "disc/dwASPI.h"
#include "disc/dwDrvLib.h"
#include "disc/dwSPTI.h"
#include "disc/dwSrb.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace disc;
using disctest::SimFolder;

namespace {

const char* const twoUnaddressedDrives =
    "[Bus]\nCompletion=sync\nLog=sim.log\n"
    "[Drive0]\nAddress=0:0:0\nLetter=E\nAddressQuery=0\nWrites=CD-R\nDisc=d0\n"
    "[Drive1]\nAddress=0:1:0\nLetter=F\nAddressQuery=0\nProduct=SECOND\nDisc=d1\n"
    "[Disc:d0]\nMedia=CD-R\n[Disc:d1]\nMedia=none\n";

// The simulated bus behind a port double, as the emulation sees real drives.
struct EmulatedDrives {
    sim::StdFiles files;
    sim::Bus bus{files};
    sim::SimPassThroughPort port{bus};
    explicit EmulatedDrives(SimFolder& folder, const std::string& ini) {
        folder.WriteIni(ini);
        EXPECT_TRUE(bus.Open(folder.File("simdrive.ini")));
        SetPassThroughPort(&port);
    }
};

uint32_t Execute(SRB_ExecSCSICmd& srb, uint8_t ha, uint8_t target, std::initializer_list<uint8_t> cdb,
                 uint8_t flags, void* buffer, uint32_t length) {
    srb = {};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = ha;
    srb.SRB_Target = target;
    srb.SRB_Flags = flags;
    srb.SRB_BufLen = length;
    srb.SRB_BufPointer = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer));
    srb.SRB_SenseLen = 24;
    srb.SRB_CDBLen = static_cast<uint8_t>(cdb.size());
    std::copy(cdb.begin(), cdb.end(), srb.CDBByte);
    return Transport().SendCommand(&srb);
}

} // namespace

TEST(Transport, EmulationPutsUnaddressedDrivesOnOneMadeUpAdapter) {
    disctest::DiscTestScope scope;
    SimFolder folder;
    EmulatedDrives drives(folder, twoUnaddressedDrives);
    ASSERT_TRUE(LoadASPI(true, ""));
    EXPECT_EQ(Transport().Name, "INTASPI");
    EXPECT_EQ(Transport().GetSupportInfo(), 0x0102u) << "adapter 0 empty, adapter 1 made up";
    EXPECT_EQ(DriveLetterOf(1, 0, 0), 'E');
    EXPECT_EQ(DriveLetterOf(1, 1, 0), 'F');
    EXPECT_EQ(DriveLetterOf(0, 0, 0), char(127));

    SRB_HAInquiry inquiry = {};
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    inquiry.SRB_HaId = 1;
    EXPECT_EQ(Transport().SendCommand(&inquiry), SS_COMP);
    EXPECT_STREQ(inquiry.HA_ManagerId, "Internal ASPI");
    EXPECT_STREQ(inquiry.HA_Identifier, "SPTI 1");
    inquiry.SRB_HaId = 2;
    EXPECT_EQ(Transport().SendCommand(&inquiry), SS_INVALID_HA);
}

TEST(Transport, EmulationCarriesCommandsToTheDrive) {
    disctest::DiscTestScope scope;
    SimFolder folder;
    EmulatedDrives drives(folder, twoUnaddressedDrives);
    ASSERT_TRUE(LoadASPI(true, ""));
    SRB_ExecSCSICmd srb;

    // INQUIRY comes from the table, even while the drive is busy, and never overruns a short buffer.
    ASSERT_EQ(drives.bus.Control("fault ANY status=busy count=*"), true);
    const size_t before = drives.port.requests.size();
    uint8_t shortBuffer[20];
    std::memset(shortBuffer, 0xEE, sizeof shortBuffer);
    EXPECT_EQ(Execute(srb, 1, 1, {0x12, 0, 0, 0, 96, 0}, SRB_DIR_IN, shortBuffer, 16), SS_COMP);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(shortBuffer) + 8, 8), "SIMVEND ");
    EXPECT_EQ(shortBuffer[16], 0xEE);
    EXPECT_EQ(drives.port.requests.size(), before);
    EXPECT_EQ(Execute(srb, 1, 0, {0x00, 0, 0, 0, 0, 0}, 0, nullptr, 0), SS_ERR);
    EXPECT_EQ(srb.SRB_TargStat, STATUS_BUSY);
    drives.bus.Control("clearfaults");

    // Direction flags travel as in, out or unspecified.
    uint8_t answer[34];
    EXPECT_EQ(Execute(srb, 1, 0, {0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}, SRB_DIR_IN, answer, 34), SS_COMP);
    EXPECT_EQ(drives.port.requests.back().DataIn, 1);
    uint8_t list[60] = {};
    list[8] = 0x05, list[9] = 0x32, list[10] = 0x01, list[11] = 0x04, list[12] = 8;
    EXPECT_EQ(Execute(srb, 1, 0, {0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}, SRB_DIR_OUT, list, 60), SS_COMP);
    EXPECT_EQ(drives.port.requests.back().DataIn, 0);
    EXPECT_EQ(Execute(srb, 1, 0, {0x00, 0, 0, 0, 0, 0}, 0, nullptr, 0), SS_COMP);
    EXPECT_EQ(drives.port.requests.back().DataIn, 2);

    // A failed command brings its sense data; no disc reads as 2/3A.
    EXPECT_EQ(Execute(srb, 1, 1, {0x00, 0, 0, 0, 0, 0}, 0, nullptr, 0), SS_ERR);
    EXPECT_EQ(srb.SRB_TargStat, STATUS_CHKCOND);
    EXPECT_EQ(srb.SenseArea[0], 0x70);
    EXPECT_EQ(srb.SenseArea[2], 2);
    EXPECT_EQ(srb.SenseArea[12], 0x3A);
    EXPECT_EQ(Execute(srb, 0, 0, {0x00, 0, 0, 0, 0, 0}, 0, nullptr, 0), SS_NO_DEVICE);

    // A sense length beyond the request's sense area is cut to it.
    srb = {};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = 1;
    srb.SRB_Target = 1;
    srb.SRB_SenseLen = 200;
    srb.SRB_CDBLen = 6;
    EXPECT_EQ(Transport().SendCommand(&srb), SS_ERR);
    EXPECT_EQ(drives.port.requests.back().SenseInfoLength, SrbSenseAreaSize);
}

TEST(Transport, EmulationClosesHandlesAfterCommandsOnlyWhenAsked) {
    disctest::DiscTestScope scope;
    SimFolder folder;
    EmulatedDrives drives(folder, twoUnaddressedDrives);
    ASSERT_TRUE(LoadASPI(true, ""));
    EXPECT_EQ(drives.port.openHandles, 0) << "the probe closes its handles";
    SRB_ExecSCSICmd srb;
    CloseAfterCommand = true;
    Execute(srb, 1, 0, {0x00, 0, 0, 0, 0, 0}, 0, nullptr, 0);
    EXPECT_EQ(drives.port.openHandles, 0);
    CloseAfterCommand = false;
    Execute(srb, 1, 0, {0x00, 0, 0, 0, 0, 0}, 0, nullptr, 0);
    Execute(srb, 1, 0, {0x00, 0, 0, 0, 0, 0}, 0, nullptr, 0);
    EXPECT_EQ(drives.port.openHandles, 1) << "one handle kept between commands";
    UnloadASPI();
    EXPECT_EQ(drives.port.openHandles, 0);
}

TEST(Transport, NothingToLoadReportsNoAdapters) {
    disctest::DiscTestScope scope;
    EXPECT_FALSE(LoadASPI(false, ""));
    EXPECT_FALSE(Transport().Loaded);
    EXPECT_EQ(Transport().Name, "");
    EXPECT_EQ(InternalGetASPI32SupportInfo(), 0xE800u);
}

TEST(Transport, DriverLibraryBesideTheProgramIsLoaded) {
    disctest::DiscTestScope scope;
    SimFolder folder;
    folder.WriteIni("[Bus]\nAdapters=1\n[Drive0]\nAddress=0:0:0\nDisc=d0\n[Disc:d0]\nMedia=CD-R\n");
    ASSERT_TRUE(CopyFileA(disctest::WindowsPath(TW_SIMDRIVE_DLL).c_str(), folder.File("WNASPI32.DLL").c_str(),
                          FALSE));
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    SetCurrentDirectoryA(folder.Path().c_str());
    const bool loaded = LoadASPI(false, "");
    SetCurrentDirectoryA(previous);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Transport().Name, "WNASPI32.DLL");
    EXPECT_EQ(Transport().GetSupportInfo(), 0x0101u);
    UnloadASPI();
}

TEST(Transport, PreferInternalWithTheTableBuiltFallsThroughToTheLibrary) {
    disctest::DiscTestScope scope;
    SimFolder folder;
    EmulatedDrives drives(folder, twoUnaddressedDrives);
    ASSERT_TRUE(LoadASPI(true, ""));
    EXPECT_EQ(Transport().Name, "INTASPI");
    ASSERT_TRUE(LoadASPI(true, disctest::WindowsPath(TW_SIMDRIVE_DLL)));
    EXPECT_EQ(Transport().Name, "WNASPI32.DLL");
    UnloadASPI();
    ASSERT_TRUE(LoadASPI(true, "")) << "the unload shut the table the library stood in front of";
    EXPECT_EQ(Transport().Name, "INTASPI");
}

// Start-up retries a load that found no drive: a drive attached since is found by the next one.
TEST(Transport, ADriveAttachedAfterALoadThatFoundNoneIsFoundByTheNextLoad) {
    disctest::DiscTestScope scope;
    TSCSIDevice device;
    EXPECT_FALSE(device.InitASPI(true, ""));
    EXPECT_FALSE(device.InitASPI(false, ""));
    SimFolder folder;
    EmulatedDrives drives(folder, twoUnaddressedDrives);
    ASSERT_TRUE(device.InitASPI(false, ""));
    EXPECT_EQ(Transport().Name, "INTASPI");
    EXPECT_EQ(device.DeviceList.size(), 2u);
}
