// The writer's bounded retries, its timer resolution, the erase follower's transport reload
// and the component's small members, on a drive in memory reached through the internal
// transport: there ten thousand BUSY answers cost no file or library work.

#include "BurnRigWinSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "gui/Application.h"
#include "gui/Wait.h"

using namespace disc;
using disctest::BurnRig;
using disctest::Route;

namespace {

// The manual clock, noting the highest erase progress below 100 that the follower has set
// whenever anyone waits on it (the follower waits after each of its phases).
class ProgressProbe : public gui::ManualClock {
  public:
    explicit ProgressProbe(BurnRig& rig) : rig_(rig) { gui::SetClock(this); }
    ~ProgressProbe() override { gui::SetClock(&rig_.scope.clock); }
    bool Sleep(int milliseconds, bool alertable) override {
        const int percent = rig_.burner->GetEraseProgress();
        if (percent < 100) {
            int seen = highest.load();
            while (percent > seen && !highest.compare_exchange_weak(seen, percent)) {
            }
        }
        return ManualClock::Sleep(milliseconds, alertable);
    }
    std::atomic<int> highest{0};

  private:
    BurnRig& rig_;
};

} // namespace

TEST(BurnCD, TenThousandBusyAnswersToOneWriteEndIt) {
    for (const int busy : {9999, 10000}) {
        SCOPED_TRACE(busy);
        BurnRig rig("CD-R", "[Faults]\n1=WRITE10 from=2 count=" + std::to_string(busy) + " status=busy\n", "",
                    Route::InMemory);
        rig.Add("b.txt");
        const int64_t start = rig.scope.clock.MonotonicMs();
        ASSERT_TRUE(rig.Burn());
        EXPECT_GE(rig.scope.clock.MonotonicMs() - start, int64_t(busy - 1) * 600) << "600 ms between tries";
        // 300 blocks of post gap in WRITEs of 27 blocks.
        const size_t blocks = (300 * 2048 + 55295) / 55296;
        if (busy == 9999) {
            EXPECT_EQ(rig.error, "");
            EXPECT_EQ(rig.Count("2a "), blocks + 9999);
            rig.ImportLast();
            EXPECT_TRUE(rig.Verify("b.txt"));
        } else {
            EXPECT_EQ(rig.error, "WRITER BUSY/BUFFER FULL");
            EXPECT_EQ(rig.Count("2a "), 1u + 10000u) << "the first block, then one block tried 10,000 times";
            EXPECT_EQ(rig.Count("5b "), 0u);
        }
    }
}

