#include "SharedTestData.h"
#include "ZipRecordSupport.h"
#include "zip/ZipErrors.h"
#include "zip/ZipLib.h"
#include "zip/ZipObj.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>

using namespace zip;
using namespace ziprec;

namespace {

std::unique_ptr<gui::TMemoryStream> StreamOf(std::string_view bytes) {
    auto stream = std::make_unique<gui::TMemoryStream>();
    if (!bytes.empty()) stream->WriteBuffer(bytes.data(), bytes.size());
    stream->SetPosition(0);
    return stream;
}

std::string SlashName(const TZipHeaderInfo& entry) {
    std::string name = entry.Directory() + entry.Filename();
    SlashesToUnix(name);
    return name;
}

// The directory of an archive as this library reads it.
std::vector<std::unique_ptr<TZipHeaderInfo>> ReadDirectory(gui::TStream& archive, TEndCentral& end) {
    std::vector<std::unique_ptr<TZipHeaderInfo>> entries;
    EXPECT_TRUE(end.FindEndCentral(archive));
    archive.SetPosition(end.CentralOffset);
    gui::TStream* stream = &archive;
    for (int i = 0; i < end.TotalEntries; ++i) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        EXPECT_TRUE(entry->ReadCentral(stream)) << "entry " << i;
        entries.push_back(std::move(entry));
    }
    EXPECT_EQ(archive.Position(), int64_t(end.CentralOffset) + end.CentralSize);
    return entries;
}

// The peers are Linux programs: native build only.
#ifndef _WIN32

std::string BytesOf(gui::TMemoryStream& stream) {
    return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

std::string DateText(uint32_t dos) {
    return std::to_string((dos >> 25) + 1980) + "," + std::to_string(dos >> 21 & 15) + "," +
           std::to_string(dos >> 16 & 31) + "," + std::to_string(dos >> 11 & 31) + "," +
           std::to_string(dos >> 5 & 63) + "," + std::to_string((dos & 31) * 2);
}

// One line per entry as Python's zipfile sees it: name|csize|usize|crc|date|local|central.
std::string PythonListing(const std::string& archive) {
    const char* script = R"(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
at = z.start_dir
for i in z.infolist():
    raw = i.orig_filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437')
    print('%s|%d|%d|%d|%s|%d|%d' % (i.orig_filename, i.compress_size, i.file_size, i.CRC,
          ','.join(str(x) for x in i.date_time), i.header_offset, at))
    at += 46 + len(raw) + len(i.extra) + len(i.comment)
)";
    return RunCommand("PYTHONIOENCODING=utf-8 python3 -c " + Quote(script) + " " + Quote(archive)).output;
}

std::string OurListing(gui::TStream& archive) {
    TEndCentral end;
    std::ostringstream out;
    for (const auto& e : ReadDirectory(archive, end))
        out << SlashName(*e) << '|' << e->CompressedSize << '|' << e->UncompressedSize << '|' << e->Crc32
            << '|' << DateText(e->LastModFileDateTime) << '|' << e->RelativeOffset << '|' << e->CentralOffset
            << '\n';
    return out.str();
}

class PeerArchives : public ::testing::Test {
  protected:
    testsupport::TTempFolder dir;
};

