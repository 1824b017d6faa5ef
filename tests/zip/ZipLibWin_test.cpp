#include <windows.h>

#include "WinTestSupport.h"
#include "WineDriveWinSupport.h"
#include "gui/ScriptedPrompter.h"
#include "zip/ZipLib.h"
#include "zip/ZipLibWin.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <vector>

using namespace zip;

namespace {

// A scratch folder that puts files at relative paths, making the folders on the way.
struct TempFolder : testsupport::TempFolder {
    void File(const std::string& relative, const std::string& bytes = "x") const {
        const std::string full = Path() + relative;
        ForceDirs(full.substr(0, full.find_last_of('\\')));
        std::ofstream(full, std::ios::binary) << bytes;
    }
};

std::vector<std::string> Search(const std::string& start, bool recurse, const std::string& mask,
                                const std::string& cut) {
    TDirSearch search(start, recurse, mask);
    std::vector<std::string> found;
    int64_t size;
    for (std::string name = search.NextFile(size); !name.empty(); name = search.NextFile(size))
        found.push_back(name.substr(cut.size()));
    return found;
}

std::set<std::string> AsSet(const std::vector<std::string>& names) {
    return {names.begin(), names.end()};
}

TEST(ZipLibWin, WildcardFolderPartsLeadToTheMaskedFiles) {
    TempFolder t;
    for (const char* file : {"Data\\A\\Logs\\x.log", "Data\\A\\Logs\\x.txt", "Data\\B\\Logs\\y.LOG",
                             "Data\\B\\Other\\n.log", "Data\\top.log", "Data\\.hidden\\Logs\\h.log"})
        t.File(file);
    EXPECT_EQ(AsSet(Search(t.Path() + "Data\\*\\Logs", false, "*.log", t.Path())),
              (std::set<std::string>{"Data\\A\\Logs\\x.log", "Data\\B\\Logs\\y.LOG",
                                     "Data\\.hidden\\Logs\\h.log"}));
    EXPECT_EQ(
        AsSet(Search(t.Path() + "Data\\<a-b>\\*", false, "*.log", t.Path())),
        (std::set<std::string>{"Data\\A\\Logs\\x.log", "Data\\B\\Logs\\y.LOG", "Data\\B\\Other\\n.log"}));
}

TEST(ZipLibWin, RecursiveSearchAnswersEachFolderBeforeItsContents) {
    TempFolder t;
    t.File("README");
    t.File("a.txt");
    t.File("sub\\b.txt");
    t.File(".cfg\\settings.ini"); // a dot folder is an ordinary folder
    t.File("sub\\deeper\\c.txt");
    const std::vector<std::string> found = Search(t.Path(), true, "*.*", t.Path());
    EXPECT_EQ(AsSet(found), (std::set<std::string>{"README", "a.txt", "sub\\", "sub\\b.txt", "sub\\deeper\\",
                                                   "sub\\deeper\\c.txt", ".cfg\\", ".cfg\\settings.ini"}));
    auto at = [&](const std::string& name) {
        return std::find(found.begin(), found.end(), name) - found.begin();
    };
    EXPECT_LT(at("sub\\"), at("sub\\b.txt"));
    EXPECT_LT(at("sub\\deeper\\"), at("sub\\deeper\\c.txt"));
    EXPECT_LT(at(".cfg\\"), at(".cfg\\settings.ini"));
    // Without recurse only the start folder's files.
    EXPECT_EQ(AsSet(Search(t.Path(), false, "*.*", t.Path())), (std::set<std::string>{"README", "a.txt"}));
}

TEST(ZipLibWin, DeepTreesAndHugeFilesAreSearchedWhole) {
    TempFolder t;
    std::string deep;
    for (int level = 0; level < 30; ++level)
        deep += "d" + std::to_string(level) + "\\";
    t.File(deep + "bottom.txt");
    // A sparse file past 4 GiB: the size must not wrap.
    HANDLE big =
        CreateFileA((t.Path() + "big.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(big, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = (int64_t(5) << 30) + 7;
    ASSERT_TRUE(SetFilePointerEx(big, end, nullptr, FILE_BEGIN) && SetEndOfFile(big));
    CloseHandle(big);

    TDirSearch search(t.Path(), true, "*.*");
    int64_t size = 0, bigSize = -1;
    bool bottom = false;
    for (std::string name = search.NextFile(size); !name.empty(); name = search.NextFile(size)) {
        if (name == t.Path() + deep + "bottom.txt") bottom = true;
        if (name == t.Path() + "big.bin") bigSize = size;
    }
    EXPECT_TRUE(bottom);
    EXPECT_EQ(bigSize, (int64_t(5) << 30) + 7);
}

void SetWriteTime(const std::string& file, WORD year, WORD month, WORD day, WORD hour, WORD minute,
                  WORD second) {
    SYSTEMTIME local{year, month, 0, day, hour, minute, second, 0};
    FILETIME localTime, utc;
    ASSERT_TRUE(SystemTimeToFileTime(&local, &localTime));
    ASSERT_TRUE(LocalFileTimeToFileTime(&localTime, &utc));
    HANDLE h = CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &utc));
    CloseHandle(h);
}

TEST(ZipLibWin, FileDatesAreDosDatesClampedToTheirRange) {
    TempFolder t;
    const std::string file = t.Path() + "dated.txt";
    t.File("dated.txt");
    SetWriteTime(file, 2020, 6, 15, 10, 20, 31);
    EXPECT_EQ(FileDosDateTime(file), PackDosDateTime(2020, 6, 15, 10, 20, 30));
    EXPECT_EQ(FileDateTime(file), DosDateTimeToDateTime(PackDosDateTime(2020, 6, 15, 10, 20, 30)));
    SetWriteTime(file, 1975, 3, 1, 12, 0, 0);
    EXPECT_EQ(FileDosDateTime(file), PackDosDateTime(1980, 1, 1, 0, 0, 0));
    SetWriteTime(file, 2150, 3, 1, 12, 0, 0);
    EXPECT_EQ(FileDosDateTime(file), PackDosDateTime(2099, 12, 31, 23, 59, 58));
    EXPECT_FALSE(FileDosDateTime(t.Path() + "missing.txt").has_value());
}

TEST(ZipLibWin, FoldersAreMadeAndTested) {
    TempFolder t;
    const std::string deep = t.Path() + "one\\two\\three\\";
    EXPECT_FALSE(DirExists(deep));
    EXPECT_TRUE(ForceDirs(deep));
    EXPECT_TRUE(DirExists(deep));
    EXPECT_TRUE(DirExists(t.Path() + "one"));
    EXPECT_FALSE(FileExists(t.Path() + "one"));
    t.File("one\\f.txt");
    EXPECT_TRUE(FileExists(t.Path() + "one\\f.txt"));
    EXPECT_FALSE(ForceDirs(t.Path() + "one\\f.txt\\below")); // a file stands in the way
    EXPECT_TRUE(ForceDirs(""));
    SetCurrentDirectoryA(deep.c_str());
    EXPECT_EQ(CurrentDir() + "\\", deep);
    SetCurrentDirectoryA(t.Path().substr(0, 3).c_str());
}

TEST(ZipLibWin, CopyFileToSucceedsOnlyWhenEveryByteArrived) {
    TempFolder t;
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope scope(prompter);
    std::string data(300000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char(i * 31 % 253);
    t.File("src.bin", data);
    t.File("empty.bin", "");
    EXPECT_TRUE(CopyFileTo(t.Path() + "src.bin", t.Path() + "copy.bin"));
    std::ifstream copy(t.Path() + "copy.bin", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copy), {}), data);
    EXPECT_TRUE(CopyFileTo(t.Path() + "empty.bin", t.Path() + "empty2.bin")); // 0 bytes is a good copy
    EXPECT_TRUE(prompter.Requests().empty());

