// The zip component building new archives: what peers make of them, the events a host
// sees, the entries it gets for odd sources, and how each failure leaves the disk.

#include "DecodeSupport.h"
#include "UnZipperSupport.h"
#include "ZipRecordSupport.h"
#include "ZipperSupport.h"
#include "gui/ScriptedPrompter.h"
#include "zip/SourcePrefetch.h"
#include "zip/ZipCodecErrors.h"
#include "zip/ZipLib.h"
#include "zip/Zipper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <utility>

namespace {

using codectest::Bytes;
using unziptest::TStdFileSystem;
using unziptest::TTempFolder;
using ziptest::TStdZipperFiles;
namespace fs = std::filesystem;

// Paths as the component writes them, "\\" between parts.
void Write(const std::string& path, const std::string& text) {
    testsupport::WriteFile(unziptest::Native(path), text);
}
std::string Read(const std::string& path) {
    return testsupport::ReadFile(unziptest::Native(path));
}

class ZipperTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(unziptest::Native(work));
        z.TempPath = work;
        z.SetZipName(archive);
    }

    // A tree with nested folders, an empty file and folder, random bytes and text.
    void MakeTree() {
        Write(src + "top.txt", std::string(5000, 'a') + "end");
        const Bytes noise = codectest::RandomBytes(1536 << 10, 3);
        Write(src + "sub\\noise.bin", std::string(noise.begin(), noise.end()));
        const Bytes text = codectest::TextBytes(200000, 4);
        Write(src + "sub\\deeper\\text.txt", std::string(text.begin(), text.end()));
        Write(src + "sub\\empty.txt", "");
        fs::create_directories(unziptest::Native(src + "emptydir"));
    }

    void ListTree() {
        for (const char* name :
             {"top.txt", "sub\\noise.bin", "sub\\deeper\\text.txt", "sub\\empty.txt", "emptydir\\"})
            z.FilesList.Add(src + name);
        z.SetRootDir(src);
        z.SetRelativePaths(true);
    }

    bool PeersAccept(const std::string& password) {
        const std::string path = ziprec::Quote(unziptest::Native(archive));
        const std::string p = password.empty() ? "" : " -P " + ziprec::Quote(password);
        const std::string p7 = password.empty() ? "" : " -p" + ziprec::Quote(password);
        return codectest::Run("unzip -tq" + p + " " + path) == 0 &&
               codectest::Run("7z t" + p7 + " " + path) == 0 &&
               codectest::Run(
                   "python3 -c 'import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                   "z.setpassword(sys.argv[2].encode() or None); sys.exit(z.testzip() is not None)' " +
                   path + " " + ziprec::Quote(password)) == 0;
    }

    bool ExtractsEqual(const std::string& password) {
        const std::string out = unziptest::Native(tmp / "out");
        fs::remove_all(out);
        const std::string p = password.empty() ? "" : " -P " + ziprec::Quote(password);
        return codectest::Run("unzip -qo" + p + " " + ziprec::Quote(unziptest::Native(archive)) + " -d " +
                              ziprec::Quote(out)) == 0 &&
               codectest::Run("diff -r " + ziprec::Quote(out) + " " +
                              ziprec::Quote(unziptest::Native(src))) == 0;
    }

    std::vector<std::string> EntryNames() {
        TStdFileSystem reading;
        zip::TUnZipper reader(reading);
        reader.SetZipName(archive);
        std::vector<std::string> names;
        for (int i = 0; i < reader.Count(); ++i)
            names.push_back(reader.FullName(i));
        return names;
    }

    void ExpectNothingLeft() {
        EXPECT_FALSE(fs::exists(unziptest::Native(archive)));
        // The work folder lies inside: nothing may be left anywhere in the test's folder.
        EXPECT_EQ(ziptest::WorkFilesIn(tmp.Path()), std::vector<std::string>());
    }

    TTempFolder tmp;
    const std::string src = tmp.Path() + "\\src\\";
    const std::string work = tmp.Path() + "\\work\\";
    const std::string archive = tmp.Path() + "\\out.zip";
    TStdFileSystem files;
    TStdZipperFiles output;
    gui::TScriptedPrompter prompter; // anything unscripted fails the test
    gui::TPrompterScope scope{prompter};
    zip::TZipper z{files, output};
};

