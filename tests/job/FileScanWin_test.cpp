// The scan over real trees on disk: what is listed once, dates at the edge, archive bits over
// two runs with the archive-bit list, and names the ANSI code page cannot hold.
#include "SelectionWinSupport.h"
#include "job/FileScan.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace testsupport;

class FileScanWin : public ::testing::Test {
  protected:
    void SetUp() override { gui::SetClock(&clock); }
    void TearDown() override { gui::SetClock(nullptr); }

    // Scans the items as the job start does, then removes duplicates and logs the counts.
    std::vector<std::string> Select(const std::vector<std::string>& items, job::DirectoryLister& lister) {
        job::FileScan scan(run, host, lister);
        for (const std::string& item : items) {
            scan.ScanItem(item);
            scan.DrainQueue();
        }
        scan.RemoveDuplicates();
        scan.LogSelectionCounts();
        std::vector<std::string> lines;
        for (const job::FileListEntry& entry : run.FilestoZipList)
            lines.push_back(entry.Path.substr(root.Path().size()));
        return lines;
    }
    std::vector<std::string> Select(const std::vector<std::string>& items) {
        job::SystemDirectoryLister lister;
        return Select(items, lister);
    }

    gui::ManualClock clock;
    RecordingHost host{clock};
    job::JobRun run;
    TempFolder root;
};

TEST_F(FileScanWin, EachFolderAndFileOnceMasksExcludesAndMissingItems) {
    const std::string r = root.Path();
    MakeFolder(r + "Data");
    MakeFolder(r + "Data\\Sub");
    MakeFolder(r + "Data\\Sub\\Deep");
    MakeFolder(r + "Data\\Temp");
    MakeFile(r + "Data\\a.txt", 10);
    MakeFile(r + "Data\\README", 20);
    MakeFile(r + "Data\\b.doc", 30);
    MakeFile(r + "Data\\Sub\\c.txt", 40);
    MakeFile(r + "Data\\Sub\\x.tmp", 50);
    MakeFile(r + "Data\\Sub\\Deep\\d.doc", 60);
    MakeFile(r + "Data\\Temp\\t.txt", 70);

    // Reached twice, once in other letters: still once each.
    EXPECT_EQ(Select({r + "Data\\*.*", r + "DATA\\SUB\\*.*"}),
              (std::vector<std::string>{"Data\\", "Data\\a.txt", "Data\\b.doc", "Data\\README", "Data\\Sub\\",
                                        "Data\\Sub\\c.txt", "Data\\Sub\\Deep\\", "Data\\Sub\\Deep\\d.doc",
                                        "Data\\Sub\\x.tmp", "Data\\Temp\\", "Data\\Temp\\t.txt"}));
    EXPECT_TRUE(host.Logged("Files total: 10"));
    EXPECT_TRUE(host.Logged("Duplicate entries removed: 3"));
    EXPECT_TRUE(host.Logged("Files to backup: 7 Folder infos to backup: 4"));
    EXPECT_EQ(run.FilesToBak, 7);
    EXPECT_EQ(run.DirToBak, 4);
    EXPECT_EQ(run.BytesToBak, 280);

    // Masks, excludes, folder information off, an exact file and a missing one.
    run = {};
    host.log.clear();
    run.Options.IncludeFolderInformation = false;
    run.ExcludeList = {r + "Data\\Temp\\", "*.tmp"};
    run.Excludes = job::ExcludeRules(run.ExcludeList);
    EXPECT_EQ(Select({r + "Data\\|*.txt|*.doc|", r + "Data\\README", r + "Data\\gone.txt"}),
              (std::vector<std::string>{"Data\\a.txt", "Data\\b.doc", "Data\\README", "Data\\Sub\\c.txt",
                                        "Data\\Sub\\Deep\\d.doc"}));
    EXPECT_TRUE(host.Logged("Files total: 7")); // the excluded t.txt does not count
    EXPECT_TRUE(host.Logged("Files to backup: 5 Folder infos to backup: 0"));
    EXPECT_TRUE(host.Logged("WARNING item does not exists: " + r + "Data\\gone.txt"));
    EXPECT_TRUE(run.ItemMissing);
}

