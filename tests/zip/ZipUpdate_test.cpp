// Zipping into an existing archive: the update rules as OnUpdate reports them, old entries
// copied byte for byte, deleting entries, append in place; and every way a new archive, an
// update or an append can fail, leaving the disk exactly as it was.

#include "ZipFolderSupport.h"
#include "ZipRecordSupport.h"
#include "zip/ZipCodecErrors.h"
#include "zip/Zipper.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

namespace {

using Events = std::vector<std::pair<zip::TUpdateAction, int>>;

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

class ZipUpdateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir.Put("tmp/.keep", "");
        dir.Put("src/a.txt", "alpha alpha alpha alpha alpha alpha alpha");
        dir.Put("src/b.txt", "bravo");
        dir.Put("src/c.bin", RandomBytes(300000, 1));
        for (const char* name : {"src/a.txt", "src/b.txt", "src/c.bin"})
            dir.SetTime(name, 0);
        Configure(z);
        z.OnUpdate = [this](zip::TZipper&, zip::TUpdateAction action, int index) {
            events.emplace_back(action, index);
        };
        output.beforeOpenSource = [this](const std::string& name) { opened.push_back(Leaf(name)); };
    }

    void Configure(zip::TZipper& zipper) {
        zipper.TempPath = dir.P("tmp");
        zipper.SetZipName(dir.P("arc.zip"));
        zipper.SetRelativePaths(true);
        zipper.SetRootDir(dir.P("src"));
    }
    static std::string Leaf(const std::string& name) { return name.substr(name.find_last_of('\\') + 1); }

    // a.txt, b.txt and c.bin, in this order.
    void MakeArchive() {
        for (const char* name : {"a.txt", "b.txt", "c.bin"})
            z.FilesList.Add(name);
        ASSERT_EQ(z.Zip(), 3);
        old = dir.Get("arc.zip");
        events.clear();
        opened.clear();
    }

    // Entry name -> its local record bytes (header, name, extra, data), read through the
    // central directory by hand.
    std::map<std::string, std::string> Records(const std::string& archive) {
        const std::string bytes = dir.Get(archive);
        auto u16 = [&](size_t at) { return size_t(uint8_t(bytes.at(at)) | uint8_t(bytes.at(at + 1)) << 8); };
        auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
        const size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
        std::map<std::string, std::string> records;
        if (end == std::string::npos) return records;
        size_t at = u32(end + 16);
        for (size_t i = 0; i < u16(end + 10); ++i) {
            const size_t nameLength = u16(at + 28), local = u32(at + 42);
            const std::string name = bytes.substr(at + 46, nameLength);
            const size_t localLength = 30 + u16(local + 26) + u16(local + 28) + u32(at + 20);
            records[name] = bytes.substr(local, localLength);
            at += 46 + nameLength + u16(at + 30) + u16(at + 32);
        }
        return records;
    }

    ziptest::TZipFolder dir;
    unziptest::TStdFileSystem files;
    ziptest::TStdZipperFiles output;
    zip::TZipper z{files, output};
    Events events;
    std::vector<std::string> opened;
    std::string old;
};