// The peers are Linux programs: native build only.
#ifndef _WIN32
TEST_F(ZipperTest, EveryLevelWithAndWithoutPasswordPassesPeersAndExtractsEqual) {
    MakeTree();
    for (int level : {0, 1, 6, 9}) {
        for (const std::string password : {"", "s3cret pw"}) {
            SCOPED_TRACE("level " + std::to_string(level) + " password '" + password + "'");
            ListTree();
            z.PackLevel = level;
            z.Password = password;
            fs::remove(unziptest::Native(archive));
            EXPECT_EQ(z.Zip(), 5);
            EXPECT_TRUE(PeersAccept(password));
            EXPECT_TRUE(ExtractsEqual(password));
        }
        // zipinfo reads the level back from the flag bits, and the text/binary guess.
        if (level == 0) continue;
        const std::string info =
            testsupport::RunCommand("zipinfo -v " + ziprec::Quote(unziptest::Native(archive))).output;
        const std::string kind = level == 1 ? "fast" : level == 6 ? "normal" : "maximum";
        for (const std::string& line :
             {"compression sub-type (deflation):               " + kind + "\n",
              std::string("apparent file type:                             text"),
              std::string("apparent file type:                             binary")})
            EXPECT_NE(info.find(line), std::string::npos) << line << " in\n" << info;
    }
}
#endif

// Reading the next sources ahead on another thread changes no byte of the archive: sources
// smaller than, as large as and larger than what is read ahead of each, empty ones, a folder,
// a name that is gone, more names than are queued and more bytes than are held at once, and a
// name the host adds while zipping runs.
TEST_F(ZipperTest, ReadingAheadGivesTheSameArchive) {
    MakeTree();
    std::vector<std::string> names;
    const size_t sizes[] = {0, 1, 700, 13000, zip::kPrefetchBytes, zip::kPrefetchBytes + 1, 600000};
    static_assert(std::size(sizes) * 4 > zip::kPrefetchSources + 8);
    static_assert(zip::kPrefetchBytes * 4 >= zip::kPrefetchHeldBytes);
    for (int i = 0; i < 28; ++i) {
        const size_t size = sizes[i % std::size(sizes)];
        const Bytes bytes = i % 2 ? codectest::RandomBytes(size, i) : codectest::TextBytes(size, i);
        names.push_back(src + "many\\f" + std::to_string(i) + ".dat");
        Write(names.back(), std::string(bytes.begin(), bytes.end()));
    }
    names.insert(names.begin() + 5, src + "many\\gone.dat");
    names.insert(names.begin() + 9, src + "sub\\");
    auto zipAll = [&](bool ahead) {
        output.concurrentOpens = ahead;
        fs::remove(unziptest::Native(archive));
        for (const std::string& name : names)
            z.FilesList.Add(name);
        z.SetRootDir(src);
        z.SetRelativePaths(true);
        bool added = false;
        z.OnEndZip = [&](zip::TZipper& zipper, const std::string& name, uint32_t, uint32_t, uint32_t) {
            if (added || name.find("-:-") == std::string::npos) return;
            added = true;
            zipper.FilesList.Add(src + "top.txt");
        };
        const int count = z.Zip();
        return std::make_pair(count, Read(archive));
    };
    const auto plain = zipAll(false);
    const auto ahead = zipAll(true);
    EXPECT_EQ(plain.first, 30);
    EXPECT_EQ(ahead.first, plain.first);
    EXPECT_TRUE(ahead.second == plain.second);
#ifndef _WIN32
    EXPECT_TRUE(PeersAccept(""));
#endif
}

// Sources read from any thread; the first open of a source that is `size` long tells the test
// when its first read has come back.
class TFirstReadSignal : public TStdZipperFiles {
  public:
    explicit TFirstReadSignal(int64_t size) : size_(size) { concurrentOpens = true; }
    std::promise<void> firstBytesIn;
    std::unique_ptr<gui::TStream> OpenSource(const std::string& name) override {
        std::unique_ptr<gui::TStream> file = TStdZipperFiles::OpenSource(name);
        if (!file || file->Size() != size_ || std::exchange(wrapped_, true)) return file;
        return std::make_unique<TSignal>(std::move(file), firstBytesIn);
    }

