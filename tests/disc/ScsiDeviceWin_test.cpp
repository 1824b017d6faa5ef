// The SCSI device over the fixture DLL: the scan, selection, quirks, error texts through
// injected faults, time-outs with an abort, and the ready wait.

#include "SimDriveWinSupport.h"

#include <windows.h>

#include "disc/dwASPI.h"
#include "disc/dwConst.h"
#include "disc/dwDrvLib.h"
#include "disc/dwSPTI.h"

#include <gtest/gtest.h>

using namespace disc;
using disctest::SimFolder;

namespace {

const std::string busHead = "[Bus]\nAdapters=2\nCompletion=sync\nLog=sim.log\n";

std::string Drive(int index, const std::string& address, const std::string& extra) {
    return "[Drive" + std::to_string(index) + "]\nAddress=" + address + "\n" + extra;
}

struct Fixture {
    disctest::DiscTestScope scope;
    SimFolder folder;
    TSCSIDevice device;
    std::vector<std::string> messages;

    explicit Fixture(const std::string& ini) {
        folder.WriteIni(ini);
        device.OnDebugMessage = [this](void*, const std::string& text, uint8_t) { messages.push_back(text); };
    }
    bool Init() { return device.InitASPI(false, disctest::WindowsPath(TW_SIMDRIVE_DLL)); }
    size_t LogLines() {
        const std::string log = folder.Log();
        return static_cast<size_t>(std::count(log.begin(), log.end(), '\n'));
    }
};

const std::string oneWriter =
    busHead + Drive(0, "0:0:0", "Letter=E\nWrites=CD-R,CD-RW\nDisc=d0\n") + "[Disc:d0]\nMedia=CD-R\n";

} // namespace

TEST(ScsiDevice, ScanListsCdAndWriteOnceDevicesWithTheirLetters) {
    Fixture fixture(busHead + Drive(0, "0:0:0", "Letter=E\nWrites=CD-R\n") +
                    Drive(1, "0:1:0", "Letter=F\nProduct=SECOND WRITER\n") +
                    Drive(2, "0:2:0", "DeviceType=4\nVendor=WORM\nProduct=OPTICAL\n") +
                    Drive(3, "1:3:0", "DeviceType=0\nVendor=DISK\n"));
    ASSERT_TRUE(fixture.Init());
    EXPECT_EQ(fixture.device.AdapterCount, 2);
    ASSERT_EQ(fixture.device.DeviceList.size(), 3u);
    EXPECT_EQ(fixture.device.DeviceList[0], "0:0:0,E: SIMVEND SIM WRITER      1.00");
    EXPECT_EQ(fixture.device.DeviceList[1], "0:1:0,F: SIMVEND SECOND WRITER   1.00");
    EXPECT_EQ(fixture.device.DeviceList[2], "0:2:0,?: WORM    OPTICAL         1.00 (not supported)");

    // A write-once device can still be selected; a disk cannot.
    fixture.device.SetDeviceID(fixture.device.DeviceList[2]);
    EXPECT_TRUE(fixture.device.DeviceSelected());
    EXPECT_EQ(fixture.device.DeviceType, 4);
    fixture.device.SetDeviceID("1:3:0,?: DISK");
    EXPECT_FALSE(fixture.device.DeviceSelected());
    EXPECT_EQ(fixture.device.DeviceType, 127);
    ASSERT_FALSE(fixture.messages.empty());
    EXPECT_EQ(fixture.messages.back(), DiscMessage(msgInvalidDeviceId));

    fixture.device.SetDeviceID("0:1:0,F: SIMVEND SECOND WRITER");
    EXPECT_EQ(fixture.device.Target, 1);
    EXPECT_EQ(fixture.device.DeviceName, "SIMVEND  SECOND WRITER    1.00");
    fixture.device.SetDeviceID("0:1:");
    EXPECT_FALSE(fixture.device.DeviceSelected());
}

TEST(ScsiDevice, EntryOnAdapterOneSelectsIt) {
    Fixture fixture(busHead + Drive(0, "1:0:0", "Letter=G\nWrites=CD-R\nDisc=d0\n") +
                    "[Disc:d0]\nMedia=CD-R\n");
    ASSERT_TRUE(fixture.Init());
    ASSERT_EQ(fixture.device.DeviceList.size(), 1u);
    EXPECT_EQ(fixture.device.DeviceList[0].substr(0, 9), "1:0:0,G: ");
    fixture.device.SetDeviceID(fixture.device.DeviceList[0]);
    EXPECT_EQ(fixture.device.HaId, 1);
    EXPECT_EQ(fixture.device.GetDriveLetter(), 'G');
    EXPECT_TRUE(fixture.device.TestUnitReady(1000));
    TSCSIDevice other;
    EXPECT_TRUE(other.SelectDeviceByDriveLetter('G')) << "found through the disk-information service";
    EXPECT_EQ(other.HaId, 1);
}