TEST(BurnCD, AWriteHoldsOneMillisecondTimersUntilItsReport) {
    struct Case {
        const char* name;
        std::string faults;
        bool cancel, fileMode;
    } cases[] = {
        {"success", "", false, false},
        {"medium error", "[Faults]\n1=WRITE10 from=3 sense=3/0C/00\n", false, false},
        {"failed close", "[Faults]\n1=CLOSE count=* sense=5/2C/00\n", false, false},
        {"cancel", "", true, false},
        {"file mode", "", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BurnRig rig("CD-R", c.faults, "", Route::InMemory);
        rig.Add("a.zip");
        int heldWhileWriting = -1, heldAtReport = -1;
        rig.burner->OnFinalizingTrack = [&](void*) {
            heldWhileWriting = HeldTimerPeriods();
            if (c.cancel) rig.burner->AbortWrite();
        };
        rig.burner->OnDebugMessage = [&](void*, const std::string& text, uint8_t) {
            if (text.find("STARTING WRITE") != std::string::npos) heldWhileWriting = HeldTimerPeriods();
        };
        rig.burner->OnWriteDone = [&](void*, const std::string& text) {
            ++rig.doneCalls;
            rig.error = text;
            heldAtReport = HeldTimerPeriods();
        };
        if (c.fileMode) rig.burner->ISOFileName = rig.folder.File("out.iso");
        ASSERT_TRUE(rig.Burn());
        EXPECT_EQ(rig.error.empty(), std::string(c.name) == "success" || c.fileMode) << rig.error;
        if (!c.fileMode) {
            EXPECT_EQ(heldWhileWriting, 1);
        }
        EXPECT_EQ(heldAtReport, 0);
    }
    BurnRig rig("CD-R", "", "", Route::InMemory);
    rig.Add("b.txt");
    DeleteFileA(rig.folder.File("b.txt").c_str());
    EXPECT_FALSE(rig.burner->BurnCD()) << "the cache fails before the writer starts";
    EXPECT_EQ(HeldTimerPeriods(), 0);
}

TEST(EraseDisc, TheInternalTransportIsReloadedOnTheGuiThreadAndTheDriveStillWrites) {
    BurnRig rig("CD-RW", "", "", Route::InMemory);
    rig.Add("c.bin");
    ASSERT_TRUE(rig.Burn());
    ASSERT_EQ(rig.error, "");
    const size_t lookups = rig.memory->TableLookups().size();
    ASSERT_TRUE(rig.Erase(ekQuick));
    EXPECT_FALSE(rig.eraseError);
    const std::vector<unsigned long> after = rig.memory->TableLookups();
    ASSERT_GT(after.size(), lookups) << "the emulation's table was built again";
    const unsigned long gui = GetCurrentThreadId();
    EXPECT_TRUE(std::all_of(after.begin(), after.end(), [gui](unsigned long id) { return id == gui; }));
    EXPECT_EQ(rig.burner->GetDiscStatus(), 0);

    rig.burner->Image.ClearAll(65535, 8191);
    rig.Add("a.zip");
    ASSERT_TRUE(rig.Burn());
    EXPECT_EQ(rig.error, "");
    rig.ImportLast();
    EXPECT_TRUE(rig.Verify("a.zip"));
}

TEST(DiscBurner, SmallMembersKeepTheirRules) {
    BurnRig rig("CD-R", "", "", Route::InMemory);
    TDiscBurner& burner = *rig.burner;
    EXPECT_TRUE(burner.ASPIInitialized());
    // The cache holds whole blocks of 2048 bytes, at least 2 MiB.
    burner.SetCacheSize(1000000);
    EXPECT_EQ(burner.CacheSize(), 2097152u);
    burner.SetCacheSize(5000000);
    EXPECT_EQ(burner.CacheSize(), 4999168u);
    burner.DoneASPI();
    EXPECT_FALSE(burner.ASPIInitialized());
}

TEST(BurnCD, CacheFillIsTheQueuedShareOfTheCacheWhileWriting) {
    BurnRig rig("CD-R", "", "", Route::InMemory);
    rig.folder.WriteFile("big.bin", std::string(5000000, 'x'));
    rig.Add("big.bin");
    EXPECT_EQ(rig.burner->GetCacheFillPercent(), 0) << "idle";
    int atStart = -1;
    rig.burner->OnDebugMessage = [&](void*, const std::string& text, uint8_t) {
        if (text.find("STARTING WRITE") != std::string::npos) atStart = rig.burner->GetCacheFillPercent();
    };
    ASSERT_TRUE(rig.Burn());
    EXPECT_EQ(rig.error, "");
    // 75 blocks of 55,296 bytes fit in 4 MiB; the reader stops one short: 74 × 55,296 / 4 MiB.
    EXPECT_EQ(atStart, 98);
    EXPECT_EQ(rig.burner->GetCacheFillPercent(), 0) << "after the write";
}

// Every rewritable medium, quick and full, holding a session: the medium's command, the
// follower's zero writes where the medium needs them, a report without error, an empty disc.
TEST(EraseDisc, EveryRewritableMediumQuickAndFullSendsItsCommandAndEndsEmpty) {
    struct Case {
        const char* media;
        uint8_t kind;
        const char* command;
        size_t writes;
    } cases[] = {
        {"CD-RW", ekQuick, "a1 11", 0},      {"CD-RW", ekFull, "a1 10", 0},
        {"DVD-RW-SEQ", ekQuick, "a1 11", 0}, {"DVD-RW-SEQ", ekFull, "a1 10", 0},
        {"DVD+RW", ekQuick, "04 11", 65},    {"DVD+RW", ekFull, "04 11", 71001},
        {"DVD-RAM", ekQuick, "", 11 + 65},   {"DVD-RAM", ekFull, "04 11", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.media) + (c.kind == ekQuick ? " quick" : " full"));
        BurnRig rig(c.media, "", "", Route::InMemory);
        rig.Add("c.bin");
        ASSERT_TRUE(rig.Burn());
        ASSERT_EQ(rig.error, "");
        const size_t commands = c.command[0] ? rig.Count(c.command) : 0;
        const size_t writes = rig.Count("2a ");
        ProgressProbe probe(rig);
        ASSERT_TRUE(rig.Erase(c.kind));
        EXPECT_FALSE(rig.eraseError);
        if (c.writes == 71001) {
            // 2 s of format polling and a second per write, six per cent of elapsed/expected
            // (4,440 s): the bar moves over the whole loop instead of stopping at 99 early.
            EXPECT_EQ(probe.highest.load(), 96);
        }
        EXPECT_EQ(rig.burner->GetEraseProgress(), 0) << "no erase runs";
        if (c.command[0]) {
            EXPECT_EQ(rig.Count(c.command), commands + 1);
        }
        EXPECT_EQ(rig.Count("2a "), writes + c.writes);
        EXPECT_EQ(rig.burner->GetISOVolumeSize(), 0u);
    }
}

// A quick DVD-RW erase is followed for 180 s, not the 600 s of other DVDs: a drive that stays
// busy is polled once a second of elapsed time, and a drive answering anything but "no sense"
// (here: its tray opened) is asked again every 2 s, not given up at once.
TEST(EraseDisc, QuickDvdRwEraseIsFollowedForItsOwnTime) {
    {
        BurnRig rig("DVD-RW-SEQ", "[Faults]\n1=TUR from=3 count=* sense=2/04/07\n", "", Route::InMemory);
        ASSERT_TRUE(rig.Erase(ekQuick));
        EXPECT_TRUE(rig.eraseError) << "never ready";
        const size_t polls = rig.Count("00 ");
        EXPECT_GT(polls, 181u);
        EXPECT_LT(polls, 200u);
    }
    {
        BurnRig rig("DVD-RW-SEQ", "[Faults]\n1=TUR from=3 eject\n", "", Route::InMemory);
        ASSERT_TRUE(rig.Erase(ekQuick));
        EXPECT_TRUE(rig.eraseError);
        const size_t polls = rig.Count("03 ");
        EXPECT_GT(polls, 80u) << "until the time is up";
        EXPECT_LT(polls, 100u);
    }
}

// BurnCD pumps messages while it prepares the medium, before its cache exists: a cancel that
// arrives there still stops the write, reported at once, and nothing is written.
TEST(BurnCD, CancelWhileBurnCDPreparesEndsInOneReport) {
    BurnRig rig("DVD+RW", "", "", Route::InMemory);
    rig.Add("c.bin");
    gui::Application().Post([&rig] { rig.burner->AbortWrite(); });
    EXPECT_FALSE(rig.burner->BurnCD());
    EXPECT_EQ(rig.doneCalls, 1);
    EXPECT_EQ(rig.error, "OPERATION ABORTED BY USER");
    EXPECT_EQ(rig.Count("2a "), 0u);
}