  private:
    struct TSignal : gui::TStream {
        TSignal(std::unique_ptr<gui::TStream> file, std::promise<void>& read)
            : file(std::move(file)), read(read) {}
        size_t Read(void* buffer, size_t count) override {
            const size_t got = file->Read(buffer, count);
            if (!std::exchange(told, true)) read.set_value();
            return got;
        }
        size_t Write(const void*, size_t) override { return 0; }
        int64_t Seek(int64_t offset, gui::TSeekOrigin origin) override { return file->Seek(offset, origin); }
        void SetSize(int64_t) override {}
        std::unique_ptr<gui::TStream> file;
        std::promise<void>& read;
        bool told = false;
    };
    int64_t size_;
    bool wrapped_ = false;
};

// A source longer than what is read ahead of it, rewritten (same size, new date) once its
// first bytes are read ahead and before its turn, gives an entry of its new bytes only.
TEST_F(ZipperTest, SourceRewrittenAfterItsFirstBytesWereReadAheadIsReadAfresh) {
    const size_t size = zip::kPrefetchBytes * 2 + 1000;
    const Bytes before = codectest::RandomBytes(size, 61), after = codectest::RandomBytes(size, 62);
    const std::string big = src + "big.bin";
    Write(src + "a.txt", "first");
    Write(big, std::string(before.begin(), before.end()));
    TFirstReadSignal signalling(static_cast<int64_t>(size));
    zip::TZipper zipper(files, signalling);
    zipper.TempPath = work;
    zipper.SetZipName(archive);
    zipper.FilesList.Add(src + "a.txt");
    zipper.FilesList.Add(big);
    std::future<void> firstBytesIn = signalling.firstBytesIn.get_future();
    zipper.OnStartZip = [&](zip::TZipper&, const std::string& name, zip::TZipHeaderInfo&, bool&) {
        if (!name.ends_with("a.txt")) return;
        ASSERT_EQ(firstBytesIn.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        const auto written = fs::last_write_time(unziptest::Native(big));
        Write(big, std::string(after.begin(), after.end()));
        fs::last_write_time(unziptest::Native(big), written + std::chrono::seconds(10));
    };
    ASSERT_EQ(zipper.Zip(), 2);
    gui::TMemoryStream entry;
    zip::TUnZipper reader(files);
    reader.SetZipName(archive);
    ASSERT_EQ(reader.UnZipToStream(&entry, "big.bin"), 1);
    ASSERT_EQ(entry.Size(), static_cast<int64_t>(size));
    EXPECT_TRUE(std::equal(after.begin(), after.end(), entry.Memory()))
        << "the entry mixes old and new bytes";
#ifndef _WIN32
    const std::string peer =
        testsupport::RunCommand("unzip -p " + ziprec::Quote(unziptest::Native(archive)) + " big.bin").output;
    EXPECT_TRUE(peer == std::string(after.begin(), after.end()));
#endif
}

// On the real clock: the zipping thread that waits for its source, once that is read, does not
// wait on for the rest of its batch when a source further on hangs (a server gone away).
TEST_F(ZipperTest, ATakerWhoseSourceIsReadDoesNotWaitForAHangingSourceFurtherOn) {
    const std::vector<std::string> names = {src + "a.dat", src + "b.dat", src + "hang.dat", src + "c.dat"};
    for (const std::string& name : names)
        Write(name, std::string(1000, 'x'));
    std::promise<void> took;
    std::shared_future<void> tookOrTimedOut = took.get_future().share();
    std::atomic<bool> releasedByTimeOut{false};
    TStdZipperFiles files;
    files.beforeOpenSource = [&](const std::string& name) {
        if (name.find("hang") == std::string::npos) return;
        if (tookOrTimedOut.wait_for(std::chrono::seconds(20)) != std::future_status::ready)
            releasedByTimeOut = true;
    };
    zip::TSourcePrefetch prefetch(files, 1u << 30);
    for (const std::string& name : names)
        ASSERT_TRUE(prefetch.Start(name));
    std::optional<zip::TSourceInfo> info;
    std::unique_ptr<gui::TStream> source;
    EXPECT_TRUE(prefetch.Take(names[0], info, source));
    took.set_value();
    EXPECT_FALSE(releasedByTimeOut) << "the taker waited for the hanging source";
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->size, 1000);
}

