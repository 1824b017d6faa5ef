// Extraction onto real files of the Windows build: entry attributes reach the file through
// the program's attributes interface, and a read-only target is replaced only when asked.

#include "ZipRecordSupport.h"
#include "zip/Crc32.h"
#include "zip/ExtractFilesWin.h"
#include "zip/UnZipper.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {

struct TStoredEntry {
    std::string name, data;
    uint32_t attributes;
};

// Stored entries made by hand: the Windows build has no peer tools to make archives with.
std::string StoredArchive(const std::vector<TStoredEntry>& entries) {
    const uint32_t dosTime = (44u << 25) | (3u << 21) | (4u << 16) | (5u << 11);
    std::string local, central;
    for (const TStoredEntry& entry : entries) {
        const uint32_t crc = zip::Crc32Of(entry.data.data(), entry.data.size());
        const uint32_t offset = static_cast<uint32_t>(local.size());
        ziprec::Add32(local, 0x04034b50);
        ziprec::Add16(local, 20);
        ziprec::Add16(local, 0);
        ziprec::Add16(local, 0);
        ziprec::Add32(local, dosTime);
        ziprec::Add32(local, crc);
        ziprec::Add32(local, static_cast<uint32_t>(entry.data.size()));
        ziprec::Add32(local, static_cast<uint32_t>(entry.data.size()));
        ziprec::Add16(local, static_cast<uint16_t>(entry.name.size()));
        ziprec::Add16(local, 0);
        local += entry.name + entry.data;
        ziprec::Add32(central, 0x02014b50);
        ziprec::Add16(central, 20);
        ziprec::Add16(central, 20);
        ziprec::Add16(central, 0);
        ziprec::Add16(central, 0);
        ziprec::Add32(central, dosTime);
        ziprec::Add32(central, crc);
        ziprec::Add32(central, static_cast<uint32_t>(entry.data.size()));
        ziprec::Add32(central, static_cast<uint32_t>(entry.data.size()));
        ziprec::Add16(central, static_cast<uint16_t>(entry.name.size()));
        for (int i = 0; i < 4; ++i)
            ziprec::Add16(central, 0); // extra, comment, disk, internal attributes
        ziprec::Add32(central, entry.attributes);
        ziprec::Add32(central, offset);
        central += entry.name;
    }
    std::string end;
    ziprec::Add32(end, 0x06054b50);
    ziprec::Add32(end, 0);
    ziprec::Add16(end, static_cast<uint16_t>(entries.size()));
    ziprec::Add16(end, static_cast<uint16_t>(entries.size()));
    ziprec::Add32(end, static_cast<uint32_t>(central.size()));
    ziprec::Add32(end, static_cast<uint32_t>(local.size()));
    ziprec::Add16(end, 0);
    return local + central + end;
}

class ExtractFilesWin : public ::testing::Test {
  protected:
    void SetUp() override {
        ziprec::WriteFile(folder / "a.zip", StoredArchive({{"ro.txt", "read only", 0x21},
                                                           {"hid.txt", "hidden", 0x06},
                                                           {"plain.txt", "plain", 0x20}}));
    }
    std::string Out(const std::string& name) { return folder / "out" + "\\" + name; }

    testsupport::TTempFolder folder;
};

