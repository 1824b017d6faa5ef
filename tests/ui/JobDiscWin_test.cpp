// The job's disc writer over the disc library and the simulated drive beside the program: the
// writer chosen by its letter or by the job's writer choice, the room on the disc (blocks of
// 2,048 bytes, nothing on a closed disc), the room after an erase (none for a write-once disc).
#include "SimDriveWinSupport.h"
#include "WinTestSupport.h"
#include "disc/dwDrvLib.h"
#include "job/JobDisc.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

struct DiscCase {
    const char* media;
    const char* discKeys;
    int64_t free;
    int64_t afterErase;
};

// Two closed sessions: 40 blocks at 0 and 30 blocks one session gap on.
const DiscCase discCases[] = {
    {"CD-R", "", 359'999LL * 2048, -1},
    {"CD-R", "Prefill=s1.iso@0,s2.iso@11440\nClosed=1\n", 0, -1},
    {"CD-RW", "Prefill=s1.iso@0,s2.iso@11440\n", 341'629LL * 2048, 359'849LL * 2048},
};

} // namespace

TEST(JobDisc, TheWriterIsChosenByLetterOrChoiceAndMeasuredInBytes) {
    for (const DiscCase& c : discCases) {
        SCOPED_TRACE(std::string(c.media) + " " + c.discKeys);
        disctest::DiscTestScope scope;
        disctest::SimFolder sim;
        sim.WriteFile("s1.iso", disctest::CraftedIso(40, 40));
        sim.WriteFile("s2.iso", disctest::CraftedIso(30, 30));
        sim.WriteIni(std::string("[Bus]\nCompletion=sync\nLog=sim.log\n[Drive0]\nAddress=0:0:0\nLetter=E\n"
                                 "Writes=CD-R,CD-RW\nDisc=d0\n[Disc:d0]\nMedia=") +
                     c.media + "\nImage=d0.img\n" + c.discKeys);
        testsupport::TempFolder program;
        ASSERT_TRUE(CopyFileA(disctest::WindowsPath(TW_SIMDRIVE_DLL).c_str(),
                              (program / "WNASPI32.DLL").c_str(), FALSE));
        std::string choice;
        {
            disc::TSCSIDevice lister;
            ASSERT_TRUE(lister.InitASPI(false, program / "WNASPI32.DLL"));
            ASSERT_FALSE(lister.DeviceList.empty());
            choice = lister.DeviceList[0];
            lister.DoneASPI();
        }
        const auto writer = job::MakeJobDisc(program.Path());
        EXPECT_EQ(writer->FreeBytes(), 0) << "nothing before the transport is loaded";
        ASSERT_TRUE(writer->Load(false));
        ASSERT_TRUE(writer->Select(choice, 0));
        EXPECT_EQ(writer->FreeBytes(), c.free);
        EXPECT_EQ(writer->CapacityAfterErase(), c.afterErase);
        ASSERT_TRUE(writer->Select("", 'E'));
        EXPECT_EQ(writer->FreeBytes(), c.free);
        writer->Release();
        EXPECT_EQ(writer->FreeBytes(), 0);
    }
}