TEST_F(ZipperTest, EventsComeInOrderAndNamesAddedAtTheEndJoinTheSameArchive) {
    Write(src + "a.txt", "alpha alpha alpha");
    Write(src + "b.txt", "beta");
    Write(src + "c.txt", std::string(100000, 'c'));
    z.FilesList.Add(src + "a.txt");
    z.FilesList.Add(src + "b.txt");
    std::vector<std::string> seen;
    z.OnStartZipInfo = [&](zip::TZipper&, int count, uint64_t total, zip::TEndCentral&, bool&) {
        seen.push_back("info " + std::to_string(count) + " " + std::to_string(total));
    };
    z.OnStartZip = [&](zip::TZipper&, const std::string& name, zip::TZipHeaderInfo& entry, bool&) {
        seen.push_back("start " + fs::path(unziptest::Native(name)).filename().string());
        if (entry.Filename() == "b.txt") entry.SetFilename("renamed.txt");
    };
    z.OnEndZip = [&](zip::TZipper& zipper, const std::string& name, uint32_t size, uint32_t packed,
                     uint32_t) {
        seen.push_back("end " + fs::path(unziptest::Native(name)).filename().string() + " " +
                       std::to_string(size) + (packed > 0 ? " packed" : ""));
        // The host plans one more file when the list runs out.
        if (name == src + "b.txt-:-") zipper.FilesList.Add(src + "c.txt");
    };
    int completed = -1;
    z.OnZipComplete = [&](zip::TZipper&, int count) { completed = count; };
    EXPECT_EQ(z.Zip(), 3);
    EXPECT_EQ(completed, 3);
    EXPECT_EQ(seen, (std::vector<std::string>{"info 2 21", "start a.txt", "end a.txt 17 packed",
                                              "start b.txt", "end b.txt 4 packed", "end b.txt-:- 0",
                                              "start c.txt", "end c.txt 100000 packed", "end c.txt-:- 0"}));
    EXPECT_EQ(EntryNames(), (std::vector<std::string>{"a.txt", "renamed.txt", "c.txt"}));
    EXPECT_EQ(z.FilesList.Count(), 0);
}

TEST_F(ZipperTest, EmptyFilesAndFoldersBecomeStoredEntriesWithoutData) {
    Write(src + "empty.txt", "");
    fs::create_directories(unziptest::Native(src + "folder\\inner"));
    z.FilesList.Add(src + "empty.txt");
    z.FilesList.Add(src + "folder\\inner\\");
    z.FilesList.Add(src + "missing.txt");
    std::vector<std::string> ended;
    z.OnEndZip = [&](zip::TZipper&, const std::string& name, uint32_t size, uint32_t packed,
                     uint32_t current) {
        if (!name.ends_with("-:-")) ended.push_back(std::to_string(size + packed + current));
    };
    EXPECT_EQ(z.Zip(), 2);
    EXPECT_EQ(ended, (std::vector<std::string>{"0", "0"}));
    TStdFileSystem reading;
    zip::TUnZipper reader(reading);
    reader.SetZipName(archive);
    ASSERT_EQ(reader.Count(), 2);
    EXPECT_EQ(reader.FullName(0), "empty.txt");
    // Without stored paths a folder keeps its own name, so it still unpacks as a folder.
    EXPECT_EQ(reader.FullName(1), "inner\\");
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(reader.Crc32(i), 0u);
        EXPECT_EQ(reader.CompressedSize(i), 0u);
        EXPECT_EQ(reader.UncompressedSize(i), 0u);
    }
    EXPECT_TRUE(reader.TestArchive());
}

TEST_F(ZipperTest, ArchiveBitsAreClearedThroughTheFileSystemAndDisposeAsksPerFile) {
    Write(src + "keep.txt", "keep me");
    Write(src + "gone.txt", "delete me");
    Write(src + "empty.txt", "");
    for (const char* name : {"keep.txt", "gone.txt", "empty.txt"})
        z.FilesList.Add(src + name);
    z.ResetArchiveBitOnZip = true;
    z.Dispose = true;
    std::vector<std::string> asked;
    z.OnDisposeFile = [&](zip::TZipper&, const std::string& name, bool& skip) {
        asked.push_back(name);
        skip = name.ends_with("keep.txt");
    };
    EXPECT_EQ(z.Zip(), 3);
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_TRUE(fs::exists(unziptest::Native(src + "keep.txt")));
    EXPECT_FALSE(fs::exists(unziptest::Native(src + "gone.txt")));
    EXPECT_FALSE(fs::exists(unziptest::Native(src + "empty.txt")));
    const auto info = output.Info(src + "keep.txt");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->attributes & zip::kAttrArchive, 0u);
}

