// Discs the writer made through the simulated drive, read by independent readers. The Wine test
// (BurnCDWin_test) leaves the drive's images under the Windows build folder's peer-images; here
// xorriso, isoinfo and 7z open them natively, the later session either by its start block or,
// for 7z, through a copy with that session's descriptors at block 16.

// The peers are Linux programs: these tests exist in the native build only.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "IsoSupport.h"
#include "SharedTestData.h"

namespace disc {
namespace {

using namespace test;

// The Windows build folder of the presets, beside this one.
const std::string kImages = std::string(TW_SOURCE_DIR) + "/build/win/peer-images/";

struct WrittenDisc {
    std::string path;
    uint32_t start = 0;
    bool present = false;
    explicit WrittenDisc(const std::string& name) : path(kImages + name) {
        std::ifstream in(path + ".start");
        present = static_cast<bool>(in >> start) && std::filesystem::exists(path);
    }
};

// Missing when the Windows test failed or did not run: a failure where the run must be whole.
#define REQUIRE_DISC(disc)                                                                                   \
    if (!(disc).present) {                                                                                   \
        if (testsupport::SharedTestDataRequired())                                                           \
            FAIL() << "no image: the Wine test BurnCD.* writes " << (disc).path;                             \
        GTEST_SKIP() << "no image yet: the Wine test BurnCD.* writes " << (disc).path;                       \
    }

std::string Extract(const WrittenDisc& disc, const std::string& name, bool bySession) {
    const std::string session = bySession ? " -T " + std::to_string(disc.start) : "";
    return RunCommand("isoinfo -i '" + disc.path + "'" + session + " -J -x '/" + name + "'");
}

// Sequential media: xorriso and isoinfo open the second session by its start block and find
// the first session's files in it; the first session still reads on its own; 7z reads the
// second through a copy with its descriptors at block 16.
void CheckSequentialSessions(const WrittenDisc& disc) {
    int code = -1;
    const std::string found = RunCommand("xorriso -indev '" + disc.path + "' -load sbsector " +
                                             std::to_string(disc.start) + " -find / 2>/dev/null",
                                         &code);
    EXPECT_EQ(code, 0);
    for (const char* name : {"a.zip", "b.txt", "c.bin"})
        EXPECT_NE(found.find(name), std::string::npos) << name << " in\n" << found;

    EXPECT_EQ(Extract(disc, "a.zip", true), std::string(100000, 'a')) << "the first session's data";
    EXPECT_EQ(Extract(disc, "c.bin", true), std::string(70000, 'c'));
    EXPECT_EQ(Extract(disc, "b.txt", false), "bee") << "the first session on its own";

    TempFolder temp;
    std::string copy = ReadBytes(disc.path);
    const size_t from = (size_t(disc.start) + 16) * 2048;
    ASSERT_GT(copy.size(), from + 3 * 2048);
    copy.replace(16 * 2048, 3 * 2048, copy.substr(from, 3 * 2048));
    // The drive's image leaves out zeros never written (the post gap); a disc reads them.
    const uint8_t* pvd = reinterpret_cast<const uint8_t*>(copy.data()) + 16 * 2048;
    const size_t volumeBytes = size_t(pvd[80] | pvd[81] << 8 | pvd[82] << 16 | pvd[83] << 24) * 2048;
    if (copy.size() < volumeBytes) copy.resize(volumeBytes, '\0');
    WriteBytes(temp / "latest.iso", copy);
    RunCommand("cd '" + temp.Path() + "' && 7z x -oout latest.iso >/dev/null 2>&1", &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadBytes(temp / "out/c.bin"), std::string(70000, 'c'));
    EXPECT_EQ(ReadBytes(temp / "out/a.zip"), std::string(100000, 'a'));
}

} // namespace

TEST(BurnCDPeers, SecondCdSessionListsAndExtractsOldAndNewFiles) {
    WrittenDisc disc("cdr-two-sessions.img");
    REQUIRE_DISC(disc);
    CheckSequentialSessions(disc);
}

TEST(BurnCDPeers, SecondDvdRSessionAtTheNextWritableAddressReadsWithTheFirstsFiles) {
    WrittenDisc disc("dvdr-two-sessions.img");
    REQUIRE_DISC(disc);
    CheckSequentialSessions(disc);
}

TEST(BurnCDPeers, SequentialDvdRwAndDvdPlusRKeepTheirFirstSessionUnderTheSecond) {
    for (const char* name : {"dvdrw-seq-two-sessions.img", "dvdplusr-two-sessions.img"}) {
        SCOPED_TRACE(name);
        WrittenDisc disc(name);
        REQUIRE_DISC(disc);
        CheckSequentialSessions(disc);
    }
}

// Two writes failed part-way before the third went through (BurnRetry.*): the failed sessions
// sit between the first and the last, and the last still holds every file, sound.
TEST(BurnCDPeers, ASessionWrittenAfterFailedAttemptsHoldsTheEarlierFilesAndTestsSound) {
    for (const char* name : {"cdr-retry.img", "cdrw-retry.img", "dvdr-retry.img"}) {
        SCOPED_TRACE(name);
        WrittenDisc disc(name);
        REQUIRE_DISC(disc);
        CheckSequentialSessions(disc);
        TempFolder temp;
        WriteBytes(temp / "d.zip", Extract(disc, "d.zip", true));
        int code = -1;
        RunCommand("unzip -tq '" + (temp / "d.zip") + "'", &code);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(RunCommand("unzip -p '" + (temp / "d.zip") + "' data/d.txt", &code),
                  std::string(90000, 'd'));
    }
}

// One volume from block 0 whose descriptors at block 16 were replaced by the second session's.
TEST(BurnCDPeers, OverwritableDiscsShowTheLatestSessionFromBlock16) {
    for (const char* name :
         {"dvdplusrw-two-sessions.img", "dvdram-two-sessions.img", "dvdrw-ro-two-sessions.img"}) {
        SCOPED_TRACE(name);
        WrittenDisc disc(name);
        REQUIRE_DISC(disc);
        EXPECT_GT(disc.start, 0u);
        int code = -1;
        const std::string listing = RunCommand("7z l '" + disc.path + "'", &code);
        EXPECT_EQ(code, 0);
        EXPECT_NE(listing.find("a.zip"), std::string::npos) << listing;
        EXPECT_NE(listing.find("c.bin"), std::string::npos) << listing;
        const std::string found = RunCommand("xorriso -indev '" + disc.path + "' -find / 2>/dev/null", &code);
        EXPECT_EQ(code, 0);
        EXPECT_NE(found.find("a.zip"), std::string::npos) << found;
        EXPECT_NE(found.find("c.bin"), std::string::npos) << found;
        EXPECT_EQ(Extract(disc, "c.bin", false), std::string(70000, 'c'));
        EXPECT_EQ(Extract(disc, "a.zip", false), std::string(100000, 'a'));
    }
}

// "Burn one file" of the window (DiscTab.* under Wine) put two zips into F:\Backup, one
// session each, on a CD-R, a DVD-R and a DVD+RW, and one zip behind a session that cannot be
// read; the last session holds every zip, and each passes unzip's test with its data whole.
TEST(BurnCDPeers, FilesBurnedOneByOneAreAllInTheLastSessionAndTestSound) {
    for (const char* image : {"burnfile-cdr.img", "burnfile-dvdr.img", "burnfile-dvdplusrw.img",
                              "burnfile-past-unreadable.img"}) {
        SCOPED_TRACE(image);
        WrittenDisc disc(image);
        if (!disc.present) {
            if (testsupport::SharedTestDataRequired())
                FAIL() << "no image: the Wine test DiscTab.* writes " << disc.path;
            GTEST_SKIP() << "no image yet: the Wine test DiscTab.* writes " << disc.path;
        }
        int code = -1;
        const std::string found = RunCommand(
            "xorriso -indev '" + disc.path + "'" +
                (disc.start > 0 ? " -load sbsector " + std::to_string(disc.start) : std::string()) +
                " -find /Backup 2>/dev/null",
            &code);
        EXPECT_EQ(code, 0);
        for (const char* name : {"one.zip", "two.zip"})
            EXPECT_NE(found.find(std::string("/Backup/") + name), std::string::npos) << found;
        TempFolder temp;
        for (const std::string name : {"one", "two"}) {
            SCOPED_TRACE(name);
            WriteBytes(temp / (name + ".zip"), Extract(disc, "Backup/" + name + ".zip", disc.start > 0));
            RunCommand("unzip -tq '" + (temp / (name + ".zip")) + "'", &code);
            EXPECT_EQ(code, 0);
            const std::string data =
                RunCommand("unzip -p '" + (temp / (name + ".zip")) + "' 'data/" + name + ".zip.txt'", &code);
            const bool dvd = std::string(image).find("dvd") != std::string::npos;
            EXPECT_EQ(data, name == "two" ? std::string(dvd ? "2" : "second")
                            : dvd         ? std::string(70000, '1')
                                          : std::string(50000, 'x'));
        }
    }
}

} // namespace disc

#endif // _WIN32