TEST_F(PeerArchives, ReaderListsWhatZipAndSevenZipMade) {
    const std::string src = dir / "src";
    std::string big;
    for (int i = 0; i < 70000; ++i)
        big += char(i * 7919 % 251);
    ASSERT_EQ(
        RunCommand("mkdir -p " + Quote(src + "/data/sub/deeper") + " " + Quote(src + "/data/.cfg")).exitCode,
        0);
    WriteFile(src + "/data/a.txt", std::string(1000, 'a'));
    WriteFile(src + "/data/empty.txt", "");
    WriteFile(src + "/data/sub/b.bin", big);
    WriteFile(src + "/data/sub/deeper/c.log", "log line\n");
    WriteFile(src + "/data/.cfg/settings", "x=1");
    ASSERT_EQ(RunCommand("cd " + Quote(src) +
                         " && touch -d '2021-03-04 05:06:08' data/a.txt && touch -d "
                         "'1999-12-31 23:59:59' data/sub/b.bin")
                  .exitCode,
              0);
    ASSERT_EQ(RunCommand("cd " + Quote(src) + " && zip -r -q ../z.zip data").exitCode, 0);
    ASSERT_EQ(RunCommand("cd " + Quote(src) + " && 7z a -tzip -bd ../s.zip data").exitCode, 0);

    for (const char* name : {"z.zip", "s.zip"}) {
        SCOPED_TRACE(name);
        const std::string archive = dir / name;
        auto stream = StreamOf(ReadFile(archive));
        const std::string expected = PythonListing(archive);
        ASSERT_NE(expected.find("data/sub/b.bin|"), std::string::npos) << expected;
        EXPECT_EQ(OurListing(*stream), expected);

        // Each local header agrees with its central record.
        TEndCentral end;
        for (const auto& central : ReadDirectory(*stream, end)) {
            stream->SetPosition(central->RelativeOffset);
            TZipHeaderInfo local;
            ASSERT_TRUE(local.ReadLocal(*stream)) << SlashName(*central);
            EXPECT_EQ(SlashName(local), SlashName(*central));
            EXPECT_EQ(local.RelativeOffset, central->RelativeOffset);
            EXPECT_EQ(stream->Position(), int64_t(central->RelativeOffset) + 30 + local.FilenameLength);
            EXPECT_EQ(local.CompressionMethod, central->CompressionMethod);
            EXPECT_EQ(local.LastModFileDateTime, central->LastModFileDateTime);
            if (!central->HasDataDescriptor()) {
                EXPECT_EQ(local.Crc32, central->Crc32);
                EXPECT_EQ(local.CompressedSize, central->CompressedSize);
                EXPECT_EQ(local.UncompressedSize, central->UncompressedSize);
            }
        }
    }
}

struct StoredFile {
    std::string directory, filename, data, comment;
    uint32_t attributes = 32;
};

// An archive of stored entries written by this library, CRCs from zlib.
std::string WriteStoredArchive(const std::vector<StoredFile>& files, std::string_view archiveComment) {
    gui::TMemoryStream out;
    std::vector<std::unique_ptr<TZipHeaderInfo>> entries;
    for (const StoredFile& file : files) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        entry->SetDirectory(file.directory);
        entry->SetFilename(file.filename);
        entry->CompressionMethod = 0;
        entry->LastModFileDateTime = PackDosDateTime(2020, 6, 15, 10, 20, 30);
        entry->Crc32 = crc32(0, reinterpret_cast<const Bytef*>(file.data.data()), uInt(file.data.size()));
        entry->CompressedSize = entry->UncompressedSize = uint32_t(file.data.size());
        entry->ExternalAttributes = file.attributes;
        entry->SetFileComment(file.comment);
        entry->WriteLocalHere(out);
        out.WriteBuffer(file.data.data(), file.data.size());
        entries.push_back(std::move(entry));
    }
    TEndCentral end;
    end.CentralOffset = uint32_t(out.Position());
    for (const auto& entry : entries)
        entry->WriteCentral(out);
    end.CentralSize = uint32_t(out.Position()) - end.CentralOffset;
    end.EntriesOnDisk = end.TotalEntries = uint16_t(entries.size());
    end.SetComment(archiveComment);
    end.Write(out);
    return BytesOf(out);
}

