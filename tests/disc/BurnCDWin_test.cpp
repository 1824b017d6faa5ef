// Writes through the simulated drive: sessions on blank and appendable discs read back by our
// import and (through the images left for the native peer test) by xorriso, isoinfo and 7z;
// drive faults, hangs and cancel in each phase end in exactly one OnWriteDone with a text.

#include "SimDriveWinSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "disc/dwBurner.h"
#include "gui/Wait.h"

using namespace disc;
using disctest::SimFolder;

namespace {

struct BurnRig {
    disctest::DiscTestScope scope;
    SimFolder folder;
    std::unique_ptr<TDiscBurner> burner;
    int doneCalls = 0;
    std::string error;
    bool onGuiThread = false;

    explicit BurnRig(const std::string& media, const std::string& extra = "",
                     const std::string& prefill = "") {
        folder.WriteFile("a.zip", std::string(100000, 'a'));
        folder.WriteFile("b.txt", "bee");
        folder.WriteFile("c.bin", std::string(70000, 'c'));
        folder.WriteIni("[Bus]\nCompletion=sync\nLog=sim.log\n[Drive0]\nAddress=0:0:0\nLetter=E\nDisc=d0\n"
                        "BusyPolls=0\nTestWrite=1\nWrites=CD-R,CD-RW,DVD-R,DVD-RW,DVD+R,DVD+RW,DVD-RAM\n["
                        "Disc:d0]\nMedia=" +
                        media + "\nImage=d0.img\nPrefill=" + prefill + "\n" + extra);
        burner = std::make_unique<TDiscBurner>();
        EXPECT_TRUE(burner->InitASPI(false, disctest::WindowsPath(TW_SIMDRIVE_DLL)));
        if (!burner->DeviceList.empty()) burner->SetDeviceID(burner->DeviceList[0]);
        const DWORD gui = GetCurrentThreadId();
        burner->OnWriteDone = [this, gui](void*, const std::string& text) {
            ++doneCalls;
            error = text;
            onGuiThread = GetCurrentThreadId() == gui;
        };
    }
    void Add(const std::string& name) { burner->Image.InsertFile(folder.File(name), "\\"); }
    // Runs BurnCD and waits (on the manual clock) for the report.
    bool Burn(const std::function<void()>& afterStart = {}) {
        const bool started = burner->BurnCD();
        if (afterStart) afterStart();
        for (long spins = 0; started && doneCalls == 0 && spins < 20000000; ++spins)
            gui::Wait(1, false);
        EXPECT_EQ(doneCalls, 1);
        return started;
    }
    size_t Count(const std::string& cdbStart) {
        const std::string log = folder.Log();
        size_t count = 0;
        for (size_t at = log.find(" " + cdbStart); at != std::string::npos;
             at = log.find(" " + cdbStart, at + 1))
            ++count;
        return count;
    }
    // A fresh tree holding the last session's files.
    void ImportLast() {
        burner->Image.ClearAll(65535, 8191);
        burner->ImportSession(-1, nullptr);
    }
    bool Verify(const std::string& name) {
        TFEntry* entry = burner->Image.FindFile(burner->Image.Root(), name);
        return entry && burner->VerifyFile(entry, folder.File(name));
    }
    // Leaves the disc image where the native peer test reads it.
    void Publish(const std::string& name) {
        const std::filesystem::path dir =
            std::filesystem::path(disctest::WindowsPath(TW_SOURCE_DIR)) / "build" / "peer-images";
        std::filesystem::create_directories(dir);
        std::filesystem::copy_file(folder.File("d0.img"), dir / name,
                                   std::filesystem::copy_options::overwrite_existing);
        std::ofstream(dir / (name + ".start")) << burner->MultisessionStart();
    }
};

} // namespace