// A source written after its facts were read (grown, or rewritten in place at the same size)
// may hold more than its entry, so it keeps its archive bit; an attribute set meanwhile stays.
TEST_F(ZipperTest, ArchiveBitIsClearedOnlyForASourceAsItWasZippedAndKeepsNewAttributes) {
    for (const char* name : {"same.txt", "grown.txt", "rewritten.txt", "hidden.txt"}) {
        Write(src + name, std::string(4000, 'a') + name);
        z.FilesList.Add(src + name);
    }
    z.ResetArchiveBitOnZip = true;
    z.OnStartZip = [&](zip::TZipper&, const std::string& name, zip::TZipHeaderInfo&, bool&) {
        const fs::path path = unziptest::Native(name);
        if (name.ends_with("grown.txt")) std::ofstream(path, std::ios::binary | std::ios::app) << "more";
        if (name.ends_with("rewritten.txt")) {
            const auto written = fs::last_write_time(path);
            Write(name, std::string(4000, 'b') + "rewritten.txt");
            fs::last_write_time(path, written + std::chrono::seconds(10));
        }
        if (name.ends_with("hidden.txt")) output.SetAttributes(name, zip::kAttrArchive | zip::kAttrHidden);
    };
    EXPECT_EQ(z.Zip(), 4);
    const auto attributes = [&](const char* name) { return output.Info(src + name).value().attributes; };
    EXPECT_EQ(attributes("same.txt") & zip::kAttrArchive, 0u);
    EXPECT_NE(attributes("grown.txt") & zip::kAttrArchive, 0u);
    EXPECT_NE(attributes("rewritten.txt") & zip::kAttrArchive, 0u);
    EXPECT_EQ(attributes("hidden.txt") & (zip::kAttrArchive | zip::kAttrHidden), zip::kAttrHidden);
}

TEST_F(ZipperTest, LockedSourceIsRetriedWhileAskedAndAVanishedOneIsSkipped) {
    Write(src + "locked.txt", "locked for a while");
    Write(src + "vanishing.txt", "gone before it is read");
    Write(src + "fine.txt", "fine");
    for (const char* name : {"locked.txt", "vanishing.txt", "fine.txt"})
        z.FilesList.Add(src + name);
    output.lockedSources[src + "locked.txt"] = 2;
    output.beforeOpenSource = [&](const std::string& name) {
        if (name.ends_with("vanishing.txt")) fs::remove(unziptest::Native(name));
    };
    std::vector<std::string> skips;
    z.OnSkippingFile = [&](zip::TUnZipper&, zip::TSkipReason reason, const std::string& name, int index,
                           bool& retry) {
        EXPECT_EQ(reason, zip::srCantOpenSource);
        EXPECT_EQ(index, -1);
        skips.push_back(fs::path(unziptest::Native(name)).filename().string());
        retry = skips.size() < 4;
    };
    EXPECT_EQ(z.Zip(), 2);
    EXPECT_EQ(skips,
              (std::vector<std::string>{"locked.txt", "locked.txt", "vanishing.txt", "vanishing.txt"}));
    EXPECT_EQ(EntryNames(), (std::vector<std::string>{"locked.txt", "fine.txt"}));
}

TEST_F(ZipperTest, SourceThatGrowsWhileZippedGivesTheBytesItHadWhenOpened) {
    const std::string original = std::string(300000, 'x') + "tail";
    Write(src + "growing.log", original);
    z.OnStartZip = [&](zip::TZipper&, const std::string& name, zip::TZipHeaderInfo&, bool&) {
        std::ofstream(unziptest::Native(name), std::ios::binary | std::ios::app) << std::string(70000, 'y');
    };
    for (const std::string password : {"", "pw"}) {
        SCOPED_TRACE("password '" + password + "'");
        z.FilesList.Add(src + "growing.log");
        z.Password = password;
        fs::remove(unziptest::Native(archive));
        ASSERT_EQ(z.Zip(), 1);
        TStdFileSystem reading;
        zip::TUnZipper reader(reading);
        reader.SetZipName(archive);
        reader.Password = password;
        gui::TMemoryStream out;
        EXPECT_EQ(reader.UnZipToStream(&out, "growing.log"), 1);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size())),
                  original);
        if (testsupport::kPeers) {
            EXPECT_TRUE(PeersAccept(password));
        }
        Write(src + "growing.log", original);
    }
}

