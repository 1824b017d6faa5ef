// A write that failed part-way and the attempts after it, as the job's disc step makes them:
// empty tree, import of the last session, the files again, Prepare, BurnCD. A retry must land
// behind what the disc already holds and continue from the last whole session, so the earlier
// sessions stay readable (the native peer test reads the images left here).

#include "BurnRigWinSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "disc/IsoStream.h"
#include "zip/Crc32.h"

using namespace disc;

using disctest::BurnRig;

namespace {

void Put(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i));
}

// A zip with one stored entry, for unzip's test on the far side.
std::string StoredZip(const std::string& name, const std::string& data) {
    const uint32_t crc = zip::Crc32Of(data.data(), data.size());
    const auto size = static_cast<uint32_t>(data.size()), nameLength = static_cast<uint32_t>(name.size());
    std::string zip;
    Put(zip, 0x04034b50, 4);
    Put(zip, 10, 2);
    Put(zip, 0, 2);
    Put(zip, 0, 2);
    Put(zip, 0, 4);
    Put(zip, crc, 4);
    Put(zip, size, 4);
    Put(zip, size, 4);
    Put(zip, nameLength, 2);
    Put(zip, 0, 2);
    zip += name + data;
    const auto central = static_cast<uint32_t>(zip.size());
    Put(zip, 0x02014b50, 4);
    Put(zip, 10, 2);
    Put(zip, 10, 2);
    Put(zip, 0, 2);
    Put(zip, 0, 2);
    Put(zip, 0, 4);
    Put(zip, crc, 4);
    Put(zip, size, 4);
    Put(zip, size, 4);
    Put(zip, nameLength, 2);
    Put(zip, 0, 4);
    Put(zip, 0, 4);
    Put(zip, 0, 4);
    Put(zip, 0, 4);
    zip += name;
    const auto centralSize = static_cast<uint32_t>(zip.size()) - central;
    Put(zip, 0x06054b50, 4);
    Put(zip, 0, 4);
    Put(zip, 1, 2);
    Put(zip, 1, 2);
    Put(zip, centralSize, 4);
    Put(zip, central, 4);
    Put(zip, 0, 2);
    return zip;
}

// A first session (a.zip, b.txt) made by the image builder and laid down as a closed session.
void FirstSession(disctest::SimFolder& folder) {
    folder.WriteFile("d.zip", StoredZip("data/d.txt", std::string(90000, 'd')));
    TIsoImage first;
    first.InsertFile(folder.File("a.zip"), "\\");
    first.InsertFile(folder.File("b.txt"), "\\");
    first.PrepareImage(0);
    first.BuildImageHead();
    std::string error;
    EXPECT_TRUE(WriteIsoFile(first, folder.File("s1.iso"), error)) << error;
}

// One attempt of the disc step for c.bin and d.zip.
bool Attempt(BurnRig& rig) {
    rig.burner->Image.ClearAll(65535, 8191);
    rig.burner->ImportSession(-1, nullptr);
    // The tree comes from the last whole session, never from a failed one.
    EXPECT_TRUE(rig.burner->Image.FindFile(rig.burner->Image.Root(), "b.txt"));
    EXPECT_FALSE(rig.burner->Image.FindFile(rig.burner->Image.Root(), "d.zip"));
    rig.Add("c.bin");
    rig.Add("d.zip");
    rig.burner->Prepare(false, false);
    return rig.Burn();
}

// The first blocks of every WRITE(10) in the log.
std::vector<uint32_t> WrittenAt(const std::string& log) {
    std::vector<uint32_t> blocks;
    for (size_t at = log.find(" 0:0:0 2a "); at != std::string::npos; at = log.find(" 0:0:0 2a ", at + 1)) {
        unsigned b[6] = {};
        if (std::sscanf(log.c_str() + at + 7, "%x %x %x %x %x %x", &b[0], &b[1], &b[2], &b[3], &b[4],
                        &b[5]) == 6)
            blocks.push_back(b[2] << 24 | b[3] << 16 | b[4] << 8 | b[5]);
    }
    return blocks;
}

} // namespace