TEST_F(ZipUpdateTest, UpdateReplacesOnlyNewerFilesAtDosPrecisionAndCopiesTheRest) {
    MakeArchive();
    const auto before = Records("arc.zip");
    dir.SetTime("src/a.txt", 1); // the same DOS time: not newer
    dir.Put("src/b.txt", "bravo, changed");
    dir.SetTime("src/b.txt", 3600);
    dir.Put("src/d.txt", "delta");
    dir.SetTime("src/d.txt", 0);
    for (const char* name : {"a.txt", "b.txt", "c.bin", "d.txt"})
        z.FilesList.Add(name);
    EXPECT_EQ(z.Zip(), 2);
    // Old entries are walked from the last to the first.
    EXPECT_EQ(events, (Events{{zip::uaKeeping, 2}, {zip::uaReplacing, 1}, {zip::uaKeeping, 0}}));
    EXPECT_EQ(opened, (std::vector<std::string>{"b.txt", "d.txt"}));
    const auto after = Records("arc.zip");
    ASSERT_EQ(after.size(), 4u);
    EXPECT_EQ(after.at("a.txt"), before.at("a.txt"));
    EXPECT_EQ(after.at("c.bin"), before.at("c.bin"));
    EXPECT_NE(after.at("b.txt"), before.at("b.txt"));
    EXPECT_EQ(dir.PeerTrouble(dir.P("arc.zip")), "");
    EXPECT_EQ(ziptest::WorkFilesIn(dir.P("tmp")), std::vector<std::string>{});

    // zaReplace replaces whatever the dates say.
    events.clear();
    z.ZipAction = zip::zaReplace;
    for (const char* name : {"a.txt", "c.bin"})
        z.FilesList.Add(name);
    EXPECT_EQ(z.Zip(), 2);
    ASSERT_EQ(events.size(), 2u);
    for (const auto& [action, index] : events)
        EXPECT_EQ(action, zip::uaReplacing) << index;

    // zaFreshen adds nothing new; a newer file still replaces its entry.
    events.clear();
    dir.Put("src/e.txt", "echo");
    dir.SetTime("src/d.txt", 7200);
    z.ZipAction = zip::zaFreshen;
    for (const char* name : {"d.txt", "e.txt"})
        z.FilesList.Add(name);
    EXPECT_EQ(z.Zip(), 1);
    EXPECT_EQ(events.size(), 1u);
    EXPECT_EQ(z.Count(), 4);
    EXPECT_EQ(dir.PeerTrouble(dir.P("arc.zip")), "");
}

TEST_F(ZipUpdateTest, EntryThatFailedItsTestIsDroppedAndTheOthersKeepTheirBytes) {
    MakeArchive();
    const auto before = Records("arc.zip");
    // Spoil a byte inside c.bin's data and let a test find it.
    const size_t at = old.find(dir.Get("src/c.bin").substr(1000, 64));
    std::string spoiled = old;
    if (at != std::string::npos) {
        spoiled[at] = char(spoiled[at] ^ 0x55);
    } else {
        // Deflated: the middle of the archive lies inside c.bin's data.
        spoiled[spoiled.size() / 2] = char(spoiled[spoiled.size() / 2] ^ 0x55);
    }
    dir.Put("arc.zip", spoiled);
    z.SetZipName(dir.P("other.zip"));
    z.SetZipName(dir.P("arc.zip"));
    int spoiledIndex = -1;
    for (int i = 0; i < z.Count(); ++i)
        if (!z.TestEntry(i)) spoiledIndex = i;
    ASSERT_EQ(z.FullName(spoiledIndex), "c.bin");

    z.FilesList.Add("a.txt");
    EXPECT_EQ(z.Zip(), 0);
    const auto after = Records("arc.zip");
    EXPECT_EQ(after.size(), 2u);
    EXPECT_EQ(after.count("c.bin"), 0u);
    EXPECT_EQ(after.at("a.txt"), before.at("a.txt"));
    EXPECT_EQ(after.at("b.txt"), before.at("b.txt"));
    EXPECT_EQ(dir.PeerTrouble(dir.P("arc.zip")), "");
}

// The peers are Linux programs: native build only.
#ifndef _WIN32

TEST_F(ZipUpdateTest, CommentsExtraFieldsAndDescriptorsOfAPeerArchiveSurviveUpdateAndAppend) {
    // Info-ZIP writes local extra fields longer than the central ones; a streamed entry has
    // a data descriptor; python adds the comments.
    const std::string src = ziprec::Quote(dir.Native("src"));
    const std::string arc = ziprec::Quote(dir.Native("arc.zip"));
    ASSERT_EQ(ziprec::RunCommand(
                  "cd " + src + " && zip -q " + arc + " a.txt c.bin && printf streamed | zip -q " + arc +
                  " - && python3 -c \"import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1],'a')\n"
                  "z.getinfo('a.txt').comment=b'note on a'\nz.comment=b'archive note'\nz.close()\" " +
                  arc)
                  .exitCode,
              0);
    for (bool append : {false, true}) {
        SCOPED_TRACE(append ? "append" : "update");
        z.KeepZipOpen = append;
        dir.Put("src/b.txt", append ? "appended" : "updated");
        z.FilesList.Add("b.txt");
        z.ZipAction = zip::zaReplace;
        EXPECT_EQ(z.Zip(), 1);
        EXPECT_EQ(dir.PeerTrouble(dir.P("arc.zip")), "");
        const ziprec::CommandResult comments = ziprec::RunCommand(
            "python3 -c \"import sys,zipfile\nz=zipfile.ZipFile(sys.argv[1])\nprint(z.comment.decode(), "
            "z.getinfo('a.txt').comment.decode(), z.read('-').decode(), sorted(z.namelist()))\" " +
            arc);
        EXPECT_EQ(comments.output,
                  append ? "archive note note on a streamed ['-', 'a.txt', 'b.txt', 'b.txt', 'c.bin']\n"
                         : "archive note note on a streamed ['-', 'a.txt', 'b.txt', 'c.bin']\n");
    }
}

