// What a Zip call adds: names, masks and folders of FilesList resolved against a real folder
// tree, with the exclude, archive-bit and freshen rules; and the DOS-precision time compare.

#include "ZipFolderSupport.h"
#include "zip/ZipCodecErrors.h"
#include "zip/ZipLib.h"
#include "zip/Zipper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace fs = std::filesystem;

namespace {

class ZipFileListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* folder : {"src", "src/sub", "src/sub/deep", "src/empty", "tmp"})
            fs::create_directories(unziptest::Native(P(folder)));
        Put("src/a.txt", "alpha");
        Put("src/b.log", "bravo!");
        Put("src/README", "no extension");
        Put("src/sub/c.txt", "charlie");
        Put("src/sub/deep/d.txt", "delta delta");
        Put("src/sub/e.bin", "echo");
        z.TempPath = P("tmp");
        z.SetZipName(P("out.zip"));
        z.OnStartZipInfo = [this](zip::TZipper& zipper, int count, uint64_t total, zip::TEndCentral&,
                                  bool& stop) {
            for (int i = 0; i < zipper.FilesList.Count(); ++i)
                listed.push_back(Relative(zipper.FilesList[i]));
            EXPECT_EQ(count, zipper.FilesList.Count());
            totalBytes = total;
            stop = stopAtStart;
        };
    }

    std::string P(const std::string& name) const { return dir.P(name); }
    void Put(const std::string& name, const std::string& text) { dir.Put(name, text); }
    std::string Relative(const std::string& name) const {
        const std::string root = P("src") + "\\";
        return name.starts_with(root) ? name.substr(root.size()) : name;
    }
    std::vector<std::string> Sorted() {
        std::vector<std::string> names = listed;
        std::sort(names.begin(), names.end());
        return names;
    }

    ziptest::TZipFolder dir;
    unziptest::TStdFileSystem files;
    ziptest::TStdZipperFiles output;
    zip::TZipper z{files, output};
    std::vector<std::string> listed;
    uint64_t totalBytes = 0;
    bool stopAtStart = false;
};

TEST_F(ZipFileListTest, PlainNamesGetRootDirAndLoseExcludedMissingAndArchiveBitLessFiles) {
    std::vector<std::string> missing;
    z.OnNoSuchFile = [&](zip::TZipper&, const std::string& name) { missing.push_back(Relative(name)); };
    z.SetRootDir(P("src"));
    z.ExcludeList.Add("*.log");
    z.SkipIfArchiveBitNotSet = true;
    ASSERT_TRUE(output.SetAttributes(P("src/sub/e.bin"), 0));
    for (const char* name : {"a.txt", "b.log", "nothere.txt", "sub\\c.txt", "sub\\e.bin", "sub\\deep\\"})
        z.FilesList.Add(name[0] == 's' ? P(std::string("src/") + name) : name);
    EXPECT_EQ(z.Zip(), 3);
    EXPECT_EQ(listed, (std::vector<std::string>{"a.txt", "sub\\c.txt", "sub\\deep\\"}));
    EXPECT_EQ(missing, std::vector<std::string>{"nothere.txt"});
    EXPECT_EQ(totalBytes, 5u + 7u); // the folder line counts nothing
}

TEST_F(ZipFileListTest, MaskPrefixesChooseSubfoldersAndFoldersJoinOnlyWhenAsked) {
    z.FilesList.Add("|" + P("src/*.txt"));
    stopAtStart = true;
    EXPECT_THROW(z.Zip(), zip::EUserCanceled);
    EXPECT_EQ(Sorted(), std::vector<std::string>{"a.txt"});

    listed.clear();
    z.FilesList.Add(">" + P("src/*.txt"));
    EXPECT_THROW(z.Zip(), zip::EUserCanceled);
    EXPECT_EQ(Sorted(), (std::vector<std::string>{"a.txt", "sub\\c.txt", "sub\\deep\\d.txt"}));
    EXPECT_EQ(totalBytes, 5u + 7u + 11u);

    // Recurse decides without a prefix; folders join with AddDirEntriesOnRecurse; "*.*"
    // finds a name without extension; a mask without folder searches RootDir.
    listed.clear();
    z.Recurse = true;
    z.AddDirEntriesOnRecurse = true;
    z.SetRootDir(P("src/sub"));
    z.FilesList.Add("*.*");
    EXPECT_THROW(z.Zip(), zip::EUserCanceled);
    EXPECT_EQ(Sorted(),
              (std::vector<std::string>{"sub\\c.txt", "sub\\deep\\", "sub\\deep\\d.txt", "sub\\e.bin"}));

    // Without subfolders no folder is added, whatever AddDirEntriesOnRecurse says; a folder
    // that does not exist gives nothing.
    listed.clear();
    z.FilesList.Add("|" + P("src/*.*"));
    z.FilesList.Add(P("nowhere/*.*"));
    EXPECT_THROW(z.Zip(), zip::EUserCanceled);
    EXPECT_EQ(Sorted(), (std::vector<std::string>{"README", "a.txt", "b.log"}));
}