TEST(ScsiDevice, InquiryStringsSwitchTheDriveQuirks) {
    Fixture fixture(busHead + Drive(0, "0:0:0", "Product=CD-W512EB\nWrites=CD-R\nUnderrun=none\n") +
                    Drive(1, "0:1:0", "Product=CRX175E\nUnderrun=none\n") +
                    Drive(2, "0:2:0", "Product=UJDA750\n") + Drive(3, "0:3:0", "Product=CDRW321040X\n") +
                    Drive(4, "0:4:0", "Product=DVD-RW  DVR-104\n"));
    ASSERT_TRUE(fixture.Init());
    TSCSIDevice& device = fixture.device;
    device.SetDeviceID("0:0:0");
    EXPECT_TRUE(device.QuirkForceUnderrun);
    EXPECT_TRUE(device.CapabilitySet & dcUnderrunProtection);
    EXPECT_TRUE(device.QuirkImmediateClose);
    device.SetDeviceID("0:1:0");
    EXPECT_TRUE(device.QuirkLinkSizeValid);
    EXPECT_FALSE(device.QuirkForceUnderrun);
    EXPECT_FALSE(device.CapabilitySet & dcUnderrunProtection) << "the last drive's quirk does not carry over";
    device.SetDeviceID("0:2:0");
    EXPECT_TRUE(device.QuirkSlowReady);
    EXPECT_TRUE(device.QuirkEraseWaitAgain);
    device.SetDeviceID("0:3:0");
    EXPECT_FALSE(device.QuirkImmediateClose);
    EXPECT_FALSE(device.QuirkSlowReady);
    device.SetDeviceID("0:4:0");
    EXPECT_TRUE(device.QuirkSlowReady) << "the untrimmed product matches";
    EXPECT_FALSE(device.QuirkEraseWaitAgain);
}

TEST(ScsiDevice, FailuresReadAsTheLibraryTexts) {
    Fixture fixture(oneWriter + "[Faults]\n1=TUR hastat=0x11\n2=TUR from=2 sense=2/3A/00\n"
                                "3=TUR from=3 sense=3/74/00\n4=TUR from=4 status=busy\n");
    ASSERT_TRUE(fixture.Init());
    TSCSIDevice& device = fixture.device;
    device.SetDeviceID(device.DeviceList.at(0));
    EXPECT_FALSE(device.TestUnitReady(1000));
    EXPECT_EQ(device.LastError, "SELECTION TIMEOUT");
    EXPECT_FALSE(device.TestUnitReady(1000));
    EXPECT_EQ(device.LastError, "NOT READY (MEDIUM NOT PRESENT)");
    EXPECT_EQ(device.LastSense[12], 0x3A);
    EXPECT_EQ(device.LastSense[18], 0) << "beyond what the drive sent";
    EXPECT_FALSE(device.TestUnitReady(1000));
    EXPECT_EQ(device.LastError, "MEDIUM ERROR (116,0)");
    EXPECT_FALSE(device.TestUnitReady(1000));
    EXPECT_EQ(device.LastError, "TARGET BUSY");
    EXPECT_TRUE(device.Busy);
    EXPECT_TRUE(device.TestUnitReady(1000));
    EXPECT_EQ(device.LastError, "");
    EXPECT_FALSE(device.Busy);
}

TEST(ScsiDevice, WithoutTransportOrDeviceNothingIsSent) {
    disctest::DiscTestScope scope;
    TSCSIDevice device;
    EXPECT_FALSE(device.TestUnitReady(1000));
    EXPECT_EQ(device.LastError, "");
    SRB_ExecSCSICmd request = {};
    EXPECT_EQ(device.ExecSCSICommand(request, 1000), 226);
    SimFolder folder;
    folder.WriteIni(oneWriter);
    ASSERT_TRUE(device.InitASPI(false, disctest::WindowsPath(TW_SIMDRIVE_DLL)));
    EXPECT_EQ(device.ExecSCSICommand(request, 1000), 226) << "no device selected";
    EXPECT_EQ(folder.Log().find("0:0:0 00"), std::string::npos);
}

