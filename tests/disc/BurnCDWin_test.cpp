// Writes through the simulated drive: sessions on blank and appendable discs read back by our
// import and (through the images left for the native peer test) by xorriso, isoinfo and 7z;
// drive faults, hangs and cancel in each phase end in exactly one OnWriteDone with a text.

#include "BurnRigWinSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "disc/IsoStream.h"

using namespace disc;

using disctest::BurnRig;

TEST(BurnCD, BlankCdrTakesASessionAndASecondOneKeepsTheFirstsFiles) {
    BurnRig::Unpublish("cdr-two-sessions.img");
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

// A write that failed before its close leaves the drive alone (the reset would load a tray
// the user opened); one that reached the close is reset, even when the close failed.
TEST(BurnCD, DriveFaultsEndInOneReportWithTheDrivesText) {
    struct Case {
        std::string fault, expected;
        size_t closes, loads;
    } cases[] = {
        {"WRITE10 from=3 sense=3/0C/00", "WRITER ERROR [MEDIUM ERROR", 0, 1},
        {"WRITE10 from=2 count=* hang", "WRITER ERROR [", 0, 1},
        {"SYNC count=2 sense=3/0C/00", "WRITER ERROR [MEDIUM ERROR", 0, 1},
        {"CLOSE count=* sense=5/2C/00", "WRITER ERROR [", 2, 2},
        {"CLOSE count=4 status=busy", "", 5, 2},
        {"WRITE10 from=2 count=40 status=busy", "", 1, 2},
        {"WRITE10 from=3 eject", "WRITER ERROR [NOT READY (MEDIUM NOT PRESENT - TRAY OPEN)]", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        BurnRig rig("CD-R", "[Faults]\n1=" + c.fault + "\n");
        rig.Add("a.zip");
        const int64_t start = rig.scope.clock.MonotonicMs();
        ASSERT_TRUE(rig.Burn());
        EXPECT_EQ(rig.error.substr(0, c.expected.size()), c.expected) << rig.error;
        if (c.expected.empty()) {
            EXPECT_TRUE(rig.error.empty()) << rig.error;
        }
        EXPECT_EQ(rig.Count("5b "), c.closes);
        EXPECT_EQ(rig.Count("1b 00 00 00 03"), c.loads) << "the writer's own load, and the reset's";
        if (c.fault.find("CLOSE count=4") != std::string::npos) {
            EXPECT_GE(rig.scope.clock.MonotonicMs() - start, 4000) << "a second between tries";
        }
        if (c.fault.find("eject") != std::string::npos) {
            EXPECT_FALSE(rig.burner->TestUnitReady(5000)) << "the tray the user opened stays open";
            EXPECT_EQ(rig.burner->LastSense[12], 0x3A);
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
        EXPECT_EQ(rig.Count("01 "), 1u) << "nor reset: the writer's own REZERO only";
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
    bool erasingWhileFollowed = false;
    ASSERT_TRUE(rig.Erase(ekQuick, [&] { erasingWhileFollowed = rig.burner->Erasing; }));
    EXPECT_TRUE(erasingWhileFollowed);
    EXPECT_FALSE(rig.eraseError);
    EXPECT_FALSE(rig.burner->Erasing);
    EXPECT_EQ(rig.Count("a1 11"), 1u);
    EXPECT_EQ(rig.burner->GetDiscStatus(), 0);
}

TEST(EraseDisc, FailingOrNeverReadyDrivesReportAsTheyShould) {
    {
        BurnRig rig("CD-RW", "[Faults]\n1=BLANK sense=5/30/05\n");
        EXPECT_FALSE(rig.burner->EraseDisc(ekFull));
        EXPECT_EQ(rig.eraseCalls, 1) << "before EraseDisc returns";
        EXPECT_TRUE(rig.eraseError);
    }
    {
        // Blanking starts, then the drive never answers ready again.
        BurnRig rig("CD-RW", "[Faults]\n1=TUR from=3 count=* sense=2/3A/01\n");
        ASSERT_TRUE(rig.Erase(ekQuick));
        EXPECT_TRUE(rig.eraseError);
    }
    {
        BurnRig rig("CD-RW", "[Faults]\n1=TUR count=* sense=2/04/01\n");
        EXPECT_FALSE(rig.Erase(ekQuick));
        EXPECT_EQ(rig.eraseCalls, 0);
    }
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
        const std::string log = rig.Log();
        for (size_t at = log.find(" 5b "); at != std::string::npos; at = log.find(" 5b ", at + 1))
            closes += (closes.empty() ? "" : "|") + log.substr(at + 1, 20);
        EXPECT_EQ(closes, c.closes) << c.media;
        rig.ImportLast();
        EXPECT_TRUE(rig.Verify("c.bin")) << c.media;
    }
}

// Overwritable media hold one volume from block 0: a second session goes behind it, the
// disc is not formatted again, and block 16 then describes the new session.
TEST(BurnCD, OverwritableMediaWithDataShowTheNewSessionAtBlock16) {
    const std::pair<const char*, const char*> cases[] = {{"DVD+RW", "dvdplusrw-two-sessions.img"},
                                                         {"DVD-RAM", "dvdram-two-sessions.img"},
                                                         {"DVD-RW-RO", "dvdrw-ro-two-sessions.img"}};
    for (const auto& [media, image] : cases) {
        SCOPED_TRACE(media);
        BurnRig::Unpublish(image);
        BurnRig rig(media);
        rig.Add("a.zip");
        ASSERT_TRUE(rig.Burn());
        ASSERT_EQ(rig.error, "");
        const size_t formats = rig.Count("04 ");
        const uint32_t firstVolume = rig.burner->GetISOVolumeSize();
        ASSERT_GE(firstVolume, 300u);

        rig.ImportLast();
        rig.Add("c.bin");
        ASSERT_TRUE(rig.Burn());
        EXPECT_EQ(rig.error, "");
        EXPECT_EQ(rig.Count("04 "), formats) << "a disc holding data is not formatted again";
        EXPECT_EQ(rig.burner->MultisessionStart(), firstVolume) << "behind the first volume, not over it";
        EXPECT_GT(rig.burner->GetISOVolumeSize(), firstVolume);
        rig.Publish(image);
        rig.ImportLast();
        EXPECT_TRUE(rig.Verify("a.zip")) << "the first session's data, seen from the second";
        EXPECT_TRUE(rig.Verify("c.bin"));
    }
}

// Sequential media holding a closed session (made by the image builder) get the next one at
// the invisible track's next writable address, with no format in between.
TEST(BurnCD, SequentialDvdsWithEarlierSessionsAppendAtTheNextWritableAddress) {
    struct Case {
        std::string media, image, closes;
    } cases[] = {
        {"DVD-R", "dvdr-two-sessions.img", "5b 00 01 00 00 02 00|5b 00 01 00 00 03 00|5b 00 02 00 00 04 00"},
        {"DVD-RW-SEQ", "dvdrw-seq-two-sessions.img", "5b 01 02 00 00 00 00"},
        {"DVD+R", "dvdplusr-two-sessions.img", "5b 00 01 00 00 02 00|5b 00 02 00 00 ff 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.media);
        BurnRig::Unpublish(c.image);
        BurnRig rig(c.media, "", "s1.iso@0", disctest::Route::FixtureLibrary,
                    [](disctest::SimFolder& folder) {
                        TIsoImage first;
                        first.InsertFile(folder.File("a.zip"), "\\");
                        first.InsertFile(folder.File("b.txt"), "\\");
                        first.PrepareImage(0);
                        first.BuildImageHead();
                        std::string error;
                        EXPECT_TRUE(WriteIsoFile(first, folder.File("s1.iso"), error)) << error;
                    });
        ASSERT_EQ(rig.burner->GetLastSession(), 1);
        rig.burner->GetMediaType(); // as a write reads it first: the address depends on it
        const uint32_t nwa = rig.burner->GetNextWritableAddress();
        ASSERT_GT(nwa, 16384u);
        rig.ImportLast();
        rig.Add("c.bin");
        ASSERT_TRUE(rig.Burn());
        EXPECT_EQ(rig.error, "");
        EXPECT_EQ(rig.Count("04 "), 0u) << "no format wipes the earlier session";
        EXPECT_EQ(rig.burner->MultisessionStart(), nwa);
        const std::string log = rig.Log();
        std::string closes;
        for (size_t at = log.find(" 0:0:0 5b "); at != std::string::npos; at = log.find(" 0:0:0 5b ", at + 1))
            closes += (closes.empty() ? "" : "|") + log.substr(at + 7, 20);
        EXPECT_EQ(closes, c.closes);
        EXPECT_EQ(rig.burner->GetLastSession(), 2);
        rig.Publish(c.image);
        rig.ImportLast();
        EXPECT_TRUE(rig.Verify("a.zip"));
        EXPECT_TRUE(rig.Verify("b.txt"));
        EXPECT_TRUE(rig.Verify("c.bin"));
    }
}

// Erasing a DVD+RW or a DVD-RAM quickly means zeroing its start; a drive that refuses those
// writes leaves the volume there, and the erase must say it failed.
TEST(EraseDisc, AnOverwriteTheDriveRefusesIsAFailedErase) {
    for (const char* media : {"DVD+RW", "DVD-RAM"}) {
        SCOPED_TRACE(media);
        BurnRig rig(media, "[Faults]\n1=WRITE10 count=* sense=3/0C/00\n", "s.iso@0");
        rig.folder.WriteFile("s.iso", disctest::CraftedIso(300, 300));
        ASSERT_TRUE(rig.Erase(ekQuick));
        EXPECT_TRUE(rig.eraseError);
    }
}
