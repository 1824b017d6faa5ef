// discdrv, the command-line driver other checks run, as a separate process.

#include "SimDriveWinSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

using disctest::RunProgram;
using disctest::SimFolder;

TEST(Discdrv, ScanPrintsEachDeviceAndWhatTheWriterHolds) {
    SimFolder folder;
    folder.WriteFile("s1.iso", disctest::CraftedIso(40, 40));
    folder.WriteFile("s2.iso", disctest::CraftedIso(30, 30));
    folder.WriteIni(
        "[Bus]\nLog=sim.log\n"
        "[Drive0]\nAddress=0:0:0\nLetter=E\nWrites=CD-R,CD-RW,DVD-R,DVD-RW,DVD+R,DVD+RW,DVD-RAM\nDisc=d0\n"
        "[Drive1]\nAddress=0:1:0\nLetter=F\nWrites=\nProduct=SIM READER\nDisc=d1\n"
        "[Disc:d0]\nMedia=DVD-R\nPrefill=s1.iso@0,s2.iso@16424\n[Disc:d1]\nMedia=CD-ROM\n");
    DWORD exitCode = 99;
    const std::string output = RunProgram("\"" + disctest::WindowsPath(TW_DISCDRV_EXE) + "\" scan", exitCode);
    EXPECT_EQ(exitCode, 0u) << output;
    EXPECT_EQ(output, "0:0:0,E: SIMVEND SIM WRITER      1.00\r\n"
                      "media=5 erasable=0 status=1 sessions=2 nwa=32838 free=2265658 capacity=2298496\r\n"
                      "0:1:0,F: SIMVEND SIM READER      1.00\r\n");
}