TEST_F(PeerArchives, WrittenRecordsPassUnzipSevenZipAndZipinfo) {
    ScopedNameFlags flags(false, false);
    const std::string commentWithNul("kept\0whole", 10);
    const std::string archive = dir / "w.zip";
    WriteFile(archive,
              WriteStoredArchive({{"", "readme.txt", "hello, zip\n", ""},
                                  {"dir\\", "", "", "", 16},
                                  {"dir\\sub", "data.bin", std::string(5000, '\x01'), commentWithNul},
                                  {"dir\\sub\\", "empty", "", ""}},
                                 "archive comment"));
    EXPECT_EQ(RunCommand("unzip -tq " + Quote(archive)).exitCode, 0)
        << RunCommand("unzip -t " + Quote(archive)).output;
    const CommandResult seven = RunCommand("7z t " + Quote(archive));
    EXPECT_EQ(seven.exitCode, 0) << seven.output;
    EXPECT_NE(seven.output.find("Everything is Ok"), std::string::npos);
    const CommandResult info = RunCommand("zipinfo -v " + Quote(archive));
    EXPECT_EQ(info.exitCode, 0) << info.output;
    EXPECT_NE(info.output.find("length of file comment:                         10 characters"),
              std::string::npos)
        << info.output;
    EXPECT_NE(info.output.find("dir/sub/data.bin"), std::string::npos);
    EXPECT_EQ(RunCommand("unzip -p " + Quote(archive) + " readme.txt").output, "hello, zip\n");
}

TEST_F(PeerArchives, OemNamesReachOtherToolsInCodePage437) {
    ScopedNameFlags flags(true, false);
    ScopedNameConverters oem({Cp1252ToCp437, Cp437ToCp1252});
    const std::string archive = dir / "oem.zip";
    WriteFile(archive, WriteStoredArchive({{"M\xFCller\\", "caf\xE9.txt", "x", ""}}, ""));
    EXPECT_EQ(RunCommand("unzip -tq " + Quote(archive)).exitCode, 0);
    const std::string listing = PythonListing(archive);
    EXPECT_EQ(listing.substr(0, listing.find('|')), "M\xC3\xBCller/caf\xC3\xA9.txt") << listing;

    auto stream = StreamOf(ReadFile(archive));
    TEndCentral end;
    auto entries = ReadDirectory(*stream, end);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0]->VersionNeeded, 10); // the OEM marker
    // Names are held as stored; the unzip side converts them back.
    EXPECT_EQ(OemToAnsiName(entries[0]->Directory() + entries[0]->Filename()), "M\xFCller\\caf\xE9.txt");
}

#endif // _WIN32

TEST(ZipRecords, StoredNamesFoldDrivesAndSharesWhenCompVolumesIsOn) {
    ScopedNameFlags flags(false, true);
    TZipHeaderInfo entry;
    entry.SetDirectory("D:\\x");
    entry.SetFilename("f.txt");
    EXPECT_EQ(entry.StoredName(), "/D/x/f.txt");
    entry.SetDirectory("\\\\srv\\share\\");
    EXPECT_EQ(entry.StoredName(), "/srv/share/f.txt");
    gui::TMemoryStream out;
    entry.WriteLocal(out, 0);
    out.SetPosition(0);
    TZipHeaderInfo back;
    ASSERT_TRUE(back.ReadLocal(out));
    EXPECT_EQ(back.FilenameLength, std::string("/srv/share/f.txt").size());
    EXPECT_EQ(back.Directory(), "\\srv\\share\\");

    ScopedNameFlags plain(false, false);
    TZipHeaderInfo nested;
    nested.SetDirectory("dir\\sub\\");
    nested.SetFilename("file.txt");
    EXPECT_EQ(nested.StoredName(), "dir/sub/file.txt");
    gui::TMemoryStream central;
    nested.WriteCentral(central);
    central.SetPosition(0);
    gui::TStream* stream = &central;
    TZipHeaderInfo read;
    ASSERT_TRUE(read.ReadCentral(stream));
    EXPECT_EQ(read.Directory(), "dir\\sub\\");
    EXPECT_EQ(read.Filename(), "file.txt");
}