// A folder named without its trailing "\", in the list or added while zipping, is left out
// rather than zipped as an empty file of its name.
TEST_F(ZipFileListTest, FolderNamedWithoutItsBackslashIsLeftOut) {
    z.SetRootDir(P("src"));
    z.FilesList.Add(P("src/sub"));
    z.FilesList.Add("a.txt");
    bool added = false;
    z.OnEndZip = [&](zip::TZipper& zipper, const std::string& name, uint32_t, uint32_t, uint32_t) {
        if (!name.ends_with("-:-") || added) return;
        zipper.FilesList.Add(P("src/empty"));
        added = true;
    };
    EXPECT_EQ(z.Zip(), 1);
    EXPECT_EQ(listed, std::vector<std::string>{"a.txt"});
    zip::TUnZipper reader(files);
    reader.SetZipName(P("out.zip"));
    EXPECT_EQ(reader.Count(), 1);
}

TEST_F(ZipFileListTest, MaskSearchLeavesOutTheArchiveItselfAndExcludedFiles) {
    Put("src/sub/c.txt.zip", "");
    z.SetZipName(P("src/sub/c.txt.zip"));
    z.ExcludeList.Add(P("src/sub/deep/*"));
    z.FilesList.Add(">" + P("src/sub/*"));
    stopAtStart = true;
    EXPECT_THROW(z.Zip(), zip::EUserCanceled);
    EXPECT_EQ(Sorted(), (std::vector<std::string>{"sub\\c.txt", "sub\\e.bin"}));
}

TEST_F(ZipFileListTest, SearchPumpsMessagesAndStopsOnCancel) {
    int pumped = 0;
    z.OnProcessMessages = [&] {
        ++pumped;
        z.CancelTheOperation();
    };
    z.FilesList.Add(">" + P("src/*.*"));
    EXPECT_THROW(z.Zip(), zip::EUserCanceled);
    EXPECT_EQ(pumped, 1);
    EXPECT_FALSE(dir.Exists("out.zip"));
}

TEST_F(ZipFileListTest, ExcludeAndNoCompressLinesWithAFolderMatchTheFullName) {
    z.ExcludeList.Add("*.TMP");
    z.ExcludeList.Add("C:\\Windows\\*");
    z.ExcludeList.Add("<a-c>?.dat");
    EXPECT_TRUE(z.IsExcluded("D:\\work\\x.tmp"));
    EXPECT_TRUE(z.IsExcluded("C:\\WINDOWS\\system32\\kernel32.dll"));
    EXPECT_FALSE(z.IsExcluded("D:\\Windows\\a.dll")); // a folder line needs the full name
    EXPECT_TRUE(z.IsExcluded("D:\\data\\b1.dat"));
    EXPECT_FALSE(z.IsExcluded("D:\\data\\d1.dat"));
    EXPECT_FALSE(z.IsExcluded("D:\\data\\tmp\\file.txt")); // a bare line sees the name alone
    z.NoCompressList.Add("*.zip");
    EXPECT_TRUE(z.IsNoCompress("E:\\backup\\set.ZIP"));
    EXPECT_FALSE(z.IsNoCompress("E:\\backup\\set.zip.txt"));
}