// Two attempts fail in the middle of their data; the first leaves its session open, the second
// finds it open, closes it and fails in a session of its own; the third imports past both.
TEST(BurnRetry, WritesThatFailedPartWayAreRetriedBehindTheEarlierSessions) {
    const std::pair<const char*, const char*> cases[] = {
        {"CD-R", "cdr-retry.img"}, {"CD-RW", "cdrw-retry.img"}, {"DVD-R", "dvdr-retry.img"}};
    for (const auto& [media, image] : cases) {
        SCOPED_TRACE(media);
        BurnRig::Unpublish(image);
        BurnRig rig(media, "[Faults]\n1=WRITE10 from=3 sense=3/0C/00\n2=WRITE10 from=6 sense=3/0C/00\n",
                    "s1.iso@0", disctest::Route::FixtureLibrary, FirstSession);
        ASSERT_EQ(rig.burner->GetLastSession(), 1);
        rig.burner->GetMediaType();
        const uint32_t nwa = rig.burner->GetNextWritableAddress();
        ASSERT_GT(nwa, 300u);

        for (int failing = 0; failing < 2; ++failing) {
            ASSERT_TRUE(Attempt(rig));
            ASSERT_NE(rig.error.find("MEDIUM ERROR"), std::string::npos) << rig.error;
        }
        const uint32_t failedStart = rig.burner->MultisessionStart();

        ASSERT_TRUE(Attempt(rig));
        EXPECT_EQ(rig.error, "");
        EXPECT_GT(rig.burner->MultisessionStart(), failedStart) << "behind both failed sessions";
        for (uint32_t lba : WrittenAt(rig.Log()))
            EXPECT_GE(lba, nwa) << "a write inside the first session";
        EXPECT_EQ(rig.burner->GetLastSession(), 4) << "first, two failed, the retry";
        rig.Publish(image);

        rig.ImportLast();
        for (const char* name : {"a.zip", "b.txt", "c.bin", "d.zip"})
            EXPECT_TRUE(rig.Verify(name)) << name;
    }
}

// Sequential media holding sessions never take a write at block 0: an address that cannot be
// read ends the write before any data is sent.
TEST(BurnRetry, AnUnreadableNextWritableAddressStopsTheWrite) {
    BurnRig rig("CD-R", "[Faults]\n1=RTI count=* sense=5/24/00\n2=RCAP count=* sense=5/24/00\n", "s1.iso@0",
                disctest::Route::FixtureLibrary, FirstSession);
    rig.Add("c.bin");
    EXPECT_FALSE(rig.burner->BurnCD());
    EXPECT_EQ(rig.doneCalls, 1);
    EXPECT_EQ(rig.error, "ERROR GETTING NEXT WRITABLE ADDRESS");
    EXPECT_EQ(rig.Count("2a "), 0u);
}

// On overwritable media the new session goes behind the volume read at block 16; a disc that
// cannot be read there is neither formatted nor written from block 0 over what it holds.
TEST(BurnRetry, AnOverwritableDiscWhoseVolumeCannotBeReadIsLeftAlone) {
    for (const char* media : {"DVD+RW", "DVD-RW-RO"}) {
        SCOPED_TRACE(media);
        BurnRig rig(media);
        rig.Add("a.zip");
        ASSERT_TRUE(rig.Burn());
        ASSERT_EQ(rig.error, "");
        const size_t writes = rig.Count("2a "), formats = rig.Count("04 ");

        ASSERT_EQ(disctest::FixtureControl("fault READ10 count=* sense=3/11/00"), 1);
        rig.burner->Image.ClearAll(65535, 8191);
        rig.Add("c.bin");
        rig.burner->Prepare(false, false);
        EXPECT_FALSE(rig.burner->BurnCD());
        EXPECT_EQ(rig.error, "ERROR GETTING NEXT WRITABLE ADDRESS");
        EXPECT_EQ(rig.Count("2a "), writes);
        EXPECT_EQ(rig.Count("04 "), formats);

        ASSERT_EQ(disctest::FixtureControl("clearfaults"), 1);
        rig.ImportLast();
        EXPECT_TRUE(rig.Verify("a.zip"));
    }
}

// The drive refuses the writer's own write parameters: the disc is left open, untouched,
// instead of being written and closed with the parameters a query left (which finish it).
TEST(BurnRetry, RefusedWriteParametersEndTheWriteBeforeAnyData) {
    size_t writersSelect = 0;
    {
        BurnRig rig("CD-R", "", "s1.iso@0", disctest::Route::FixtureLibrary, FirstSession);
        rig.Add("c.bin");
        ASSERT_TRUE(rig.Burn());
        const std::string log = rig.Log();
        const size_t firstWrite = log.find(" 0:0:0 2a ");
        for (size_t at = log.find(" 0:0:0 55 "); at < firstWrite; at = log.find(" 0:0:0 55 ", at + 1))
            ++writersSelect;
    }
    ASSERT_GT(writersSelect, 1u);
    BurnRig rig("CD-R",
                "[Faults]\n1=MODESELECT from=" + std::to_string(writersSelect) + " count=2 sense=5/26/00\n",
                "s1.iso@0", disctest::Route::FixtureLibrary, FirstSession);
    rig.Add("c.bin");
    ASSERT_TRUE(rig.Burn());
    EXPECT_EQ(rig.error.rfind("WRITER ERROR [", 0), 0u) << rig.error;
    EXPECT_EQ(rig.Count("2a "), 0u);
    EXPECT_EQ(rig.Count("5b "), 0u);
    EXPECT_EQ(rig.burner->GetDiscStatus(), 1) << "still appendable";
}