TEST(ZipRecords, DatesAreClampedOnRead) {
    ScopedNameFlags flags(false, false);
    TZipHeaderInfo entry;
    entry.SetFilename("a");
    for (auto [stored, read] : {std::pair{0u, PackDosDateTime(1980, 1, 1, 0, 0, 0)},
                                std::pair{(uint32_t(20u << 9 | 13u << 5 | 2u) << 16) | 30u,
                                          PackDosDateTime(2000, 12, 2, 0, 0, 58)}}) {
        entry.LastModFileDateTime = stored;
        gui::TMemoryStream out;
        entry.WriteCentral(out);
        out.SetPosition(0);
        gui::TStream* stream = &out;
        TZipHeaderInfo back;
        ASSERT_TRUE(back.ReadCentral(stream));
        EXPECT_EQ(back.LastModFileDateTime, read);
    }
}

TEST(ZipRecords, CommentsKeepTheirStateAndExactLength) {
    TZipHeaderInfo withComment, without;
    withComment.SetFileComment("note");
    without.Assign(withComment);
    EXPECT_EQ(without.FileComment(), std::optional<std::string>("note"));
    TZipHeaderInfo blank;
    without.Assign(blank); // a source without a comment clears the old one
    EXPECT_FALSE(without.FileComment().has_value());
    EXPECT_EQ(without.FileCommentLength, 0);

    TEndCentral end;
    end.SetComment(std::string(70000, 'c'));
    EXPECT_EQ(end.CommentLength, 65535);
    gui::TMemoryStream out;
    end.Write(out);
    EXPECT_EQ(out.Size(), 22 + 65535);
    TEndCentral found;
    EXPECT_TRUE(found.FindEndCentral(out));
    EXPECT_EQ(found.CommentLength, 65535);
    EXPECT_EQ(found.CommentPosition, 22);

    // A comment counted in the archive but never fetched is not claimed when written again.
    TZipHeaderInfo unfetched;
    unfetched.SetFilename("x");
    unfetched.FileCommentLength = 9;
    gui::TMemoryStream record;
    unfetched.WriteCentral(record);
    EXPECT_EQ(record.Size(), 46 + 1);
    EXPECT_EQ(record.Memory()[32], 0);
}

std::string EndRecord(uint16_t entries, uint32_t offset, std::string_view comment = {}) {
    std::string r;
    Add32(r, StandardEndSig);
    Add16(r, 0);
    Add16(r, 0);
    Add16(r, entries);
    Add16(r, entries);
    Add32(r, 0);
    Add32(r, offset);
    Add16(r, uint16_t(comment.size()));
    return r + std::string(comment);
}

TEST(ZipRecords, EndRecordSearchRefusesWhatIsNotAZip) {
    TEndCentral end;
    EXPECT_TRUE(end.FindEndCentral(*StreamOf("")));
    EXPECT_EQ(end.TotalEntries, 0);
    EXPECT_FALSE(end.FindEndCentral(*StreamOf(EndRecord(1, 0).substr(0, 21))));
    EXPECT_TRUE(end.FindEndCentral(*StreamOf(EndRecord(3, 7))));
    EXPECT_EQ(end.TotalEntries, 3);
    // An end record further than 22 + 65,535 bytes from the end is not looked for.
    EXPECT_FALSE(end.FindEndCentral(*StreamOf(EndRecord(1, 0) + std::string(65536, '\0'))));
    EXPECT_TRUE(end.FindEndCentral(*StreamOf(EndRecord(1, 0, std::string(65535, 'z')))));
    // A signature inside the archive comment: the one nearest the end wins.
    const std::string inner = EndRecord(9, 99);
    const std::string outer = EndRecord(2, 5, inner);
    ASSERT_TRUE(end.FindEndCentral(*StreamOf(std::string(10, 'p') + outer)));
    EXPECT_EQ(end.TotalEntries, 9);
    EXPECT_EQ(end.CommentLength, 0);
    EXPECT_EQ(end.CommentPosition, int64_t(10 + outer.size()));
    EXPECT_FALSE(end.FindEndCentral(*StreamOf(std::string(200, 'P'))));
}