// Answers a size of 4 GiB for one name: the component must refuse it before reading.
class THugeFileSystem : public TStdZipperFiles {
  public:
    std::optional<zip::TSourceInfo> Info(const std::string& name) override {
        auto info = TStdZipperFiles::Info(name);
        if (info && name.ends_with("huge.bin")) info->size = int64_t(1) << 32;
        return info;
    }
};

TEST_F(ZipperTest, LimitsOfTheFormatSkipOrRaiseBeforeAnythingWraps) {
    Write(src + "huge.bin", "small on disk");
    Write(src + "one.txt", "1");
    Write(src + "two.txt", "2");
    THugeFileSystem huge;
    zip::TZipper zipper(files, huge);
    zipper.TempPath = work;
    zipper.SetZipName(archive);
    zipper.FilesList.Add(src + "huge.bin");
    zipper.FilesList.Add(src + "one.txt");
    int skipped = 0;
    zipper.OnSkippingFile = [&](zip::TUnZipper&, zip::TSkipReason reason, const std::string&, int, bool&) {
        EXPECT_EQ(reason, zip::srCantOpenSource);
        ++skipped;
    };
    EXPECT_EQ(zipper.Zip(), 1);
    EXPECT_EQ(skipped, 1);

    // The 65,536th entry: the host's end record says the archive already holds 65,534.
    fs::remove(unziptest::Native(archive));
    z.FilesList.Add(src + "one.txt");
    z.FilesList.Add(src + "two.txt");
    z.OnStartZipInfo = [](zip::TZipper&, int, uint64_t, zip::TEndCentral& end, bool&) {
        end.TotalEntries = end.EntriesOnDisk = 65534;
    };
    int completed = -1;
    z.OnZipComplete = [&](zip::TZipper&, int count) { completed = count; };
    EXPECT_THROW(z.Zip(), zip::ENotEnoughRoom);
    EXPECT_EQ(completed, 1);
    ExpectNothingLeft();
}

// An archive stream that already stands just below 4 GiB without holding the bytes.
class TFarStream : public gui::TStream {
  public:
    explicit TFarStream(int64_t base) : base_(base) {}
    size_t Read(void*, size_t) override { return 0; }
    size_t Write(const void*, size_t count) override {
        position_ += static_cast<int64_t>(count);
        if (position_ > end_) end_ = position_;
        return count;
    }
    int64_t Seek(int64_t offset, gui::TSeekOrigin origin) override {
        if (origin == gui::TSeekOrigin::soBeginning)
            position_ = offset == 0 ? base_ : offset;
        else if (origin == gui::TSeekOrigin::soCurrent)
            position_ += offset;
        else
            position_ = end_ + offset;
        return position_;
    }
    int64_t Size() override { return end_ == 0 ? 0 : end_; }
    void SetSize(int64_t size) override { end_ = size; }

  private:
    int64_t base_, position_ = 0, end_ = 0;
};

TEST_F(ZipperTest, OutputPastFourGigabytesRaisesInsteadOfWrappingOffsets) {
    Write(src + "big.bin", std::string(200, 'b'));
    TFarStream far(0xFFFFFF00ll);
    z.SetArchiveStream(&far);
    z.PackLevel = 0;
    z.FilesList.Add(src + "big.bin");
    EXPECT_THROW(z.Zip(), zip::ENotEnoughRoom);
    EXPECT_EQ(far.Size(), 0);
}

TEST_F(ZipperTest, StagingFileAndReadBackGiveByteIdenticalArchives) {
    MakeTree();
    std::vector<std::string> results;
    for (int way = 0; way < 3; ++way) {
        ListTree();
        z.UseTempFile = way == 1;
        z.WriteVerify = way == 2;
        fs::remove(unziptest::Native(archive));
        ASSERT_EQ(z.Zip(), 5);
        results.push_back(Read(archive));
        EXPECT_EQ(ziptest::WorkFilesIn(work), std::vector<std::string>());
    }
    EXPECT_GT(results[0].size(), size_t(1) << 20);
    EXPECT_EQ(results[0], results[1]);
    EXPECT_EQ(results[0], results[2]);
}

