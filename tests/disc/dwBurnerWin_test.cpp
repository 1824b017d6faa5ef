// Session import and file verification through the simulated drive: sessions we wrote,
// prefilled on a CD-R, read back with READ(10).

#include "SimDriveWinSupport.h"

#include <gtest/gtest.h>

#include "disc/IsoStream.h"
#include "disc/dwBurner.h"

using namespace disc;
using disctest::SimFolder;

namespace {

constexpr uint32_t kSecondSession = 11440;

struct TwoSessionDisc {
    disctest::DiscTestScope scope;
    SimFolder folder;
    TDiscBurner burner;
    std::vector<std::pair<std::string, int>> messages;

    explicit TwoSessionDisc(const std::string& faults = "", const std::string& media = "CD-R",
                            std::string prefill = "") {
        folder.WriteFile("a.zip", std::string(100000, 'a'));
        folder.WriteFile("b.txt", "bee");
        folder.WriteFile("c.bin", std::string(5000, 'c'));
        // Tracks for discs laid out by other programs.
        folder.WriteFile("other.bin", std::string(32 * 2048, 'o'));
        folder.WriteFile("audio.bin", std::string(32 * 2048, '\x55'));
        TIsoImage first;
        first.InsertFile(folder.File("a.zip"), "\\");
        first.InsertFile(folder.File("b.txt"), "\\");
        Write(first, 0, "s1.iso");
        TIsoImage second;
        second.AddImportedFile(second.Root(), "a.zip", first.Files()[0]->FirstBlock, 100000, 0, 0);
        second.InsertFile(folder.File("c.bin"), "\\");
        Write(second, kSecondSession, "s2.iso");
        // Overwritable media hold one volume from block 0; later sessions live inside it.
        if (prefill.empty())
            prefill = media == "CD-R" ? "s1.iso@0,s2.iso@" + std::to_string(kSecondSession) : "s1.iso@0";
        folder.WriteIni("[Bus]\nCompletion=sync\nLog=sim.log\n[Drive0]\nAddress=0:0:0\nLetter=E\n"
                        "Writes=CD-R,CD-RW,DVD+RW\nDisc=d0\n[Disc:d0]\nMedia=" +
                        media + "\nImage=d0.img\nPrefill=" + prefill + "\n" + faults);
        EXPECT_TRUE(burner.InitASPI(false, disctest::WindowsPath(TW_SIMDRIVE_DLL)));
        if (!burner.DeviceList.empty()) burner.SetDeviceID(burner.DeviceList[0]);
        burner.OnDebugMessage = [this](void*, const std::string& text, uint8_t type) {
            messages.emplace_back(text, type);
        };
    }
    void Write(TIsoImage& image, uint32_t start, const std::string& name) {
        image.PrepareImage(start);
        image.BuildImageHead();
        std::string error;
        EXPECT_TRUE(WriteIsoFile(image, folder.File(name), error)) << error;
    }
    bool HasMessage(const std::string& text) const {
        for (const auto& message : messages)
            if (message.first == text) return true;
        return false;
    }
    size_t Reads() {
        std::string log = folder.Log();
        size_t count = 0;
        for (size_t at = log.find(" 28 "); at != std::string::npos; at = log.find(" 28 ", at + 1))
            ++count;
        return count;
    }
};

} // namespace

TEST(DiscBurner, ImportsTheLastOrANamedSessionFromTheDisc) {
    TwoSessionDisc disc;
    TDiscBurner& burner = disc.burner;
    size_t reads = disc.Reads();
    EXPECT_FALSE(burner.ImportSession(0, nullptr));
    EXPECT_EQ(disc.Reads(), reads) << "session 0 reads nothing";

    ASSERT_TRUE(burner.ImportSession(-1, nullptr));
    EXPECT_EQ(disc.messages.front().first, ">>> IMPORTING SESSION # 2");
    TFEntry* a = burner.Image.FindFile(burner.Image.Root(), "A.ZIP");
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->Imported);
    EXPECT_NE(burner.Image.FindFile(burner.Image.Root(), "c.bin"), nullptr);
    EXPECT_EQ(burner.Image.FindFile(burner.Image.Root(), "b.txt"), nullptr)
        << "b was not carried into session 2";

    TDEntry* older = burner.Image.CreateDir("\\", "first");
    ASSERT_TRUE(burner.ImportSession(1, older));
    EXPECT_NE(burner.Image.FindFile(older, "b.txt"), nullptr);
    EXPECT_EQ(burner.ImportedCount, 4);
}