TEST(BurnCD, BlankCdrTakesASessionAndASecondOneKeepsTheFirstsFiles) {
    BurnRig rig("CD-R");
    rig.Add("a.zip");
    rig.Add("b.txt");
    ASSERT_TRUE(rig.Burn());
    EXPECT_EQ(rig.error, "");
    EXPECT_TRUE(rig.onGuiThread);
    EXPECT_EQ(rig.burner->MultisessionStart(), 0u);
    EXPECT_EQ(rig.Count("5b "), 1u) << "the session is closed, leaving the disc open";
    EXPECT_EQ(rig.burner->GetDiscStatus(), 1);

    rig.ImportLast();
    EXPECT_TRUE(rig.Verify("a.zip"));
    rig.Add("c.bin");
    rig.doneCalls = 0;
    ASSERT_TRUE(rig.Burn());
    EXPECT_EQ(rig.error, "");
    EXPECT_GT(rig.burner->MultisessionStart(), 11400u);
    rig.Publish("cdr-two-sessions.img");

    rig.ImportLast();
    EXPECT_EQ(rig.burner->GetLastSession(), 2);
    EXPECT_TRUE(rig.Verify("a.zip")) << "imported from the first session";
    EXPECT_TRUE(rig.Verify("b.txt"));
    EXPECT_TRUE(rig.Verify("c.bin"));
}

TEST(BurnCD, OverwritableMediaShowTheNewSessionAtBlock16) {
    BurnRig rig("DVD+RW");
    rig.Add("a.zip");
    ASSERT_TRUE(rig.Burn());
    EXPECT_EQ(rig.error, "");
    rig.ImportLast();
    rig.Add("c.bin");
    rig.doneCalls = 0;
    ASSERT_TRUE(rig.Burn());
    EXPECT_EQ(rig.error, "");
    EXPECT_GE(rig.burner->MultisessionStart(), 300u);
    rig.Publish("dvdplusrw-two-sessions.img");
    rig.ImportLast();
    EXPECT_TRUE(rig.Verify("a.zip"));
    EXPECT_TRUE(rig.Verify("c.bin")) << "the second session is the one block 16 points at";
}

TEST(BurnCD, TestWriteAndOpenTracksCloseNothing) {
    BurnRig rig("CD-R");
    rig.Add("a.zip");
    rig.burner->TestWrite = true;
    ASSERT_TRUE(rig.Burn());
    EXPECT_EQ(rig.error, "");
    EXPECT_EQ(rig.Count("5b "), 0u);
    const std::string image = rig.folder.ReadFile("d0.img");
    EXPECT_EQ(image.find_first_not_of('\0'), std::string::npos) << "nothing stored";

    BurnRig open("CD-R");
    open.Add("a.zip");
    open.burner->FinalizeTrack = false;
    ASSERT_TRUE(open.Burn());
    EXPECT_EQ(open.error, "");
    EXPECT_EQ(open.Count("5b "), 0u);
}

TEST(BurnCD, FileModeWritesThePlainImageAndSendsNoDriveCommand) {
    BurnRig rig("CD-R");
    rig.Add("a.zip");
    rig.Add("c.bin");
    rig.burner->ISOFileName = rig.folder.File("out.iso");
    const size_t writes = rig.Count("2a ");
    ASSERT_TRUE(rig.Burn());
    EXPECT_EQ(rig.error, "");
    EXPECT_EQ(rig.Count("2a "), writes);
    EXPECT_EQ(rig.folder.ReadFile("out.iso").size(), size_t(rig.burner->Image.GetTrackSize()) * 2048);

    rig.burner->ISOFileName = rig.folder.File("missing-folder\\out.iso");
    rig.doneCalls = 0;
    ASSERT_TRUE(rig.Burn());
    EXPECT_NE(rig.error.find("CAN'T CREATE FILE"), std::string::npos) << rig.error;
}