TEST(ScsiDevice, SpeedZeroAsksForTheMaximum) {
    Fixture fixture(oneWriter);
    ASSERT_TRUE(fixture.Init());
    fixture.device.SetDeviceID(fixture.device.DeviceList.at(0));
    EXPECT_TRUE(fixture.device.SetCDSpeed(0, 0));
    EXPECT_NE(fixture.folder.Log().find(" bb 00 ff ff ff ff"), std::string::npos);
    fixture.device.ReadSpeed = 0;
    fixture.device.SetWriteSpeed(2000);
    EXPECT_EQ(fixture.device.WriteSpeed(), 2000);
    EXPECT_EQ(fixture.device.GetCurrentWriteSpeed(), 1411) << "rounded down to a speed the drive has";
}

TEST(ScsiDevice, HungCommandIsAbortedAfterItsTimeout) {
    for (const char* completion : {"sync", "async"}) {
        SCOPED_TRACE(completion);
        std::string ini = oneWriter + "[Faults]\n1=TUR hang\n";
        ini.replace(ini.find("Completion=sync"), 15, std::string("Completion=") + completion);
        Fixture fixture(ini);
        ASSERT_TRUE(fixture.Init());
        fixture.device.SetDeviceID(fixture.device.DeviceList.at(0));
        const int64_t start = fixture.scope.clock.MonotonicMs();
        EXPECT_FALSE(fixture.device.TestUnitReady(1000));
        const int64_t waited = fixture.scope.clock.MonotonicMs() - start;
        EXPECT_GE(waited, 10000) << "a short time-out still waits 10,000 ms";
        EXPECT_LT(waited, 10100);
        EXPECT_EQ(fixture.device.LastError, "COMMAND TIMEOUT");
        const std::string log = fixture.folder.Log();
        const size_t pending = log.find("-> pending");
        ASSERT_NE(pending, std::string::npos);
        const std::string sequence =
            log.substr(log.rfind('\n', pending) + 1,
                       log.find(' ', log.rfind('\n', pending) + 1) - log.rfind('\n', pending) - 1);
        EXPECT_NE(log.find("abort " + sequence), std::string::npos) << log;
        // The drive answers the next command normally.
        EXPECT_TRUE(fixture.device.TestUnitReady(1000));
    }
}

TEST(ScsiDevice, AsyncCompletionCarriesDataBack) {
    std::string ini = oneWriter;
    ini.replace(ini.find("Completion=sync"), 15, "Completion=async");
    Fixture fixture(ini);
    ASSERT_TRUE(fixture.Init());
    ASSERT_EQ(fixture.device.DeviceList.size(), 1u);
    fixture.device.SetDeviceID(fixture.device.DeviceList[0]);
    uint32_t size = 0, free = 0;
    EXPECT_TRUE(fixture.device.ReadBufferCapacity(size, free));
    EXPECT_EQ(size, 2048u * 1024u);
    EXPECT_EQ(fixture.device.DeviceFreeBufferSize, size);
}

TEST(ScsiDevice, WaitReadyRidesOutAnImmediateOperation) {
    Fixture fixture(oneWriter);
    ASSERT_TRUE(fixture.Init());
    TSCSIDevice& device = fixture.device;
    device.SetDeviceID(device.DeviceList.at(0));
    ASSERT_TRUE(device.SyncCache(10000, true));
    EXPECT_FALSE(device.TestUnitReady(5000));
    EXPECT_EQ(device.LastSense[12], 4);
    EXPECT_TRUE(device.WaitReady(60000, 1000));
    EXPECT_TRUE(device.TestUnitReady(5000));

    ASSERT_TRUE(device.SyncCache(10000, true));
    EXPECT_FALSE(device.WaitReady(1500, 1000)) << "gives up when the total runs out";
}

TEST(ScsiDevice, UnknownAdapterCountKeepsTheScanBounded) {
    Fixture fixture("[Bus]\nAdapters=0\nCompletion=sync\nLog=sim.log\n" +
                    Drive(0, "0:0:0", "Letter=E\nDisc=d0\n") + "[Disc:d0]\nMedia=CD-R\n");
    EXPECT_TRUE(fixture.Init()) << "the library loads even when it reports no adapters";
    EXPECT_EQ(fixture.device.AdapterCount, 255);
    EXPECT_TRUE(fixture.device.DeviceList.empty());
}