// A session of two data tracks, then one that opens with an audio track: each session's
// tree is read from its own first data track, whatever the track numbers.
TEST(DiscBurner, SessionsOfSeveralTracksImportFromTheirOwnDataTrack) {
    TwoSessionDisc disc("", "CD-R",
                        "s1.iso@0,+other.bin@2000,audio:audio.bin@11000,+s2.iso@" +
                            std::to_string(kSecondSession));
    TDiscBurner& burner = disc.burner;
    ASSERT_EQ(burner.GetLastSession(), 2);
    ASSERT_TRUE(burner.ImportSession(-1, nullptr));
    TFEntry* c = burner.Image.FindFile(burner.Image.Root(), "c.bin");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(burner.Image.FindFile(burner.Image.Root(), "b.txt"), nullptr) << "not the first session's tree";
    EXPECT_TRUE(burner.VerifyFile(c, disc.folder.File("c.bin")));

    TDEntry* older = burner.Image.CreateDir("\\", "first");
    ASSERT_TRUE(burner.ImportSession(1, older));
    EXPECT_NE(burner.Image.FindFile(older, "b.txt"), nullptr);
    EXPECT_FALSE(disc.HasMessage("ERROR IMPORTING SESSION 2 (ISO IMAGE NOT FOUND)"));
}

TEST(DiscBurner, UnreadableTrackInformationEndsTheImportWithAMessage) {
    TwoSessionDisc disc("[Faults]\n1=RTI sense=5/24/00\n");
    EXPECT_FALSE(disc.burner.ImportSession(-1, nullptr));
    ASSERT_FALSE(disc.messages.empty());
    EXPECT_EQ(disc.messages.back().first, "ERROR IMPORTING SESSION # 2");
    EXPECT_EQ(disc.messages.back().second, kMsgError);
}

TEST(DiscBurner, VerifyFileComparesTheDiscWithTheSource) {
    TwoSessionDisc disc;
    TDiscBurner& burner = disc.burner;
    ASSERT_TRUE(burner.ImportSession(-1, nullptr));
    TFEntry* a = burner.Image.FindFile(burner.Image.Root(), "a.zip");
    TFEntry* c = burner.Image.FindFile(burner.Image.Root(), "c.bin");
    ASSERT_TRUE(a && c);
    EXPECT_TRUE(burner.VerifyFile(a, disc.folder.File("a.zip")))
        << "a file of the first session, seen from the second";
    EXPECT_EQ(burner.Progress.load(), 100);
    EXPECT_TRUE(burner.VerifyFile(c, disc.folder.File("c.bin")));
    std::string changed(5000, 'c');
    changed[4999] = 'x';
    disc.folder.WriteFile("c.bin", changed);
    EXPECT_FALSE(burner.VerifyFile(c, disc.folder.File("c.bin")));
    EXPECT_THROW(burner.VerifyFile(c, disc.folder.File("missing.bin")), EIsoSourceMissing);
}

TEST(DiscBurner, PrepareContinuesADiscWithSessionsAtItsNextWritableAddress) {
    TwoSessionDisc disc;
    TDiscBurner& burner = disc.burner;
    burner.Prepare(false, false);
    EXPECT_EQ(burner.MultisessionStart(), 0u) << "the application's own layout starts at 0";
    EXPECT_EQ(burner.Image.FirstFileBlock(), 150u);
    const uint32_t tracksize = burner.Image.GetTrackSize();
    burner.Prepare(false, true);
    EXPECT_GT(burner.MultisessionStart(), kSecondSession);
    EXPECT_EQ(burner.MultisessionStart(), burner.GetNextWritableAddress());
    EXPECT_EQ(burner.Image.GetTrackSize(), tracksize) << "the size counts from the session start";
    EXPECT_FALSE(disc.HasMessage("ERROR GETTING NEXT WRITABLE ADDRESS"));
}

TEST(DiscBurner, PrepareOnOverwritableMediaStartsBehindTheExistingVolume) {
    TwoSessionDisc disc("", "DVD+RW");
    TDiscBurner& burner = disc.burner;
    burner.Prepare(false, true);
    EXPECT_EQ(burner.MultisessionStart(), 300u) << "the first session's volume, post gap included";
    EXPECT_EQ(burner.Image.FirstFileBlock(), 900u) << "600 blocks into a DVD session";
}