// An append writes over an old directory of more than the sink's megabyte into a file past
// the 50,000,000-byte mark: each reopen of the output, after a verified megabyte or at the
// mark, goes on where the writing stopped and not at the old tail.
TEST_F(ZipUpdateTest, AppendOverALongOldDirectoryPastTheReopenMarkStaysSound) {
    // 4,400 records of 252 bytes with no extra fields, and a stored 50,000,000-byte file.
    const std::string old = dir.Native("old");
    std::filesystem::create_directories(old);
    const std::string padding(200, 'x');
    for (int i = 0; i < 4400; ++i)
        ziprec::WriteFile(old + "/" + std::to_string(100000 + i) + padding, "");
    ziprec::WriteFile(old + "/big.bin", "");
    std::filesystem::resize_file(dir.Native("old/big.bin"), 50000000);
    ASSERT_EQ(ziprec::RunCommand("cd " + ziprec::Quote(old) + " && ls | zip -q -0 -X " +
                                 ziprec::Quote(dir.Native("arc.zip")) + " -@")
                  .exitCode,
              0);
    std::filesystem::remove_all(old);
    z.KeepZipOpen = true;
    for (bool verify : {false, true}) {
        SCOPED_TRACE(verify ? "WriteVerify" : "no WriteVerify");
        z.WriteVerify = verify;
        const std::string name = verify ? "verified.bin" : "plain.bin";
        dir.Put("src/" + name, RandomBytes(3000000, verify ? 5 : 6));
        z.FilesList.Add(name);
        EXPECT_EQ(z.Zip(), 1);
        EXPECT_EQ(dir.PeerTrouble(dir.P("arc.zip")), "");
    }
}

#endif // _WIN32

TEST_F(ZipUpdateTest, CommentsChangedInMemoryAreWrittenBeforeTheNameMovesOn) {
    MakeArchive();
    for (int i = 0; i < z.Count(); ++i)
        if (z.FullName(i) == "b.txt") z.SetFileComment(i, "note on b");
    z.SetZipComment("set note");
    z.SetZipName(dir.P("other.zip"));
    EXPECT_FALSE(dir.Exists("other.zip"));
    zip::TUnZipper reader(files);
    reader.SetZipName(dir.P("arc.zip"));
    ASSERT_EQ(reader.Count(), 3);
    EXPECT_EQ(reader.ZipComment(), "set note");
    for (int i = 0; i < reader.Count(); ++i)
        EXPECT_EQ(reader.FileComment(i), reader.FullName(i) == "b.txt" ? "note on b" : "");
    EXPECT_EQ(dir.PeerTrouble(dir.P("arc.zip")), "");
}

