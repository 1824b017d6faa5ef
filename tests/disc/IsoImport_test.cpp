// Session import over hostile sessions, and the read-back comparison of written files.

#include <gtest/gtest.h>

#include <cstring>

#include "IsoSupport.h"
#include "disc/IsoImport.h"
#include "disc/IsoNames.h"
#include "disc/IsoRecords.h"
#include "disc/IsoStream.h"

namespace disc {
namespace {

using namespace test;

// A session built by hand, block 0 at the session start: descriptors at 16 (primary) and 17
// (Joliet when asked), terminator, then directory blocks added by the test.
struct RawSession {
    std::string bytes = std::string(19 * kBlockSize, '\0');
    bool joliet;
    uint32_t volumeEnd = 1000;

    explicit RawSession(bool withJoliet = true) : joliet(withJoliet) {}

    uint8_t* Block(uint32_t block) {
        if (bytes.size() < (block + 1) * kBlockSize) bytes.resize((block + 1) * kBlockSize, '\0');
        return reinterpret_cast<uint8_t*>(bytes.data()) + block * kBlockSize;
    }
    void Record(uint8_t* p, uint32_t extent, uint32_t size, uint8_t flags, const std::string& id,
                int length = 0) {
        p[0] = static_cast<uint8_t>(length ? length : 33 + id.size() + (id.size() % 2 == 0));
        PutBoth32(p + kDrExtent, extent);
        PutBoth32(p + kDrDataLength, size);
        p[kDrDate] = 120;
        p[kDrDate + 1] = 5;
        p[kDrDate + 2] = 17;
        p[kDrFlags] = flags;
        p[kDrNameLength] = static_cast<uint8_t>(id.size());
        std::memcpy(p + 33, id.data(), id.size());
    }
    std::string Id(const std::string& name) const {
        if (!joliet) return name;
        std::string wide;
        for (char c : name)
            wide += std::string{'\0', c};
        return wide;
    }
    // Descriptors pointing at a root directory of one block at rootBlock.
    void Descriptors(uint32_t rootBlock) {
        for (uint32_t block : {16u, 17u}) {
            uint8_t* vd = Block(block);
            vd[0] = block == 16 ? 1 : 2;
            std::memcpy(vd + 1, "CD001", 5);
            vd[6] = 1;
            PutBoth32(vd + kVdVolumeSpaceSize, volumeEnd);
            if (block == 17) std::memcpy(vd + kVdEscapes, joliet ? "%/@" : "xxx", 3);
            Record(vd + kVdRootRecord, rootBlock, kBlockSize, kFlagDirectory, std::string(1, '\0'));
        }
        uint8_t* terminator = Block(18);
        terminator[0] = 255;
        std::memcpy(terminator + 1, "CD001", 5);
    }
    // A directory block with "." and ".." and the given records; returns the write position.
    uint8_t* Directory(uint32_t block, uint32_t parent) {
        uint8_t* p = Block(block);
        Record(p, block, kBlockSize, kFlagDirectory, std::string(1, '\0'));
        Record(p + 34, parent, kBlockSize, kFlagDirectory, std::string(1, '\1'));
        return p + 68;
    }
};

struct Import {
    TIsoImage image;
    std::vector<std::string> errors;
    int count = 0;
    bool ok = false;
    void Run(RawSession& session, std::vector<uint32_t> bad = {}) {
        image.OnDebugMessage = [this](const std::string& text, int type) {
            if (type == kMsgError) errors.push_back(text);
        };
        MemoryBlockReader reader(session.bytes, 0);
        reader.Bad = bad;
        ok = ImportIsoSession(reader, 0, 2, image, nullptr, &count);
    }
    bool Said(const std::string& text) const {
        for (const std::string& error : errors)
            if (error.find(text) != std::string::npos) return true;
        return false;
    }
};

TEST(IsoImport, ReadsJolietNamesDatesAndFlagsAndSkipsOverlongNames) {
    RawSession session;
    session.Descriptors(20);
    uint8_t* p = session.Directory(20, 20);
    session.Record(p, 30, 5000, kFlagHidden, session.Id("Report.zip;1"));
    p += p[0];
    // The longest identifier a record can hold; too long for a record of the new session.
    session.Record(p, 40, 10, 0, session.Id(std::string(111, 'a')), 255);
    p += p[0];
    session.Record(p, 21, kBlockSize, kFlagDirectory, session.Id("Sub"));
    uint8_t* sub = session.Directory(21, 20);
    session.Record(sub, 0, 0, 0, session.Id("empty"));

    Import import;
    import.Run(session);
    EXPECT_TRUE(import.ok);
    TFEntry* report = import.image.FindFile(import.image.Root(), "report.zip");
    ASSERT_NE(report, nullptr);
    EXPECT_TRUE(report->Imported);
    EXPECT_EQ(report->FirstBlock, 30u);
    EXPECT_EQ(report->Size, 5000);
    EXPECT_EQ(report->Attributes & kAttrHidden, kAttrHidden);
    TDateTime expected = 0;
    DateTimeFromCivil({2020, 5, 17, 0, 0, 0, 0}, expected);
    EXPECT_EQ(report->DateTime, expected);
    EXPECT_NE(import.image.FindFile(import.image.FindDir("\\Sub"), "EMPTY"), nullptr);
    EXPECT_EQ(import.count, 3);
    EXPECT_EQ(import.image.GetFileCount(), 2);
    EXPECT_TRUE(import.Said("NAME TOO LONG FOR THE DISC"));
}

TEST(IsoImport, IsoOnlySessionsLoseTheVersionAndTrailingDot) {
    RawSession session(false);
    session.Descriptors(20);
    uint8_t* p = session.Directory(20, 20);
    session.Record(p, 30, 1, 0, "README.;1");
    p += p[0];
    session.Record(p, 31, 1, 0, "DATA.ZIP;1");
    p += p[0];
    session.Record(p, 32, 1, 0, std::string(121, 'L') + ";1");
    p += p[0];
    session.Record(p, 33, 1, 0, std::string(120, 'M') + ";1");
    Import import;
    import.Run(session);
    EXPECT_TRUE(import.ok);
    EXPECT_TRUE(import.Said("FILE NAME LENGTH EXCEEDS 120 CHARS"));
    EXPECT_TRUE(import.Said("NAME TOO LONG FOR THE DISC"));
    EXPECT_NE(import.image.FindFile(import.image.Root(), "README"), nullptr);
    EXPECT_NE(import.image.FindFile(import.image.Root(), "DATA.ZIP"), nullptr);
}

TEST(IsoImport, HostileSessionsEndWithAMessageNeverACrashOrHang) {
    {
        SCOPED_TRACE("no descriptors");
        RawSession session;
        Import import;
        import.Run(session);
        EXPECT_FALSE(import.ok);
        EXPECT_TRUE(import.Said("ERROR IMPORTING SESSION 2 (ISO IMAGE NOT FOUND)"));
    }
    {
        SCOPED_TRACE("record shorter than its header, then one past the block");
        RawSession session;
        session.Descriptors(20);
        uint8_t* p = session.Directory(20, 20);
        session.Record(p, 30, 1, 0, session.Id("ok"));
        p += p[0];
        session.Record(p, 30, 1, 0, session.Id("short"), 20);
        Import import;
        import.Run(session);
        EXPECT_TRUE(import.Said("DAMAGED DIRECTORY RECORD"));
        EXPECT_EQ(import.image.GetFileCount(), 1) << "what came before the damage is kept";

        RawSession past;
        past.Descriptors(20);
        uint8_t* q = past.Directory(20, 20);
        for (int i = 0; i < 7; ++i, q += 255)
            past.Record(q, 30, 1, 0, past.Id("f" + std::to_string(i)), 255);
        past.Record(q, 30, 1, 0, past.Id("g"), 2040 - 68 - 7 * 255);
        q += q[0];
        past.Record(q, 30, 1, 0, past.Id("h"), 60);
        Import overrun;
        overrun.Run(past);
        EXPECT_TRUE(overrun.Said("DAMAGED DIRECTORY RECORD"));
    }
    {
        SCOPED_TRACE("name running past its record");
        RawSession session;
        session.Descriptors(20);
        uint8_t* p = session.Directory(20, 20);
        session.Record(p, 30, 1, 0, session.Id("name"));
        p[kDrNameLength] = 200;
        Import import;
        import.Run(session);
        EXPECT_TRUE(import.Said("DAMAGED DIRECTORY RECORD"));
    }
    {
        SCOPED_TRACE("folder pointing back at the root, and a file beyond the volume");
        RawSession session;
        session.Descriptors(20);
        uint8_t* p = session.Directory(20, 20);
        session.Record(p, 20, kBlockSize, kFlagDirectory, session.Id("loop"));
        p += p[0];
        session.Record(p, 999, 5 * kBlockSize, 0, session.Id("beyond"));
        Import import;
        import.Run(session);
        EXPECT_TRUE(import.ok);
        EXPECT_TRUE(import.Said("BAD FOLDER EXTENT \"loop\""));
        EXPECT_TRUE(import.Said("FILE BEYOND THE DISC \"beyond\""));
        EXPECT_EQ(import.image.GetFileCount(), 0);
    }
    {
        SCOPED_TRACE("folders nested 100 deep");
        RawSession session;
        session.volumeEnd = 500;
        session.Descriptors(20);
        for (uint32_t level = 0; level < 100; ++level) {
            uint8_t* p = session.Directory(20 + level, level ? 19 + level : 20);
            session.Record(p, 21 + level, kBlockSize, kFlagDirectory, session.Id("d"));
        }
        Import import;
        import.Run(session);
        EXPECT_TRUE(import.Said("NESTED TOO DEEP"));
        EXPECT_EQ(import.image.GetDirCount(), 64);
    }
    {
        SCOPED_TRACE("unreadable directory block");
        RawSession session;
        session.Descriptors(20);
        uint8_t* p = session.Directory(20, 20);
        session.Record(p, 30, 1, 0, session.Id("first"));
        p += p[0];
        session.Record(p, 21, kBlockSize, kFlagDirectory, session.Id("sub"));
        session.Directory(21, 20);
        Import import;
        import.Run(session, {21});
        EXPECT_FALSE(import.ok);
        EXPECT_EQ(import.errors.back(), "ERROR IMPORTING SESSION # 2");
        EXPECT_NE(import.image.FindFile(import.image.Root(), "first"), nullptr);
    }
}

TEST(IsoVerify, ComparesInChunksOf31BlocksAndFindsOneFlippedByte) {
    TempFolder temp;
    std::string data = Pattern(100000, 9);
    WriteBytes(temp / "source.bin", data);
    TIsoImage image;
    TFEntry* file = image.InsertFile(temp / "source.bin", "\\");
    ASSERT_NE(file, nullptr);
    image.PrepareImage(0);
    image.BuildImageHead();
    std::string error;
    ASSERT_TRUE(WriteIsoFile(image, temp / "disc.iso", error)) << error;

    FileBlockReader reader(temp / "disc.iso");
    std::vector<int> progress;
    EXPECT_TRUE(VerifyIsoFile(reader, file->FirstBlock, 100000, temp / "source.bin", LocalSourceFiles(),
                              [&](int percent) { progress.push_back(percent); }));
    EXPECT_EQ(reader.Counts, (std::vector<uint32_t>{31, 18}));
    EXPECT_EQ(progress, (std::vector<int>{100, 100}));

    std::string disc = ReadBytes(temp / "disc.iso");
    disc[file->FirstBlock * kBlockSize + 77777] ^= 0x20;
    WriteBytes(temp / "flipped.iso", disc);
    FileBlockReader flipped(temp / "flipped.iso");
    EXPECT_FALSE(VerifyIsoFile(flipped, file->FirstBlock, 100000, temp / "source.bin", LocalSourceFiles()));

    WriteBytes(temp / "short.bin", data.substr(0, 99999));
    EXPECT_FALSE(VerifyIsoFile(reader, file->FirstBlock, 100000, temp / "short.bin", LocalSourceFiles()));
    MemoryBlockReader unreadable("", 0);
    EXPECT_FALSE(
        VerifyIsoFile(unreadable, file->FirstBlock, 100000, temp / "source.bin", LocalSourceFiles()));
    EXPECT_THROW(VerifyIsoFile(reader, file->FirstBlock, 100000, temp / "gone.bin", LocalSourceFiles()),
                 EIsoSourceMissing);
}

} // namespace
} // namespace disc