TEST_F(ExtractFilesWin, EntryAttributesReachTheFileThroughTheAttributesInterface) {
    gui::MemoryFileAttributes attributes;
    for (const char* name : {"ro.txt", "hid.txt", "plain.txt"})
        attributes.files[Out(name)] = 0x20;
    zip::TWinExtractFileSystem files(attributes);
    for (bool retain : {false, true}) {
        SCOPED_TRACE(retain);
        zip::TUnZipper z(files);
        z.SetZipName(folder / "a.zip");
        z.SetDestDir(folder / "out");
        z.OverwriteMode = zip::Always;
        z.RetainAttributes = retain;
        z.DoAll = true;
        EXPECT_EQ(z.UnZip(), 3);
        EXPECT_EQ(attributes.files[Out("ro.txt")], retain ? 0x21u : 0x20u);
        EXPECT_EQ(attributes.files[Out("hid.txt")], retain ? 0x06u : 0x20u);
        EXPECT_EQ(attributes.files[Out("plain.txt")], 0x20u);
    }
    // The real file was left alone: only the interface was asked.
    EXPECT_EQ(GetFileAttributesA(Out("ro.txt").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(ziprec::ReadFile(Out("ro.txt")), "read only");
}

// Wine replaces a read-only file where Windows refuses: the rule is the component's own.
TEST_F(ExtractFilesWin, ProtectedTargetIsReplacedOnlyWithReplaceReadOnly) {
    CreateDirectoryA((folder / "out").c_str(), nullptr);
    for (uint32_t protection : {0x01u, 0x02u, 0x04u}) {
        for (bool replace : {false, true}) {
            SCOPED_TRACE(std::to_string(protection) + (replace ? " replace" : " keep"));
            ziprec::WriteFile(Out("plain.txt"), "old");
            gui::MemoryFileAttributes attributes;
            attributes.files[Out("plain.txt")] = 0x20 | protection;
            zip::TWinExtractFileSystem files(attributes);
            std::vector<zip::TSkipReason> skips;
            zip::TUnZipper z(files);
            z.SetZipName(folder / "a.zip");
            z.SetDestDir(folder / "out");
            z.OverwriteMode = zip::Always;
            z.ReplaceReadOnly = replace;
            z.RetainAttributes = false;
            z.FilesList.Add("plain.txt");
            z.OnSkippingFile = [&](zip::TUnZipper&, zip::TSkipReason reason, const std::string&, int, bool&) {
                skips.push_back(reason);
            };
            EXPECT_EQ(z.UnZip(), replace ? 1 : 0);
            EXPECT_EQ(skips, replace ? std::vector<zip::TSkipReason>{}
                                     : std::vector<zip::TSkipReason>{zip::srCantCreateOutput});
            EXPECT_EQ(ziprec::ReadFile(Out("plain.txt")), replace ? "plain" : "old");
            EXPECT_EQ(attributes.files[Out("plain.txt")], replace ? 0x20u : 0x20u | protection);
        }
    }
}

// A new target is written in place: dated (its modification time only) before it is closed,
// and deleted when its entry fails. An existing target goes through a temporary and survives a failed entry.
TEST_F(ExtractFilesWin, FailedEntryLeavesNoNewFileAndKeepsAnExistingOne) {
    std::string archive = StoredArchive({{"good.txt", "good data", 0x20}, {"bad.txt", "bad data", 0x20}});
    archive[archive.find("bad data")] = 'B'; // the CRC no longer matches
    ziprec::WriteFile(folder / "b.zip", archive);
    CreateDirectoryA((folder / "out").c_str(), nullptr);
    for (bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "existing targets" : "new targets");
        if (existing) ziprec::WriteFile(Out("bad.txt"), "old");
        zip::TWinExtractFileSystem files;
        zip::TUnZipper z(files);
        z.SetZipName(folder / "b.zip");
        z.SetDestDir(folder / "out");
        z.OverwriteMode = zip::Always;
        z.DoAll = true;
        EXPECT_EQ(z.UnZip(), 1);
        // The times before the read below moves the access time on.
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExA(Out("good.txt").c_str(), GetFileExInfoStandard, &data));
        EXPECT_EQ(ziprec::ReadFile(Out("good.txt")), "good data");
        FILETIME local;
        WORD date = 0, time = 0;
        FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
        FileTimeToDosDateTime(&local, &date, &time);
        EXPECT_EQ((uint32_t(date) << 16) | time, (44u << 25) | (3u << 21) | (4u << 16) | (5u << 11));
        // Only the modification time is the entry's. (Wine keeps no creation time of its own to
        // show the same for that one.)
        EXPECT_NE(CompareFileTime(&data.ftLastAccessTime, &data.ftLastWriteTime), 0);
        std::vector<std::string> left;
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA(Out("*").c_str(), &found);
        ASSERT_NE(search, INVALID_HANDLE_VALUE);
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) left.push_back(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
        std::sort(left.begin(), left.end());
        const std::vector<std::string> expected =
            existing ? std::vector<std::string>{"bad.txt", "good.txt"} : std::vector<std::string>{"good.txt"};
        EXPECT_EQ(left, expected);
        if (existing) {
            EXPECT_EQ(ziprec::ReadFile(Out("bad.txt")), "old");
        }
    }
}

} // namespace