TEST_F(ZipUpdateTest, SourceThatVanishesOrStaysLockedKeepsItsOldEntry) {
    MakeArchive();
    const auto before = Records("arc.zip");
    dir.Put("src/b.txt", "newer b");
    dir.SetTime("src/b.txt", 3600);
    dir.Put("src/c.bin", "newer c");
    dir.SetTime("src/c.bin", 3600);
    output.beforeOpenSource = [this](const std::string& name) {
        if (Leaf(name) == "b.txt") std::remove(dir.Native("src/b.txt").c_str());
    };
    output.lockedSources[dir.P("src/c.bin")] = -1;
    std::vector<std::string> skipped;
    z.OnSkippingFile = [&](zip::TUnZipper&, zip::TSkipReason reason, const std::string& name, int,
                           bool& retry) {
        EXPECT_EQ(reason, zip::srCantOpenSource);
        skipped.push_back(Leaf(name));
        retry = false;
    };
    z.FilesList.Add("b.txt");
    z.FilesList.Add("c.bin");
    EXPECT_EQ(z.Zip(), 0);
    EXPECT_EQ(Records("arc.zip"), before);
    EXPECT_EQ(std::count(skipped.begin(), skipped.end(), "c.bin"), 1);

    // Locked twice, then free: the handler's retries get it zipped.
    output.lockedSources[dir.P("src/c.bin")] = 2;
    skipped.clear();
    z.OnSkippingFile = [&](zip::TUnZipper&, zip::TSkipReason, const std::string& name, int, bool& retry) {
        skipped.push_back(Leaf(name));
        retry = true;
    };
    z.FilesList.Add("c.bin");
    EXPECT_EQ(z.Zip(), 1);
    EXPECT_EQ(skipped, (std::vector<std::string>{"c.bin", "c.bin"}));
    EXPECT_EQ(dir.PeerTrouble(dir.P("arc.zip")), "");
}

// Copying the finished archive over the old one fails half way.
class TFailingCopy : public ziptest::TStdZipperFiles {
  public:
    bool CopyFile(const std::string& from, const std::string& to) override {
        const std::string bytes = ziprec::ReadFile(unziptest::Native(from));
        ziprec::WriteFile(unziptest::Native(to), bytes.substr(0, bytes.size() / 2));
        return false;
    }
};

TEST_F(ZipUpdateTest, FailedFinalCopyKeepsTheCompleteTemporaryArchiveAndNamesIt) {
    MakeArchive();
    TFailingCopy failing;
    zip::TZipper zipper(files, failing);
    Configure(zipper);
    dir.Put("src/d.txt", "delta");
    zipper.FilesList.Add("d.txt");
    try {
        zipper.Zip();
        ADD_FAILURE() << "no exception";
    } catch (const zip::EZipError& error) {
        EXPECT_NE(std::string(error.what()).find(dir.P("tmp\\arc.~tm")), std::string::npos) << error.what();
    }
    EXPECT_FALSE(dir.Exists("arc.zip")); // no half archive under the archive's name
    ASSERT_TRUE(dir.Exists("tmp/arc.~tm"));
    zip::TUnZipper kept(files);
    kept.SetZipName(dir.P("tmp\\arc.~tm"));
    EXPECT_EQ(kept.Count(), 4);
    EXPECT_TRUE(kept.TestArchive());
}

TEST_F(ZipUpdateTest, DeleteSelectedRemovesWhatTheHandlerLetsGo) {
    MakeArchive();
    std::vector<std::string> asked;
    z.OnDeleteEntry = [&](zip::TZipper&, const std::string& name, bool& skip) {
        asked.push_back(name);
        skip = name == "c.bin";
    };
    EXPECT_EQ(z.DeleteSelected(), 0); // nothing selected, nothing rewritten
    EXPECT_EQ(dir.Get("arc.zip"), old);
    for (int i = 0; i < z.Count(); ++i)
        if (z.FullName(i) != "b.txt") z.SetSelected(i, true);
    EXPECT_EQ(z.DeleteSelected(), 1);
    EXPECT_EQ(asked, (std::vector<std::string>{"c.bin", "a.txt"}));
    EXPECT_EQ(z.Count(), 2);
    EXPECT_EQ(z.NumSelected(), 0);
    EXPECT_EQ(dir.PeerTrouble(dir.P("arc.zip")), "");
}

TEST_F(ZipUpdateTest, AppendInPlaceAddsBehindTheOldData) {
    MakeArchive();
    z.KeepZipOpen = true;
    dir.Put("src/d.txt", RandomBytes(200000, 3));
    const auto before = Records("arc.zip");
    z.FilesList.Add("d.txt");
    EXPECT_EQ(z.Zip(), 1);
    EXPECT_EQ(events, Events{}); // appending judges no old entry
    const auto after = Records("arc.zip");
    EXPECT_EQ(after.size(), 4u);
    for (const auto& [name, record] : before)
        EXPECT_EQ(after.at(name), record) << name;
    EXPECT_EQ(dir.PeerTrouble(dir.P("arc.zip")), "");
}