TEST(BurnCD, DriveFaultsEndInOneReportWithTheDrivesText) {
    struct Case {
        std::string fault, expected;
    } cases[] = {
        {"WRITE10 from=3 sense=3/0C/00", "WRITER ERROR [MEDIUM ERROR"},
        {"WRITE10 from=2 count=* hang", "WRITER ERROR ["},
        {"SYNC count=2 sense=3/0C/00", "WRITER ERROR [MEDIUM ERROR"},
        {"CLOSE count=* sense=5/2C/00", "WRITER ERROR ["},
        {"WRITE10 from=2 count=40 status=busy", ""},
    };
    for (const Case& c : cases) {
        BurnRig rig("CD-R", "[Faults]\n1=" + c.fault + "\n");
        rig.Add("a.zip");
        ASSERT_TRUE(rig.Burn()) << c.fault;
        EXPECT_EQ(rig.error.substr(0, c.expected.size()), c.expected) << c.fault << ": " << rig.error;
        if (c.expected.empty()) {
            EXPECT_TRUE(rig.error.empty()) << rig.error;
        }
    }
}

TEST(BurnCD, CancelAndVanishedSourcesStopTheWrite) {
    {
        BurnRig rig("CD-R", "[Faults]\n1=WRITE10 from=2 count=* status=busy\n");
        rig.Add("a.zip");
        ASSERT_TRUE(rig.Burn([&] { rig.burner->AbortWrite(); }));
        EXPECT_EQ(rig.error, "OPERATION ABORTED BY USER");
    }
    {
        BurnRig rig("CD-R");
        rig.Add("a.zip");
        rig.burner->OnFinalizingTrack = [&](void*) { rig.burner->AbortWrite(); };
        ASSERT_TRUE(rig.Burn());
        EXPECT_EQ(rig.error, "OPERATION ABORTED BY USER");
        EXPECT_EQ(rig.Count("5b "), 0u) << "a cancelled write is not closed";
    }
    {
        BurnRig rig("CD-R");
        rig.Add("b.txt");
        DeleteFileA(rig.folder.File("b.txt").c_str());
        EXPECT_FALSE(rig.burner->BurnCD());
        EXPECT_EQ(rig.doneCalls, 1) << "reported directly";
        EXPECT_NE(rig.error.find("b.txt"), std::string::npos) << rig.error;
    }
    {
        BurnRig rig("CD-R");
        rig.Add("c.bin");
        rig.folder.WriteFile("c.bin", std::string(80000, 'c'));
        rig.Burn();
        EXPECT_NE(rig.error.find("c.bin"), std::string::npos) << "grown since it was added: " << rig.error;
    }
}

TEST(EraseDisc, BlanksACdrwAndReportsOnTheGuiThread) {
    BurnRig rig("CD-RW", "", "s.iso@0");
    rig.folder.WriteFile("s.iso", disctest::CraftedIso(300, 300));
    int calls = 0;
    bool withError = true;
    rig.burner->OnEraseDone = [&](void*, bool error) {
        ++calls;
        withError = error;
    };
    ASSERT_TRUE(rig.burner->EraseDisc(ekQuick));
    EXPECT_TRUE(rig.burner->Erasing);
    for (long spins = 0; calls == 0 && spins < 20000000; ++spins)
        gui::Wait(1, false);
    ASSERT_EQ(calls, 1);
    EXPECT_FALSE(withError);
    EXPECT_FALSE(rig.burner->Erasing);
    EXPECT_EQ(rig.Count("a1 11"), 1u);
    EXPECT_EQ(rig.burner->GetDiscStatus(), 0);
}