std::string CentralRecord(std::string_view name, uint16_t extra = 0, uint16_t comment = 0) {
    std::string r;
    Add32(r, StandardCentralSig);
    for (int i = 0; i < 12; ++i)
        Add16(r, 0x0101);
    Add16(r, uint16_t(name.size()));
    Add16(r, extra);
    Add16(r, comment);
    r.resize(46, '\0');
    return r + std::string(name);
}

TEST(ZipRecords, CutOrGarbageRecordsAnswerFalseWithThePositionKept) {
    const std::string good = CentralRecord("name.txt", 4, 3) + "EXTRCOM";
    const std::string cases[] = {
        good.substr(0, 30),                         // cut in the fixed part
        good.substr(0, 50),                         // cut in the name
        CentralRecord("name.txt", 40, 0) + "short", // extra field past the end
        CentralRecord("n", 0, 65535),               // comment past the end
        "PK\x01\x03" + good.substr(4),              // wrong signature
    };
    for (const std::string& bytes : cases) {
        auto stream = StreamOf("lead" + bytes);
        stream->SetPosition(4);
        gui::TStream* at = stream.get();
        TZipHeaderInfo entry;
        EXPECT_FALSE(entry.ReadCentral(at));
        EXPECT_EQ(stream->Position(), 4);
        stream->SetPosition(4);
        EXPECT_FALSE(entry.ReadLocal(*stream));
        EXPECT_EQ(stream->Position(), 4);
    }
    auto stream = StreamOf(good);
    gui::TStream* at = stream.get();
    TZipHeaderInfo entry;
    ASSERT_TRUE(entry.ReadCentral(at));
    EXPECT_EQ(stream->Position(), int64_t(good.size()));
    EXPECT_EQ(entry.CentralExtraLength, 4);
    EXPECT_EQ(entry.FileCommentLength, 3);
}

TEST(ZipRecords, RecordCutByTheEndOfAVolumeIsCompletedFromTheNext) {
    const std::string record = CentralRecord("dir/file.txt");
    for (size_t cut : {size_t(0), size_t(1), size_t(2), size_t(3), size_t(4), size_t(20), size_t(45)}) {
        SCOPED_TRACE(cut);
        auto first = StreamOf("volume one" + record.substr(0, cut));
        auto second = StreamOf(record.substr(cut) + "rest");
        first->SetPosition(10);
        gui::TStream* at = first.get();
        int calls = 0;
        TZipHeaderInfo entry;
        ASSERT_TRUE(entry.ReadCentral(at, [&]() -> gui::TStream* {
            ++calls;
            return second.get();
        }));
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(at, second.get());
        EXPECT_EQ(entry.Filename(), "file.txt");
        EXPECT_EQ(entry.CentralOffset, 10u);

        // Without a next volume the read fails and leaves the position alone.
        first->SetPosition(10);
        at = first.get();
        EXPECT_FALSE(entry.ReadCentral(at));
        EXPECT_EQ(first->Position(), 10);
    }
    // Bytes that cannot start a central record do not ask for the next volume.
    auto garbage = StreamOf("PK\x05");
    gui::TStream* at = garbage.get();
    TZipHeaderInfo entry;
    EXPECT_FALSE(entry.ReadCentral(at, [&]() -> gui::TStream* {
        ADD_FAILURE() << "asked for a next volume";
        return nullptr;
    }));
}