    prompter.AnswerMessage(gui::mrOk).AnswerMessage(gui::mrOk);
    EXPECT_FALSE(CopyFileTo(t.Path() + "missing.bin", t.Path() + "out.bin"));
    EXPECT_FALSE(FileExists(t.Path() + "out.bin"));
    EXPECT_FALSE(CopyFileTo(t.Path() + "src.bin", t.Path() + "no\\such\\folder\\out.bin"));
    const auto texts = prompter.MessageTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Could not copy from " + t.Path() + "missing.bin -> " + t.Path() + "out.bin");
    EXPECT_EQ(prompter.Requests()[0].Message.Caption, "Error");
}

TEST(ZipLibWin, ConvertPathMatchesTheSystemsShortAndLongNames) {
    TempFolder t;
    t.File("Long Folder Name\\Another long file name.text");
    const std::string longPath = t.Path() + "Long Folder Name\\Another long file name.text";
    char shortPath[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(longPath.c_str(), shortPath, MAX_PATH), 0u);
    char longBase[MAX_PATH];
    ASSERT_GT(GetLongPathNameA(t.Path().c_str(), longBase, MAX_PATH), 0u);
    const std::string fullLong = std::string(longBase) + "Long Folder Name\\Another long file name.text";

    EXPECT_EQ(ConvertPath(longPath, false), shortPath);
    EXPECT_EQ(ConvertPath(shortPath, true), fullLong);
    EXPECT_EQ(ConvertPath(t.Path() + "Long Folder Name\\", false).back(), '\\');
    // A part that is not on disk stays as it is, in both directions.
    EXPECT_EQ(ConvertPath(t.Path() + "Long Folder Name\\not here.txt", true),
              std::string(longBase) + "Long Folder Name\\not here.txt");
}