TEST(EraseDisc, FailingOrNeverReadyDrivesReportAsTheyShould) {
    {
        BurnRig rig("CD-RW", "[Faults]\n1=BLANK sense=5/30/05\n");
        int calls = 0;
        bool withError = false;
        rig.burner->OnEraseDone = [&](void*, bool error) {
            ++calls;
            withError = error;
        };
        EXPECT_FALSE(rig.burner->EraseDisc(ekFull));
        EXPECT_EQ(calls, 1) << "before EraseDisc returns";
        EXPECT_TRUE(withError);
    }
    {
        // Blanking starts, then the drive never answers ready again.
        BurnRig rig("CD-RW", "[Faults]\n1=TUR from=3 count=* sense=2/3A/01\n");
        int calls = 0;
        bool withError = false;
        rig.burner->OnEraseDone = [&](void*, bool error) {
            ++calls;
            withError = error;
        };
        ASSERT_TRUE(rig.burner->EraseDisc(ekQuick));
        for (long spins = 0; calls == 0 && spins < 20000000; ++spins)
            gui::Wait(1, false);
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(withError);
    }
    {
        BurnRig rig("CD-RW", "[Faults]\n1=TUR count=* sense=2/04/01\n");
        int calls = 0;
        rig.burner->OnEraseDone = [&](void*, bool) { ++calls; };
        EXPECT_FALSE(rig.burner->EraseDisc(ekQuick));
        EXPECT_EQ(calls, 0);
    }
}

TEST(EraseDisc, DvdPlusRwIsFormattedAndEmpty) {
    BurnRig rig("DVD+RW", "", "s.iso@0");
    rig.folder.WriteFile("s.iso", disctest::CraftedIso(300, 300));
    int calls = 0;
    bool withError = true;
    rig.burner->OnEraseDone = [&](void*, bool error) {
        ++calls;
        withError = error;
    };
    ASSERT_TRUE(rig.burner->EraseDisc(ekQuick));
    for (long spins = 0; calls == 0 && spins < 20000000; ++spins)
        gui::Wait(1, false);
    ASSERT_EQ(calls, 1);
    EXPECT_FALSE(withError);
    EXPECT_EQ(rig.Count("04 11"), 1u);
    EXPECT_EQ(rig.burner->GetISOVolumeSize(), 0u);
}

TEST(BurnCD, EachMediumGetsItsCloseSequenceAndReadsBack) {
    struct Case {
        std::string media, closes;
    } cases[] = {
        {"DVD-R", "5b 00 01 00 00 01 00|5b 00 01 00 00 02 00|5b 00 02 00 00 03 00"},
        {"DVD+R", "5b 00 01 00 00 01 00|5b 00 02 00 00 ff 00"},
        {"DVD-RW-SEQ", "5b 01 02 00 00 00 00"},
        {"DVD+RW", "5b 00 03 00 00 ff 00"},
        {"DVD-RAM", ""},
        {"CD-RW", "5b 01 02 00 00 00 00"},
    };
    for (const Case& c : cases) {
        BurnRig rig(c.media);
        rig.Add("c.bin");
        ASSERT_TRUE(rig.Burn()) << c.media;
        EXPECT_EQ(rig.error, "") << c.media;
        std::string closes;
        const std::string log = rig.folder.Log();
        for (size_t at = log.find(" 5b "); at != std::string::npos; at = log.find(" 5b ", at + 1))
            closes += (closes.empty() ? "" : "|") + log.substr(at + 1, 20);
        EXPECT_EQ(closes, c.closes) << c.media;
        rig.ImportLast();
        EXPECT_TRUE(rig.Verify("c.bin")) << c.media;
    }
}

TEST(EraseDisc, EveryRewritableMediumEndsEmpty) {
    for (const std::string media : {"DVD-RW-SEQ", "DVD-RAM"}) {
        for (uint8_t kind : {ekQuick, ekFull}) {
            BurnRig rig(media);
            rig.Add("c.bin");
            ASSERT_TRUE(rig.Burn());
            int calls = 0;
            bool withError = true;
            rig.burner->OnEraseDone = [&](void*, bool error) {
                ++calls;
                withError = error;
            };
            ASSERT_TRUE(rig.burner->EraseDisc(kind)) << media;
            for (long spins = 0; calls == 0 && spins < 20000000; ++spins)
                gui::Wait(1, false);
            ASSERT_EQ(calls, 1);
            EXPECT_FALSE(withError) << media << int(kind);
            EXPECT_EQ(rig.burner->GetISOVolumeSize(), 0u) << media << int(kind);
        }
    }
}