TEST(ZipRecords, SortedViewsOrderEntries) {
    ScopedNameFlags flags(false, false);
    TSortedZip owner(1);
    struct Row {
        const char* dir;
        const char* name;
        uint32_t date, compressed, uncompressed;
        uint16_t disk;
        uint32_t offset;
    };
    const Row rows[] = {
        {"b\\", "Zed.txt", PackDosDateTime(2001, 1, 1, 0, 0, 0), 50, 100, 1, 10},
        {"", "apple", PackDosDateTime(2005, 1, 1, 0, 0, 0), 10, 100, 0, 500},
        {"B\\", "alpha", uint32_t(2u << 5 | 30u) << 16, 90, 100, 0, 20}, // a 30th of February
        {"a\\", "mid", PackDosDateTime(2003, 1, 1, 0, 0, 0), 0, 0, 1, 0},
    };
    for (const Row& s : rows) {
        auto* e = new TZipHeaderInfo;
        e->SetDirectory(s.dir);
        e->SetFilename(s.name);
        e->LastModFileDateTime = s.date;
        e->CompressedSize = s.compressed;
        e->UncompressedSize = s.uncompressed;
        e->DiskNumberStart = s.disk;
        e->RelativeOffset = s.offset;
        owner.Add(e);
    }
    auto order = [&](TZipSortMode mode) {
        TSortedZip view(1);
        view.OwnsObjects = false;
        view.SortMode = mode;
        for (int i = 0; i < owner.Count(); ++i)
            view.Add(owner.Get(i));
        std::string names;
        for (int i = 0; i < view.Count(); ++i)
            names += view.Entry(i)->Filename() + " ";
        return names;
    };
    EXPECT_EQ(order(ByNone), "alpha apple mid Zed.txt ");
    EXPECT_EQ(order(ByName), "apple mid alpha Zed.txt ");
    EXPECT_EQ(order(ByFileName), "alpha apple mid Zed.txt ");
    EXPECT_EQ(order(ByDate), "apple mid Zed.txt alpha ");
    EXPECT_EQ(order(ByCompressedSize), "alpha Zed.txt apple mid ");
    EXPECT_EQ(order(ByRate), "alpha Zed.txt apple mid ");
    EXPECT_EQ(owner.Count(), 4);
}

TEST(ZipRecords, EntriesRoundTripThroughTheContainerStream) {
    TSortedZip list(0);
    list.SortMode = ByNone;
    auto* e = new TZipHeaderInfo;
    e->SetDirectory("d");
    e->SetFilename("f");
    e->SetFileComment("c");
    e->RelativeOffset = 77;
    e->TestState = 2;
    list.Add(e);
    RegisterZipObjClasses();
    gui::TMemoryStream out;
    list.WriteItems(out);
    out.SetPosition(0);
    TSortedZip back(1);
    back.ReadItems(out);
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.Entry(0)->Directory(), "d\\");
    EXPECT_EQ(back.Entry(0)->FileComment(), std::optional<std::string>("c"));
    EXPECT_EQ(back.Entry(0)->RelativeOffset, 77u);
    EXPECT_EQ(back.Entry(0)->TestState, 2);
    EXPECT_EQ(back.Duplicates, 0);
}

} // namespace

namespace {

// Archives of older tools (kept beside the clone, not in it): every directory record reads,
// and every local header agrees with it on the name.
TEST(ZipRecords, ArchivesOfOlderToolsListWhole) {
    const std::filesystem::path folder = testsupport::SharedTestDataFolder() + "/zip-legacy";
    if (!std::filesystem::is_directory(folder)) {
        if (testsupport::SharedTestDataRequired()) FAIL() << "missing " << folder.string();
        GTEST_SKIP() << "no shared test data at " << folder.string();
    }
    int archives = 0;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
        std::string name = file.path().filename().string();
        for (char& c : name)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (file.path().extension().string().size() != 4 || name.substr(name.size() - 4) != ".zip") continue;
        SCOPED_TRACE(name);
        ++archives;
        auto stream = StreamOf(ReadFile(file.path().string()));
        TEndCentral end;
        auto entries = ReadDirectory(*stream, end);
        ASSERT_GT(entries.size(), 0u);
        for (const auto& central : entries) {
            stream->SetPosition(central->RelativeOffset);
            TZipHeaderInfo local;
            ASSERT_TRUE(local.ReadLocal(*stream));
            EXPECT_EQ(SlashName(local), SlashName(*central));
        }
    }
    EXPECT_GE(archives, 10);
}

} // namespace