TEST(ZipLibWin, VolumeLabelIsWrittenAndReadBackOnARemovableDrive) {
    wintest::TWineDrive drive(DRIVE_REMOVABLE);
    ASSERT_TRUE(drive.Defined()) << "no mount manager to define a drive letter";
    const std::string root = drive.Root();
    EXPECT_EQ(GetDriveTypeA(root.c_str()), UINT(DRIVE_REMOVABLE));
    EXPECT_TRUE(SetVolumeLabel(root, "PKBACK# 002"));
    ASSERT_TRUE(drive.Insert(drive.Folder()));
    EXPECT_EQ(GetVolumeLabel(root), "PKBACK# 002");

    // A label longer than a volume can hold is answered cut to 13 characters.
    std::ofstream(drive.Folder() + ".windows-label") << "ABCDEFGHIJKLMNOPQRSTUVWXYZ\n";
    ASSERT_TRUE(drive.Insert(drive.Folder()));
    EXPECT_EQ(GetVolumeLabel(root), "ABCDEFGHIJKLM");

    // The search works through the drive letter like any folder.
    ASSERT_TRUE(ForceDirs(drive.Folder() + "Data\\X\\Logs"));
    std::ofstream(drive.Folder() + "Data\\X\\Logs\\q.log") << "x";
    EXPECT_EQ(Search(root + "Data\\*\\Logs", false, "*.log", ""),
              (std::vector<std::string>{root + "Data\\X\\Logs\\q.log"}));
    EXPECT_EQ(GetVolumeLabel("L:\\no drive\\"), "");
}

} // namespace

namespace {

TEST(ZipLibWin, SystemConvertersTurnAnsiNamesIntoTheOemCodePageAndBack) {
    ASSERT_EQ(GetOEMCP(), 437u) << "the test prefix runs under an English locale";
    const NameConverters system = SystemNameConverters();
    ScopedNameConverters scope(system);
    EXPECT_EQ(AnsiToOemName("caf\xE9\\M\xFCller.txt"), "caf\x82\\M\x81ller.txt");
    EXPECT_EQ(OemToAnsiName("caf\x82\\M\x81ller.txt"), "caf\xE9\\M\xFCller.txt");
    EXPECT_EQ(AnsiToOemName(""), "");
}

} // namespace
