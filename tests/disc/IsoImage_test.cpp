// The image tree and its layout: names, limits, replacement and where data starts.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "IsoSupport.h"
#include "disc/IsoImage.h"
#include "disc/IsoNames.h"
#include "disc/IsoRecords.h"
#include "disc/IsoStream.h"

namespace disc {
namespace {

using test::TempFolder;
using test::WriteBytes;

struct Messages {
    std::vector<std::pair<std::string, int>> lines;
    void Attach(TIsoImage& image) {
        image.OnDebugMessage = [this](const std::string& text, int type) { lines.emplace_back(text, type); };
    }
    bool Has(const std::string& text, int type) const {
        for (const auto& line : lines)
            if (line.first.find(text) != std::string::npos && line.second == type) return true;
        return false;
    }
};

TEST(IsoTree, LookupsIgnoreCaseMissingDestinationsAreRefusedAndClearAllLeavesTheRoot) {
    TIsoImage image;
    Messages messages;
    messages.Attach(image);
    TempFolder folder;
    WriteBytes(folder / "Data.bin", "x");
    TDEntry* dir = image.CreateDir("\\", "Backups\\M\xE4rz");
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(image.FindDir("\\BACKUPS\\M\xC4RZ"), dir);
    EXPECT_EQ(image.CreateDir("\\backups", "m\xE4rz"), dir) << "an existing level is reused";
    // The program's one fold: the Windows-1252 letters outside Latin-1 too (s caron, y diaeresis).
    TDEntry* caron = image.CreateDir("\\", "\x9Akoda \xFF");
    EXPECT_EQ(image.FindDir("\\\x8AKODA \x9F"), caron);
    TFEntry* file = image.InsertFile(folder / "Data.bin", "\\Backups\\M\xE4rz");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(image.FindFile(dir, "DATA.BIN"), file);
    EXPECT_EQ(image.CreateDir("", ""), nullptr);
    EXPECT_EQ(image.InsertFile(folder / "Data.bin", "\\Nowhere"), nullptr);
    EXPECT_TRUE(messages.Has("INVALID DESTINATION PATH", kMsgError));

    ASSERT_TRUE(image.ClearAll(10, 5));
    EXPECT_EQ(image.GetFileCount(), 0);
    EXPECT_EQ(image.GetDirCount(), 1);
    EXPECT_EQ(image.FindDir("\\"), image.Root());
    EXPECT_EQ(image.FindDir(""), image.Root());
    EXPECT_EQ(image.FindDir("\\Backups"), nullptr);
}

TEST(IsoTree, NamesLongerThan109CharactersAreLeftOutAndFilesOverLimitsRefused) {
    TIsoImage image;
    Messages messages;
    messages.Attach(image);
    TempFolder folder;
    std::string name109(105, 'n'), name110(106, 'n');
    name109 += ".zip";
    name110 += ".zip";
    WriteBytes(folder / name109, "x");
    WriteBytes(folder / name110, "x");
    EXPECT_NE(image.InsertFile(folder / name109, "\\"), nullptr);
    EXPECT_EQ(image.InsertFile(folder / name110, "\\"), nullptr);
    EXPECT_NE(image.CreateDir("\\", std::string(110, 'd')), nullptr);
    EXPECT_EQ(image.CreateDir("\\", std::string(111, 'd')), nullptr)
        << "its Joliet record would pass 255 bytes";
    EXPECT_TRUE(messages.Has("NAME TOO LONG FOR THE DISC", kMsgError));
    // One extent per file: 4 GiB and more cannot be recorded (sparse, so cheap to make).
    WriteBytes(folder / "huge.bin", "");
    std::filesystem::resize_file(folder / "huge.bin", 0x100000000ull);
    EXPECT_EQ(image.InsertFile(folder / "huge.bin", "\\"), nullptr);
    EXPECT_TRUE(messages.Has("FILE TOO LARGE FOR THE DISC", kMsgError));

    image.ClearAll(2, 2);
    WriteBytes(folder / "a", "a");
    EXPECT_NE(image.CreateDir("\\", "one"), nullptr);
    EXPECT_EQ(image.CreateDir("\\", "two"), nullptr);
    EXPECT_TRUE(messages.Has("MAXIMUM DIRECTORIES CAN BE 2", kMsgLimit));
    image.ReplaceFile = false;
    EXPECT_NE(image.InsertFile(folder / "a", "\\"), nullptr);
    EXPECT_NE(image.InsertFile(folder / "a", "\\one"), nullptr);
    EXPECT_EQ(image.InsertFile(folder / "a", "\\"), nullptr);
    EXPECT_TRUE(messages.Has("MAXIMUM FILES CAN BE 2", kMsgLimit));
}

TEST(IsoTree, ReplaceFileReusesTheEntryAndMakesAnImportedOneWrittenAgain) {
    TIsoImage image;
    TempFolder folder;
    WriteBytes(folder / "a.zip", "first");
    WriteBytes(folder / "b", "second!");
    TFEntry* imported = image.AddImportedFile(image.Root(), "A.ZIP", 500, 5, 0, 0);
    ASSERT_NE(imported, nullptr);
    ASSERT_TRUE(imported->Imported);

    image.ReplaceFile = true;
    TFEntry* replaced = image.InsertFile(folder / "a.zip", "\\");
    EXPECT_EQ(replaced, imported);
    EXPECT_FALSE(replaced->Imported) << "new data must be streamed, not left pointing at the old extent";
    EXPECT_EQ(replaced->SourcePath, folder / "a.zip");
    EXPECT_EQ(image.GetFileCount(), 1);

    image.ReplaceFile = false;
    EXPECT_NE(image.InsertFile(folder / "a.zip", "\\"), imported);
    EXPECT_EQ(image.GetFileCount(), 2);
}

TEST(IsoNames, ShortNamesKeepExtensionsAndStayUniquePerFolder) {
    EXPECT_EQ(MakeShortName("my file.txt", true), "MY_FILE.TXT");
    EXPECT_EQ(MakeShortName("ZETA_BACKUP.ZIP", true), "ZETA_BACK.ZIP");
    EXPECT_EQ(MakeShortName("a.b.c;d", true), "A_B.C_D");
    EXPECT_EQ(MakeShortName("x.y", false), "X_Y");
    EXPECT_EQ(MakeShortName(".profile", true), "_PROFILE");

    TIsoImage image;
    TempFolder folder;
    std::set<std::string> shortNames;
    for (int i = 1; i <= 12; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "MyDocumentsBackup%03d.zip", i);
        WriteBytes(folder / name, "z");
        TFEntry* file = image.InsertFile(folder / name, "\\");
        ASSERT_NE(file, nullptr);
        EXPECT_LE(file->ShortName.size(), kShortNameMax);
        EXPECT_EQ(file->ShortName.substr(file->ShortName.size() - 4), ".ZIP");
        shortNames.insert(file->ShortName);
    }
    EXPECT_EQ(shortNames.size(), 12u);
    TDEntry* dir = image.CreateDir("\\", "report");
    WriteBytes(folder / "Report", "r");
    TFEntry* file = image.InsertFile(folder / "Report", "\\");
    ASSERT_TRUE(dir && file);
    EXPECT_NE(dir->ShortName, file->ShortName) << "folders and files share one name space";
}

TEST(IsoNames, AnsiAndUcs2RoundTripAndOrderingIsOrdinal) {
    std::string all;
    for (int c = 1; c < 256; ++c)
        all += static_cast<char>(c);
    std::string back = Ucs2ToAnsi(AnsiToUcs2(all));
    for (int c = 1; c < 256; ++c) {
        bool undefined = c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
        if (!undefined) {
            EXPECT_EQ(static_cast<unsigned char>(back[c - 1]), c);
        }
    }
    EXPECT_EQ(AnsiToUcs2(static_cast<unsigned char>(0x80)), u'\u20AC');
    EXPECT_LT(CompareJolietNames(u"Z", u"a"), 0);
    EXPECT_LT(CompareJolietNames(u"a", u"\u00e9"), 0);
    EXPECT_LT(CompareIsoNames("AB.Z", "AB_.A"), 0) << "the name part is compared before the extension";
    EXPECT_LT(CompareIsoNames("A", "A_"), 0);
}

TEST(IsoLayout, FileDataStartsAt150BlocksIntoACdSessionAnd600OnDvd) {
    TIsoImage image;
    TempFolder folder;
    WriteBytes(folder / "a", "abc");
    WriteBytes(folder / "b", std::string(2049, 'b'));
    WriteBytes(folder / "empty", "");
    image.InsertFile(folder / "a", "\\");
    image.InsertFile(folder / "b", "\\");
    TFEntry* empty = image.InsertFile(folder / "empty", "\\");

    image.PrepareImage(0);
    EXPECT_EQ(image.FirstFileBlock(), 150u);
    EXPECT_GT(image.PaddingBlocks(), 100u);
    EXPECT_EQ(image.Files()[0]->FirstBlock, 150u);
    EXPECT_EQ(image.Files()[1]->FirstBlock, 151u);
    EXPECT_EQ(image.Files()[1]->Blocks, 2u);
    EXPECT_EQ(empty->FirstBlock, 0u) << "an empty file records block 0";
    EXPECT_EQ(image.TotalBlocks(), 153u);
    EXPECT_EQ(image.GetTrackSize(), 300u);
    image.WritePostGap = false;
    EXPECT_EQ(image.GetTrackSize(), 153u);

    // Counted from the session start, so the track size of a later session agrees with the first.
    image.PrepareImage(20000);
    EXPECT_EQ(image.FirstFileBlock(), 20150u);
    EXPECT_EQ(image.GetTrackSize(), 153u);
    image.DvdMedia = true;
    image.PrepareImage(0);
    EXPECT_EQ(image.FirstFileBlock(), 600u);
    image.BuildImageHead();
    EXPECT_EQ(image.Head().size(), 600u * kBlockSize);
}

TEST(IsoLayout, DirectoryRecordsCarryTheCreationDateOrTheBuildTime) {
    gui::ManualClock clock(46000.75); // 2025-12-09 18:00
    gui::SetClock(&clock);
    TIsoImage image;
    image.GmtOffset = 4;
    image.PrepareImage(0);
    image.BuildImageHead();
    const uint8_t* root = image.Head().data() + 16 * kBlockSize + kVdRootRecord;
    EXPECT_EQ(root[kDrDate], 125);
    EXPECT_EQ(root[kDrDate + 3], 18);
    EXPECT_EQ(root[kDrDate + 6], 4);
    const uint8_t* created = image.Head().data() + 16 * kBlockSize + 813;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(created), 16), "2025120918000000");
    EXPECT_EQ(created[16], 4) << "descriptor dates store the zone";

    image.DateCreation = 36526.5; // 2000-01-01 12:00
    image.PrepareImage(0);
    image.BuildImageHead();
    root = image.Head().data() + 16 * kBlockSize + kVdRootRecord;
    EXPECT_EQ(root[kDrDate], 100);
    EXPECT_EQ(root[kDrDate + 3], 12);
    gui::SetClock(nullptr);
}

} // namespace
} // namespace disc
