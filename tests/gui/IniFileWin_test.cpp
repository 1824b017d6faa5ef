#include "WinTestSupport.h"
#include "gui/IniFile.h"

#include <gtest/gtest.h>

using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

namespace {
size_t FilesIn(const std::string& folder) {
    size_t count = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++count;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}
} // namespace

TEST(IniFile, WritesReplaceTheWholeFileAndLeaveNoTemporaryFiles) {
    TempFolder folder;
    const std::string name = folder / "tarnwick.ini";
    WriteWholeFile(name, "; keep me\r\n[Settings]\r\nCrashed=1\r\n");
    gui::TIniFile ini(name);
    EXPECT_TRUE(ini.WriteBool("Settings", "Crashed", false));
    EXPECT_TRUE(ini.WriteString("Files", "LastJob", "C:\\Jobs\\a.dat"));
    EXPECT_EQ(ReadWholeFile(name),
              "; keep me\r\n[Settings]\r\nCrashed=0\r\n\r\n[Files]\r\nLastJob=C:\\Jobs\\a.dat\r\n");
    EXPECT_EQ(FilesIn(folder.Path()), 1u);
}

TEST(IniFile, ASaveRemovesTemporariesACrashLeftButNotAnotherSavesOrOtherFiles) {
    TempFolder folder;
    const std::string name = folder / "tarnwick.ini";
    auto makeFile = [&](const std::string& file, int daysOld) {
        WriteWholeFile(folder / file, "x");
        FILETIME time;
        GetSystemTimeAsFileTime(&time);
        ULARGE_INTEGER ticks{{time.dwLowDateTime, time.dwHighDateTime}};
        ticks.QuadPart -= uint64_t(daysOld) * 864'000'000'000;
        time = {ticks.LowPart, ticks.HighPart};
        const HANDLE handle = CreateFileA((folder / file).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
        SetFileTime(handle, nullptr, nullptr, &time);
        CloseHandle(handle);
    };
    makeFile("tw1A2B.tmp", 2); // a crash's
    makeFile("TW7.TMP", 2);    // a crash's, as another system spells it
    makeFile("tw3C4D.tmp", 0); // another save's, under way
    makeFile("twins.tmp", 2);  // not ours
    makeFile("tw12.txt", 2);   // not ours
    gui::TIniFile ini(name);
    EXPECT_TRUE(ini.WriteBool("Settings", "Crashed", false));
    EXPECT_EQ(GetFileAttributesA((folder / "tw1A2B.tmp").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((folder / "TW7.TMP").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA((folder / "tw3C4D.tmp").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA((folder / "twins.tmp").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA((folder / "tw12.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(FilesIn(folder.Path()), 4u);
}

TEST(IniFile, SeesChangesMadeByAnotherWriter) {
    TempFolder folder;
    const std::string name = folder / "shared.ini";
    gui::TIniFile first(name), second(name);
    EXPECT_EQ(first.ReadInteger("Settings", "MaxZipFactor", -1), -1);
    ASSERT_TRUE(second.WriteInteger("Settings", "MaxZipFactor", 7));
    EXPECT_EQ(first.ReadInteger("Settings", "MaxZipFactor", -1), 7);
    ASSERT_TRUE(first.WriteString("Files", "TempPath", "C:\\T\\"));
    EXPECT_EQ(second.ReadInteger("Settings", "MaxZipFactor", -1), 7);
    EXPECT_EQ(second.ReadString("Files", "TempPath", ""), "C:\\T\\");
}

TEST(IniFile, DamagedBinaryAndHugeFilesGiveDefaults) {
    TempFolder folder;
    const std::string name = folder / "damaged.ini";
    std::string garbage(8 << 20, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 2654435761u) >> 13);
    WriteWholeFile(name, garbage);
    gui::TIniFile ini(name);
    EXPECT_EQ(ini.ReadString("Files", "LastJob", "none"), "none");
    EXPECT_TRUE(ini.ReadBool("Settings", "UseCDR", true));
    EXPECT_TRUE(ini.WriteBool("Settings", "Crashed", true));
    EXPECT_TRUE(ini.ReadBool("Settings", "Crashed", false));
    EXPECT_GT(ReadWholeFile(name).size(), garbage.size()) << "unknown bytes are kept, not dropped";
}

TEST(IniFile, FailedWriteLeavesTheOldFileWhole) {
    TempFolder folder;
    const std::string name = folder / "locked.ini";
    const std::string original = "[Settings]\r\nCrashed=1\r\n";
    WriteWholeFile(name, original);
    // Open without delete sharing: the replacing move cannot succeed.
    HANDLE holder = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    gui::TIniFile ini(name);
    EXPECT_FALSE(ini.WriteBool("Settings", "Crashed", false));
    CloseHandle(holder);
    EXPECT_EQ(ReadWholeFile(name), original);
    EXPECT_EQ(FilesIn(folder.Path()), 1u);
    EXPECT_TRUE(ini.ReadBool("Settings", "Crashed", false)) << "a failed write is not remembered as done";

    gui::TIniFile nowhere(folder / "missing\\folder\\x.ini");
    EXPECT_FALSE(nowhere.WriteString("A", "b", "c"));
    EXPECT_EQ(nowhere.ReadString("A", "b", "default"), "default");
}
