// The zip component over the Win32 file system: sources locked by another program, sources
// that another program writes and deletes while they are zipped, and short names.

#include "UnZipperSupport.h"
#include "gui/ScriptedPrompter.h"
#include "zip/ExtractFilesWin.h"
#include "zip/Zipper.h"
#include "zip/ZipperFilesWin.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>

namespace {

using unziptest::TTempFolder;

std::string FixedDrive(const std::string&) {
    return "Fixed";
}

class ZipperWinTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CreateDirectoryA(src.c_str(), nullptr);
        z.TempPath = tmp.Path();
        z.SetZipName(archive);
    }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(src + name, std::ios::binary) << text;
    }
    std::vector<std::string> Entries() {
        zip::TWinExtractFileSystem reading;
        zip::TUnZipper reader(reading);
        reader.SetZipName(archive);
        std::vector<std::string> names;
        for (int i = 0; i < reader.Count(); ++i)
            names.push_back(reader.FullName(i));
        EXPECT_TRUE(reader.TestArchive());
        return names;
    }

    TTempFolder tmp;
    const std::string src = tmp.Path() + "\\src\\";
    const std::string archive = tmp.Path() + "\\out.zip";
    zip::TWinExtractFileSystem files;
    zip::TWinZipperFileSystem output{FixedDrive};
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope scope{prompter};
    zip::TZipper z{files, output};
};

TEST_F(ZipperWinTest, SourceLockedByAnotherProgramIsAskedAboutUntilItIsFree) {
    Write("locked.txt", "held exclusively");
    Write("other.txt", "free");
    HANDLE lock =
        CreateFileA((src + "locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    int asked = 0;
    z.OnSkippingFile = [&](zip::TUnZipper&, zip::TSkipReason reason, const std::string&, int, bool& retry) {
        EXPECT_EQ(reason, zip::srCantOpenSource);
        // The second question finds the other program done.
        if (++asked == 2) CloseHandle(lock);
        retry = true;
    };
    z.FilesList.Add(src + "locked.txt");
    z.FilesList.Add(src + "other.txt");
    EXPECT_EQ(z.Zip(), 2);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"locked.txt", "other.txt"}));
}

TEST_F(ZipperWinTest, SourceStaysWritableAndDeletableWhileItIsZipped) {
    Write("log.txt", std::string(200000, 'l'));
    bool wrote = false, deleted = false;
    z.OnStartZip = [&](zip::TZipper&, const std::string& name, zip::TZipHeaderInfo&, bool&) {
        HANDLE writer =
            CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        wrote = writer != INVALID_HANDLE_VALUE;
        if (wrote) CloseHandle(writer);
        deleted = DeleteFileA(name.c_str()) != 0;
    };
    z.FilesList.Add(src + "log.txt");
    EXPECT_EQ(z.Zip(), 1);
    EXPECT_TRUE(wrote);
    EXPECT_TRUE(deleted);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"log.txt"}));
}

TEST_F(ZipperWinTest, ShortNamesAreTheOnesTheSystemAnswers) {
    Write("a long file name.text", "long");
    char shortPath[MAX_PATH];
    ASSERT_NE(GetShortPathNameA((src + "a long file name.text").c_str(), shortPath, MAX_PATH), 0u);
    const std::string expected = std::string(shortPath).substr(std::string(shortPath).find_last_of('\\') + 1);
    ASSERT_NE(expected, "a long file name.text");
    z.Store83Names = true;
    z.FilesList.Add(src + "a long file name.text");
    EXPECT_EQ(z.Zip(), 1);
    EXPECT_EQ(Entries(), (std::vector<std::string>{expected}));
}

} // namespace