TEST(ScsiDevice, LetterWithoutAddressIsFoundThroughTheDiskService) {
    Fixture fixture(busHead + Drive(0, "0:2:0", "Letter=E\nAddressQuery=0\nWrites=CD-R\nDisc=d0\n") +
                    "[Disc:d0]\nMedia=CD-R\n");
    // The letter opens (as Wine's folder-mapped drives do) but has no SCSI address.
    sim::StdFiles files;
    sim::Bus portBus(files);
    ASSERT_TRUE(portBus.Open(fixture.folder.File("simdrive.ini")));
    sim::SimPassThroughPort port(portBus);
    SetPassThroughPort(&port);
    ASSERT_TRUE(fixture.Init());
    EXPECT_TRUE(fixture.device.SelectDeviceByDriveLetter('E'));
    EXPECT_EQ(fixture.device.Target, 2);
    EXPECT_EQ(fixture.device.DeviceId, "0:2:0,E:");
    EXPECT_EQ(port.openHandles, 0);
    EXPECT_FALSE(fixture.device.SelectDeviceByDriveLetter('Q'));
}

TEST(ScsiDevice, EmulatedDriveIsSelectedByLetterAndKeepsItsHandleAfterEject) {
    disctest::DiscTestScope scope;
    SimFolder folder;
    folder.WriteIni("[Bus]\nCompletion=sync\nLog=sim.log\n" +
                    Drive(0, "2:3:0", "Letter=E\nWrites=CD-R\nDisc=d0\n") + "[Disc:d0]\nMedia=CD-R\n");
    sim::StdFiles files;
    sim::Bus bus(files);
    ASSERT_TRUE(bus.Open(folder.File("simdrive.ini")));
    sim::SimPassThroughPort port(bus);
    SetPassThroughPort(&port);
    TSCSIDevice device;
    ASSERT_TRUE(device.InitASPI(true, ""));
    EXPECT_EQ(Transport().Name, "INTASPI");
    ASSERT_EQ(device.DeviceList.size(), 1u);
    EXPECT_EQ(device.DeviceList[0], "2:3:0,E: SIMVEND SIM WRITER      1.00");
    ASSERT_TRUE(device.SelectDeviceByDriveLetter('E'));
    EXPECT_EQ(device.HaId, 2);
    EXPECT_EQ(device.GetDriveLetter(), 'E');
    EXPECT_EQ(port.openHandles, 0) << "closed after each command until the first eject";
    EXPECT_TRUE(device.LoadEject(true));
    EXPECT_FALSE(device.TestUnitReady(1000));
    EXPECT_EQ(device.LastError, "NOT READY (MEDIUM NOT PRESENT - TRAY OPEN)");
    EXPECT_EQ(port.openHandles, 1) << "kept open from the first eject on";
    EXPECT_TRUE(device.LoadEject(false));
    EXPECT_TRUE(device.TestUnitReady(1000));
    device.DoneASPI();
    EXPECT_EQ(port.openHandles, 0);
}

namespace {
std::vector<std::pair<WPARAM, DWORD>> changes;

LRESULT CALLBACK RecordChanges(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // DEV_BROADCAST_VOLUME: size, device type, reserved, unit mask, flags.
    if (message == WM_DEVICECHANGE) changes.emplace_back(wParam, reinterpret_cast<const DWORD*>(lParam)[3]);
    return DefWindowProcA(window, message, wParam, lParam);
}
} // namespace

TEST(ScsiDevice, TrayMovesAreAnnouncedToTheProcessWindows) {
    Fixture fixture("[Bus]\nCompletion=sync\nNotifyMediaChange=1\n" +
                    Drive(0, "0:0:0", "Letter=E\nDisc=d0\n") + "[Disc:d0]\nMedia=CD-R\n");
    changes.clear();
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecordChanges;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "TwDiscChangeProbe";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "TwDiscChangeProbe", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(fixture.Init());
    fixture.device.SetDeviceID(fixture.device.DeviceList.at(0));
    ASSERT_EQ(disctest::FixtureControl("eject"), 1);
    EXPECT_FALSE(fixture.device.TestUnitReady(1000));
    EXPECT_TRUE(fixture.device.LoadEject(false));
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].first, 0x8004u);
    EXPECT_EQ(changes[0].second, 1u << ('E' - 'A'));
    EXPECT_EQ(changes[1].first, 0x8000u);
    EXPECT_EQ(disctest::FixtureControl("insert nosuchdisc"), 0);
    DestroyWindow(window);
}