// Putting the old archive back after a failed append fails: the archive cannot be opened
// again, or its old directory cannot be written back.
class TFailingRestore : public ziptest::TStdZipperFiles {
  public:
    bool opens = false;
    std::unique_ptr<gui::TStream> OpenReadWrite(const std::string&) override {
        struct TFull : gui::TMemoryStream {
            size_t Write(const void*, size_t) override { return 0; }
        };
        return opens ? std::make_unique<TFull>() : nullptr;
    }
};

TEST_F(ZipUpdateTest, AppendWhoseOldArchiveCannotBePutBackSaysSoWithTheRunsError) {
    MakeArchive();
    dir.Put("src/d.txt", RandomBytes(200000, 3));
    for (bool opens : {false, true}) {
        SCOPED_TRACE(opens ? "the write back fails" : "the archive cannot be opened again");
        TFailingRestore failing;
        failing.opens = opens;
        failing.outputRoom = 5000;
        zip::TZipper zipper(files, failing);
        Configure(zipper);
        zipper.KeepZipOpen = true;
        zipper.FilesList.Add("d.txt");
        try {
            zipper.Zip();
            ADD_FAILURE() << "no exception";
        } catch (const zip::EZipError& e) {
            const std::string text = e.what();
            EXPECT_EQ(text.rfind("Not enough room to write archive; the archive " + dir.P("arc.zip") +
                                     " could not be put back as it was: " +
                                     (opens ? "Stream write error" : "it cannot be opened"),
                                 0),
                      0u)
                << text;
        }
        dir.Put("arc.zip", old);
    }
}