TEST_F(FileScanWin, AfterDateTakesTheDateItselfNotTwoSecondsBeforeAndDatesFrom2044) {
    const std::string r = root.Path();
    const uint32_t after = zip::PackDosDateTime(2026, 3, 1, 12, 0, 10);
    MakeFile(r + "at.txt", 1, after);
    MakeFile(r + "before.txt", 1, after - 1); // the next lower DOS time: two seconds earlier
    MakeFile(r + "later.txt", 1, after + 1);
    MakeFile(r + "in2050.txt", 1, zip::PackDosDateTime(2050, 6, 1, 8, 0, 0));
    run.Options.UseAfterDate = true;
    run.Options.AfterDate = after;
    run.Options.IncludeFolderInformation = false;
    EXPECT_EQ(Select({r + "*.*"}), (std::vector<std::string>{"at.txt", "in2050.txt", "later.txt"}));
}

TEST_F(FileScanWin, ChangedOnlyOverTwoRunsListsEachArchivedFileOnceInTheArchiveBitList) {
    const std::string r = root.Path();
    ArchiveBitLister lister;
    for (int folder = 0; folder < 5; ++folder) {
        const std::string sub = r + "F" + std::to_string(folder) + "\\";
        MakeFolder(sub);
        for (int file = 0; file < 500; ++file) {
            MakeFile(sub + std::to_string(file) + ".dat", 1);
            lister.bits.files[sub + std::to_string(file) + ".dat"] = gui::AttributeArchive;
        }
    }
    MakeFile(r + "plain.dat", 1);
    lister.bits.files[r + "plain.dat"] = 0;
    TempFolder program; // the archive-bit list lies beside the program, outside the tree
    host.attributeList = program / "Att.Lst";
    run.Options.ChangedOnly = true;
    run.Options.ClearArchiveBit = true;
    run.Options.IncludeFolderInformation = false;
    Select({r + "*.*"}, lister);
    host.FlushAttributeList();
    EXPECT_EQ(run.FilesToBak, 2500);
    EXPECT_TRUE(host.Logged("Files total: 2501")); // plain.dat counts, though not taken
    std::vector<std::string> listed;
    std::string text = ReadWholeFile(host.attributeList);
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        listed.push_back(text.substr(start, end - start));
    EXPECT_EQ(listed.size(), 2500u);
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()).size(), 2500u);

    // The runner cleared the bits; one file changed since.
    for (auto& [path, bits] : lister.bits.files)
        bits &= ~gui::AttributeArchive;
    lister.bits.files[r + "F3\\7.dat"] = gui::AttributeArchive;
    run = {};
    run.Options.ChangedOnly = true;
    run.Options.IncludeFolderInformation = false;
    EXPECT_EQ(Select({r + "*.*"}, lister), std::vector<std::string>{"F3\\7.dat"});
}

TEST_F(FileScanWin, NamesTheCodePageCannotHoldAreSkippedNeverTakenForAnother) {
    const std::string r = root.Path();
    MakeFile(Wide(r) + L"a.txt", 1);
    MakeFile(Wide(r) + L"\x0101.txt", 2); // a with macron: best fit would make it a.txt
    CreateDirectoryW((Wide(r) + L"\x0436").c_str(), nullptr);
    MakeFile(Wide(r) + L"\x0436\\inside.txt", 3);
    EXPECT_EQ(Select({r + "*.*"}), (std::vector<std::string>{"", "a.txt"}));
    EXPECT_TRUE(host.Logged("File skipped, name not in the ANSI code page: " + r + "?.txt"));
    EXPECT_EQ(std::count(host.log.begin(), host.log.end(),
                         "Folder skipped, name not in the ANSI code page: " + r + "?\\"),
              1);
    EXPECT_TRUE(host.Logged("Files total: 2"));
    EXPECT_TRUE(run.FilesSkipped);
}

} // namespace