TEST_F(ZipFileListTest, FreshenKeepsOnlyFilesTheArchiveHolds) {
    z.SetStorePaths(true);
    z.SetRelativePaths(true);
    z.SetRootDir(P("src"));
    z.FilesList.Add(P("src/a.txt"));
    z.FilesList.Add(P("src/sub/c.txt"));
    ASSERT_EQ(z.Zip(), 2);

    // Freshen against an archive holding a.txt and sub/c.txt, both changed since: only they
    // are zipped again; the other matches are not new entries.
    for (const char* name : {"src/a.txt", "src/sub/c.txt"}) {
        const fs::path path = unziptest::Native(P(name));
        fs::last_write_time(path, fs::last_write_time(path) + std::chrono::hours(1));
    }
    std::vector<std::string> zipped;
    z.OnStartZip = [&](zip::TZipper&, const std::string& name, zip::TZipHeaderInfo&, bool&) {
        zipped.push_back(Relative(name));
    };
    z.ZipAction = zip::zaFreshen;
    z.FilesList.Add(">" + P("src/*.txt"));
    z.FilesList.Add(P("src/b.log"));
    EXPECT_EQ(z.Zip(), 2);
    std::sort(zipped.begin(), zipped.end());
    EXPECT_EQ(zipped, (std::vector<std::string>{"a.txt", "sub\\c.txt"}));
    EXPECT_EQ(z.Count(), 2);

    // No archive: nothing to freshen.
    listed.clear();
    z.SetZipName(P("none.zip"));
    z.FilesList.Add(P("src/a.txt"));
    EXPECT_EQ(z.Zip(), 0);
}

TEST_F(ZipFileListTest, ExtractionDateRulesCompareAtDosPrecision) {
    dir.SetTime("src/a.txt", 100);
    z.FilesList.Add(P("src/a.txt"));
    ASSERT_EQ(z.Zip(), 1);
    Put("out/a.txt", "existing");
    // offset of the existing file from the entry's time -> replaced under ifOlder, ifNewer
    const std::vector<std::tuple<int, bool, bool>> cases = {
        {1, false, false}, {2, true, false}, {-1, false, true}, {0, false, false}};
    for (const auto& [offset, olderReplaces, newerReplaces] : cases) {
        for (zip::TUZOverwriteMode mode : {zip::ifOlder, zip::ifNewer}) {
            dir.SetTime("out/a.txt", 100 + offset);
            zip::TUnZipper reader(files);
            reader.SetZipName(P("out.zip"));
            reader.SetDestDir(P("out"));
            reader.OverwriteMode = mode;
            reader.DoAll = true;
            EXPECT_EQ(reader.UnZip(), (mode == zip::ifOlder ? olderReplaces : newerReplaces) ? 1 : 0)
                << "offset " << offset << (mode == zip::ifOlder ? " ifOlder" : " ifNewer");
        }
    }
}

TEST(DosTimeCompare, FileTimesCompareAtTwoSecondPrecision) {
    const uint32_t entry = zip::PackDosDateTime(2024, 5, 6, 10, 20, 30);
    EXPECT_EQ(zip::CompareDosTime(zip::PackDosDateTime(2024, 5, 6, 10, 20, 31), entry), 0);
    EXPECT_GT(zip::CompareDosTime(zip::PackDosDateTime(2024, 5, 6, 10, 20, 32), entry), 0);
    EXPECT_LT(zip::CompareDosTime(zip::PackDosDateTime(2023, 12, 31, 23, 59, 58), entry), 0);
    // A second more on the file's full time is still the same DOS time.
    const gui::DateTime fileTime = *zip::DosDateTimeToDateTime(entry) + 1.0 / 86400.0;
    EXPECT_EQ(zip::CompareDosTime(fileTime, entry), 0);
    EXPECT_GT(zip::CompareDosTime(fileTime + 1.0 / 86400.0, entry), 0);
    // Out-of-range fields are clamped before the compare: hour 31 is 23.
    const uint32_t wild = entry | (31u << 11);
    EXPECT_EQ(zip::CompareDosTime(zip::PackDosDateTime(2024, 5, 6, 23, 20, 30), wild), 0);
}

} // namespace