// A new archive, an update and an append in place meet a full disk (writing short, or failing
// the write as Win32 does) in the middle of an entry larger than the sink's megabyte and at the
// last flush, and a cancel before the first entry, inside one and while the directory is
// written: each raises, leaves the disk as it was (the old archive byte for byte, or none) and
// no work file, and reports completion.
class ZipFailureTest : public ZipUpdateTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ZipFailureTest, FullDiskAndCancelInEveryPhaseLeaveTheDiskAsItWas) {
    const std::string mode = GetParam();
    if (mode != "new") MakeArchive();
    z.KeepZipOpen = mode == "append";
    dir.Put("src/b.txt", RandomBytes(200000, 2));
    dir.SetTime("src/b.txt", 3600);
    dir.Put("src/big.bin", RandomBytes(2500000, 4));
    int completions = 0;
    z.OnZipComplete = [&](zip::TZipper&, int) { ++completions; };
    auto run = [&](const std::string& phase) {
        SCOPED_TRACE(mode + ": " + phase);
        z.FilesList.Add("b.txt");
        z.FilesList.Add("big.bin");
        try {
            z.Zip();
            ADD_FAILURE() << "no failure";
        } catch (const zip::EUserCanceled& e) {
            if (mode == "new") {
                EXPECT_EQ(std::string(e.what()), phase == "before the first entry"
                                                     ? "User canceled Zip operation"
                                                     : "User Aborted Operation");
            }
        } catch (const zip::ENotEnoughRoom&) {
            EXPECT_NE(phase.find("full"), std::string::npos);
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
        if (mode == "new") {
            EXPECT_FALSE(dir.Exists("arc.zip"));
        } else {
            EXPECT_TRUE(dir.Get("arc.zip") == old) << "the old archive changed";
        }
        EXPECT_EQ(ziptest::WorkFilesIn(dir.P("")), std::vector<std::string>{});
        output.outputRoom = -1;
        z.OnStartZipInfo = nullptr;
        z.OnFilePercentDone = nullptr;
        z.OnEndZip = nullptr;
    };
    for (bool fails : {false, true}) {
        output.fullDiskFails = fails;
        for (bool staging : {false, true}) {
            const std::string how = std::string(staging ? ", staged" : "") + (fails ? ", write failed" : "");
            z.UseTempFile = staging;
            output.outputRoom = 1500000;
            run("full inside an entry" + how);
            output.outputRoom = 5000;
            run("full at the last flush" + how);
        }
    }
    output.fullDiskFails = false;
    z.UseTempFile = false;
    z.OnStartZipInfo = [](zip::TZipper&, int, uint64_t, zip::TEndCentral&, bool& stop) { stop = true; };
    run("before the first entry");
    z.OnFilePercentDone = [](zip::TUnZipper& zipper, int percent) {
        if (percent >= 40) zipper.CancelTheOperation();
    };
    run("inside an entry");
    z.OnEndZip = [](zip::TZipper& zipper, const std::string& name, uint32_t, uint32_t, uint32_t) {
        if (name.ends_with("-:-")) zipper.CancelTheOperation();
    };
    run("while the directory is written");
    EXPECT_EQ(completions, 11);
    // A cancel flag left from before does not stop the next run.
    z.CancelTheOperation();
    z.FilesList.Add("b.txt");
    z.FilesList.Add("big.bin");
    EXPECT_EQ(z.Zip(), 2);
}

INSTANTIATE_TEST_SUITE_P(NewUpdateAppend, ZipFailureTest, ::testing::Values("new", "update", "append"));

TEST_F(ZipUpdateTest, FolderLineMatchesItsEntryWithAndWithoutStoredPaths) {
    dir.Put("src/sub/x.txt", "x");
    for (bool paths : {true, false}) {
        z.SetStorePaths(paths);
        z.FilesList.Add(dir.P("src/sub/"));
        EXPECT_EQ(z.Zip(), 1);
        events.clear();
        z.FilesList.Add(dir.P("src/sub/"));
        EXPECT_EQ(z.Zip(), 0) << (paths ? "stored paths" : "no paths");
        EXPECT_EQ(events, (Events{{zip::uaKeeping, 0}}));
        std::remove(dir.Native("arc.zip").c_str());
    }
}

TEST_F(ZipUpdateTest, StreamDataReplacesItsEntryAndOneLineReplacesOneOfTwoEqualEntries) {
    MakeArchive();
    gui::TMemoryStream data;
    data.WriteBuffer("from a stream", 13);
    EXPECT_EQ(z.ZipToStream(&data, dir.P("src/b.txt")), 1);
    EXPECT_EQ(events, (Events{{zip::uaReplacing, 1}}));
    EXPECT_EQ(Records("arc.zip").size(), 3u);

    // Appending the same name again leaves two entries of it; one line replaces the newer.
    z.KeepZipOpen = true;
    z.FilesList.Add("b.txt");
    ASSERT_EQ(z.Zip(), 1);
    z.KeepZipOpen = false;
    events.clear();
    z.ZipAction = zip::zaReplace;
    z.FilesList.Add("b.txt");
    EXPECT_EQ(z.Zip(), 1);
    EXPECT_EQ(events, (Events{{zip::uaReplacing, 3}}));
    EXPECT_EQ(z.Count(), 4);
    EXPECT_EQ(dir.PeerTrouble(dir.P("arc.zip")), "");
}

TEST_F(ZipUpdateTest, ArchiveInACallersStreamIsUpdatedInThatStream) {
    gui::TMemoryStream archive;
    z.SetArchiveStream(&archive);
    z.FilesList.Add("a.txt");
    ASSERT_EQ(z.Zip(), 1);
    dir.Put("src/a.txt", "alpha, changed");
    dir.SetTime("src/a.txt", 3600);
    z.FilesList.Add("a.txt");
    z.FilesList.Add("b.txt");
    EXPECT_EQ(z.Zip(), 2);
    EXPECT_EQ(events, (Events{{zip::uaReplacing, 0}}));
    std::unique_ptr<uint8_t[]> buffer;
    zip::TUnZipper reader(files);
    reader.SetArchiveStream(&archive);
    ASSERT_EQ(reader.Count(), 2);
    EXPECT_TRUE(reader.TestArchive());
    for (int i = 0; i < reader.Count(); ++i) {
        if (reader.FullName(i) == "a.txt") {
            EXPECT_EQ(reader.UncompressedSize(i), 14u);
        }
    }
    // Volumes are files: with a stream they are refused, and the stream stays as it was.
    const std::string before(reinterpret_cast<const char*>(archive.Memory()), size_t(archive.Size()));
    z.MultiZipInfo.MultiMode = zip::mmBlocks;
    z.FilesList.Add("c.bin");
    EXPECT_THROW(z.Zip(), zip::EZipError);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(archive.Memory()), size_t(archive.Size())), before);
}

} // namespace