TEST_F(ZipperTest, ArchiveStreamAndStreamSourceMakeReadableArchives) {
    gui::ManualClock clock(46000.5); // 2025-12-09 12:00
    gui::SetClock(&clock);
    struct Restore {
        ~Restore() { gui::SetClock(nullptr); }
    } restore;
    MakeTree();
    ListTree();
    gui::TMemoryStream memory;
    z.SetArchiveStream(&memory);
    z.Password = "pw";
    EXPECT_EQ(z.Zip(), 5);
    TStdFileSystem reading;
    zip::TUnZipper reader(reading);
    reader.SetArchiveStream(&memory);
    reader.Password = "pw";
    EXPECT_EQ(reader.Count(), 5);
    EXPECT_TRUE(reader.TestArchive());

    zip::TZipper single(files, output);
    single.TempPath = work;
    single.SetZipName(archive);
    gui::TMemoryStream data;
    const std::string text(70000, 'z');
    data.WriteBuffer(text.data(), text.size());
    EXPECT_EQ(single.ZipToStream(&data, "folder\\named.txt"), 1);
    EXPECT_EQ(single.ZipToStream(nullptr, "x.txt"), 0);
    EXPECT_EQ(single.ZipToStream(&data, ""), 0);
    zip::TUnZipper check(reading);
    check.SetZipName(archive);
    ASSERT_EQ(check.Count(), 1);
    EXPECT_EQ(check.FullName(0), "named.txt");
    EXPECT_EQ(check.UncompressedSize(0), text.size());
    EXPECT_EQ(check.DosDateTime(0), zip::PackDosDateTime(2025, 12, 9, 12, 0, 0));
    EXPECT_TRUE(check.TestArchive());

    // A failed run into an empty archive stream leaves it empty.
    gui::TMemoryStream failed;
    z.SetArchiveStream(&failed);
    z.FilesList.Add(src + "top.txt");
    z.OnStartZipInfo = [](zip::TZipper&, int, uint64_t, zip::TEndCentral&, bool& stop) { stop = true; };
    EXPECT_THROW(z.Zip(), zip::EUserCanceled);
    EXPECT_EQ(failed.Size(), 0);
}

TEST_F(ZipperTest, NoCompressListStoresItsMatchesAndPercentEventsReachTheEnd) {
    const Bytes text = codectest::TextBytes(300000, 6);
    Write(src + "a.txt", std::string(text.begin(), text.end()));
    Write(src + "b.jpg", std::string(text.begin(), text.end()));
    z.FilesList.Add(src + "a.txt");
    z.FilesList.Add(src + "b.jpg");
    z.NoCompressList.Add("*.jpg");
    int lastFile = -1, lastTotal = -1, pumps = 0;
    z.OnFilePercentDone = [&](zip::TUnZipper&, int percent) { lastFile = percent; };
    z.OnTotalPercentDone = [&](zip::TUnZipper&, int percent) {
        EXPECT_GE(percent, lastTotal);
        lastTotal = percent;
    };
    z.OnProcessMessages = [&] { ++pumps; };
    EXPECT_EQ(z.Zip(), 2);
    EXPECT_EQ(lastFile, 100);
    EXPECT_EQ(lastTotal, 100);
    EXPECT_GT(pumps, 0);
    TStdFileSystem reading;
    zip::TUnZipper reader(reading);
    reader.SetZipName(archive);
    EXPECT_LT(reader.CompressedSize(0), text.size() / 2);
    EXPECT_EQ(reader.CompressedSize(1), text.size());
    EXPECT_TRUE(reader.TestArchive());
}

TEST_F(ZipperTest, WaitsRunOnTheClockAndFreeSpaceIsAskedOfTheArchivesDrive) {
    gui::ManualClock clock;
    gui::SetClock(&clock);
    struct Restore {
        ~Restore() { gui::SetClock(nullptr); }
    } restore;
    int pumps = 0;
    z.OnProcessMessages = [&] { ++pumps; };
    z.WaitSeconds(2);
    EXPECT_GE(clock.MonotonicMs(), 2004);
    EXPECT_LT(clock.MonotonicMs(), 2100);
    EXPECT_GT(pumps, 1000);
    output.diskFree["A:\\"] = 1457664;
    z.MultiZipInfo.MultiMode = zip::mmSpan;
    z.SetZipName("a:\\set.zip");
    EXPECT_EQ(z.MultiMode(), zip::mmSpan); // a new name keeps the volume settings
    EXPECT_EQ(z.DiskFreeOfArchive(), 1457664);
    z.SetZipName("relative.zip");
    EXPECT_EQ(z.DiskFreeOfArchive(), int64_t(1) << 40);
}

} // namespace
