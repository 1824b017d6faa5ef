// The resume state on disk: every key and list survives a save and load, damaged or cut files
// load as defaults and partial lists, and the archive-bit list is played back.

#include "gui/FileText.h"
#include "job/RunStateWin.h"
#include "job/WindowlessHost.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace job;

namespace {

std::string TempBase(const char* name) {
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string base =
        std::string(folder) + "tw_runstate_" + name + std::to_string(GetCurrentProcessId());
    for (const char* extension : {".run", ".ftz", ".tfl", ".bfl", ".cfl", ".vfl", ".ffl", ".dfl", ".run.new"})
        DeleteFileA((base + extension).c_str());
    return base;
}

std::string Read(const std::string& path) {
    std::string text;
    gui::ReadWholeFile(path, text);
    return text;
}

RunStateValues SomeValues() {
    RunStateValues v;
    v.JobName = "Caf\xe9 Daily.dat";
    v.ZipDate = "20261207";
    v.JobLogName = "C:\\Tarnwick\\Log\\Daily_100.txt";
    v.CatalogName = "C:\\Tarnwick\\Catalogs\\Daily 202612070400.csv";
    v.CatName = "C:\\Tarnwick\\Catalogs\\Daily.cat|C:\\Tarnwick\\Catalogs\\Week.cat";
    v.EditCatNameText = "Daily.cat";
    v.FileCount = 12;
    v.FilesCopyed = 11;
    v.ZipNameNr = 3;
    v.ProgressBar1 = 40;
    v.ProgressBar3 = 7;
    v.FilesToBak = 30;
    v.DirToBak = 4;
    v.FilestoZipListNr = 9;
    v.iZip = 1;
    v.Only83 = true;
    v.DoIncludeReg = false;
    v.DoIncludeSysState = true;
    v.DoCatalog = true;
    v.CatSaved = false;
    v.VolumePath = "E:\\Backup\\20261207003.zip";
    v.AfterDateTextBeforeStart = "01/12/2026 04:00:00";
    return v;
}

} // namespace

TEST(ResumeState, KeysInOrderAndSevenListsWithAnsiPathsRoundTrip) {
    const std::string base = TempBase("round");
    RunStateLists lists;
    for (size_t i = 0; i < RunStateListExtensions.size(); ++i)
        RunStateList(lists, i) = {"C:\\Donn\xe9"
                                  "es\\R\xe9sum\xe9 " +
                                      std::to_string(i) + ".doc",
                                  "C:\\\xc6\xd8\xc5\\", ""};
    lists.Dfl = {"46363,1666666667"};
    ASSERT_TRUE(SaveRunState(base, lists, SomeValues()));

    const std::string expectedKeys[] = {"JobName",      "ZipDate",
                                        "JobLogName",   "CatalogName",
                                        "CatName",      "EditCatNameText",
                                        "FileCount",    "FilesCopyed",
                                        "ZipNameNr",    "ProgressBar1",
                                        "ProgressBar3", "FilesToBak",
                                        "DirToBak",     "FilestoZipListNr",
                                        "iZip",         "Only83",
                                        "DoIncludeReg", "DoIncludeSysState",
                                        "DoCatalog",    "CatSaved",
                                        "VolumePath",   "AfterDateTextBeforeStart"};
    const std::string run = Read(base + ".run");
    size_t at = run.find("[Running]\r\n");
    ASSERT_EQ(at, 0u);
    for (const std::string& key : expectedKeys) {
        const size_t next = run.find("\r\n" + key + "=", at);
        ASSERT_NE(next, std::string::npos) << key << " in order in\n" << run;
        at = next + 1;
    }
    EXPECT_NE(run.find("\r\nOnly83=1\r\n"), std::string::npos);
    EXPECT_EQ(Read(base + ".ftz").substr(0, 10), "C:\\Donn\xe9"
                                                 "es");

    RunStateLists loaded;
    RunStateValues values;
    ASSERT_TRUE(LoadRunState(base, loaded, values));
    EXPECT_EQ(values, SomeValues());
    EXPECT_EQ(loaded, lists);
    EXPECT_EQ(ResumeJobName(base), "Caf\xe9 Daily.dat");
    RunStateValues keysOnly;
    EXPECT_TRUE(LoadRunValues(base, keysOnly));
    EXPECT_EQ(keysOnly, SomeValues());

    DiscardRunState(base);
    EXPECT_FALSE(LoadRunValues(base, keysOnly));
    EXPECT_EQ(ResumeJobName(base), "");
    EXPECT_FALSE(LoadRunState(base, loaded, values)) << "nothing left to resume";
    EXPECT_EQ(GetFileAttributesA((base + ".ftz").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA((base + ".bfl").c_str()), INVALID_FILE_ATTRIBUTES) << "the disc lists stay";
}

// A run whose start did not move the "After:" text writes no text to put back, and reads none;
// an empty text that was moved is one to put back.
TEST(ResumeState, TheAfterTextToPutBackIsWrittenOnlyWhenTheStartMovedIt) {
    const std::string base = TempBase("after");
    RunStateValues values = SomeValues();
    values.AfterDateTextBeforeStart.reset();
    ASSERT_TRUE(SaveRunState(base, {}, values));
    EXPECT_EQ(Read(base + ".run").find("AfterDateTextBeforeStart"), std::string::npos);
    RunStateValues loaded;
    ASSERT_TRUE(LoadRunValues(base, loaded));
    EXPECT_FALSE(loaded.AfterDateTextBeforeStart.has_value());
    values.AfterDateTextBeforeStart = "";
    ASSERT_TRUE(SaveRunState(base, {}, values));
    ASSERT_TRUE(LoadRunValues(base, loaded));
    EXPECT_EQ(loaded.AfterDateTextBeforeStart, std::optional<std::string>(""));
    DiscardRunState(base);
}

// A save that fails on any of its files leaves no .run behind: the older one names lists and a
// volume the run has gone past, and a resume must not trust it.
TEST(ResumeState, AFailedSaveDeletesTheOlderRunFile) {
    for (const char* blocked : {".tfl", ".run"}) {
        SCOPED_TRACE(blocked);
        const std::string base = TempBase("failed");
        ASSERT_TRUE(SaveRunState(base, {}, SomeValues()));
        // A folder in the way of the file's replacement.
        const std::string in = base + blocked;
        DeleteFileA(in.c_str());
        ASSERT_TRUE(CreateDirectoryA(in.c_str(), nullptr));
        RunStateValues later = SomeValues();
        later.ZipNameNr = 4;
        EXPECT_FALSE(SaveRunState(base, {}, later));
        RunStateValues values;
        EXPECT_FALSE(LoadRunValues(base, values)) << "nothing left to resume";
        EXPECT_EQ(ResumeJobName(base), "");
        RemoveDirectoryA(in.c_str());
        ASSERT_TRUE(SaveRunState(base, {}, later)) << "the next save stands again";
        ASSERT_TRUE(LoadRunValues(base, values));
        EXPECT_EQ(values.ZipNameNr, 4);
        DiscardRunState(base);
    }
}

TEST(ResumeState, DamagedRunFileCutListAndStaleWorkFileLoad) {
    const std::string base = TempBase("damaged");
    ASSERT_TRUE(gui::ReplaceFileContents(base + ".run",
                                         std::string("\x01\xff garbage\r\n[Running]\r\nJobName=Daily.dat\r\n"
                                                     "FileCount=abc\r\niZip=-\r\nCatSaved=yes\r\n"
                                                     "FilestoZipListNr=99999999999\r\n") +
                                             std::string("\0\0 [broken", 10)));
    ASSERT_TRUE(gui::ReplaceFileContents(base + ".ftz", "C:\\a.txt\r\nC:\\b.txt\r\nC:\\Da"));
    ASSERT_TRUE(gui::ReplaceFileContents(base + ".run.new", "[Running]\r\nJobName=Stale.dat\r\n"));

    RunStateLists lists;
    lists.Tfl = {"left over in memory"};
    RunStateValues values;
    values.FileCount = 5;
    values.iZip = 2;
    values.FilestoZipListNr = 7;
    values.CatSaved = true;
    ASSERT_TRUE(LoadRunState(base, lists, values));
    EXPECT_EQ(values.JobName, "Daily.dat");
    EXPECT_EQ(values.FileCount, 5) << "no number: the value in memory stays";
    EXPECT_EQ(values.iZip, 2);
    EXPECT_EQ(values.FilestoZipListNr, 7) << "out of range";
    EXPECT_TRUE(values.CatSaved);
    EXPECT_EQ(lists.Ftz, (std::vector<std::string>{"C:\\a.txt", "C:\\b.txt", "C:\\Da"}));
    EXPECT_TRUE(lists.Tfl.empty()) << "a missing list file loads empty";

    // The next save replaces everything, whatever was left beside it.
    ASSERT_TRUE(SaveRunState(base, lists, values));
    EXPECT_EQ(ResumeJobName(base), "Daily.dat");
    DiscardRunState(base);
}

TEST(ResumeState, ArchiveBitsComeBackForListedFilesAndVanishedPathsAreSkipped) {
    const std::string list = TempBase("att") + ".lst";
    gui::MemoryFileAttributes attributes;
    attributes.files["C:\\a.txt"] = gui::AttributeReadOnly | gui::AttributeHidden;
    attributes.files["C:\\b\xe9.txt"] = 0;
    ASSERT_TRUE(gui::ReplaceFileContents(list, "C:\\a.txt\r\nC:\\gone.txt\r\nC:\\b\xe9.txt\r\n"));
    std::vector<int> progress;
    EXPECT_EQ(RestoreArchiveBits(list, attributes, [&](int n) { progress.push_back(n); }), 3);
    EXPECT_EQ(attributes.files["C:\\a.txt"],
              gui::AttributeReadOnly | gui::AttributeHidden | gui::AttributeArchive);
    EXPECT_EQ(attributes.files["C:\\b\xe9.txt"], gui::AttributeArchive);
    EXPECT_EQ(attributes.files.count("C:\\gone.txt"), 0u);
    EXPECT_EQ(progress, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(GetFileAttributesA(list.c_str()), INVALID_FILE_ATTRIBUTES) << "the list is deleted";

    // A list another program holds stays for a later try, and the log says why.
    ASSERT_TRUE(gui::ReplaceFileContents(list, "C:\\a.txt\r\n"));
    attributes.files["C:\\a.txt"] = 0;
    const HANDLE holder = CreateFileA(list.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    std::vector<std::string> log;
    EXPECT_EQ(
        RestoreArchiveBits(list, attributes, nullptr, [&](const std::string& line) { log.push_back(line); }),
        0);
    CloseHandle(holder);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Archive bits not restored, the list cannot be read (", 0), 0u) << log[0];
    EXPECT_NE(GetFileAttributesA(list.c_str()), INVALID_FILE_ATTRIBUTES) << "the list is kept";
    EXPECT_EQ(attributes.files["C:\\a.txt"], 0u);
    EXPECT_EQ(RestoreArchiveBits(list, attributes, nullptr), 1) << "and read at the next try";
}

TEST(ResumeState, ACancelledJobsRestoreCountsOnTheStatusLineAndLogsTheEndOnlyWhenTheListWasRead) {
    struct StatusHost : WindowlessHost {
        std::vector<std::string> status, log;
        int pumps = 0;
        void SetStatusText(const std::string& text) override { status.push_back(text); }
        void AddToLog(const std::string& text) override { log.push_back(text); }
        void PumpIfDue() override { ++pumps; }
    };
    const std::string list = TempBase("attjob") + ".lst";
    gui::MemoryFileAttributes attributes;
    attributes.files["C:\\a.txt"] = gui::AttributeSystem;
    attributes.files["C:\\b.txt"] = 0;
    ASSERT_TRUE(gui::ReplaceFileContents(list, "C:\\a.txt\r\nC:\\b.txt\r\n"));
    StatusHost host;
    EXPECT_EQ(RestoreArchiveBits(list, attributes, host), 2);
    EXPECT_EQ(host.status, (std::vector<std::string>{"Wait! restoring archivebits",
                                                     "Wait! restoring archivebits in file 1",
                                                     "Wait! restoring archivebits in file 2", ""}));
    EXPECT_EQ(host.pumps, 2);
    EXPECT_EQ(host.log, (std::vector<std::string>{"Archivebits reset"}));
    EXPECT_EQ(attributes.files["C:\\a.txt"], gui::AttributeSystem | gui::AttributeArchive);

    // Held by another program: kept, the reason logged, no claim that the bits are back.
    ASSERT_TRUE(gui::ReplaceFileContents(list, "C:\\b.txt\r\n"));
    const HANDLE holder = CreateFileA(list.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    StatusHost held;
    EXPECT_EQ(RestoreArchiveBits(list, attributes, held), 0);
    CloseHandle(holder);
    ASSERT_EQ(held.log.size(), 1u);
    EXPECT_EQ(held.log[0].rfind("Archive bits not restored", 0), 0u) << held.log[0];
    EXPECT_EQ(held.status.back(), "");
    DeleteFileA(list.c_str());

    // Paths whose bit cannot be set are named with the error, and the end line says how many
    // are left; a path that is gone is no failure.
    struct RefusingAttributes : gui::FileAttributes {
        gui::MemoryFileAttributes files;
        uint32_t Get(const std::string& path) override { return files.Get(path); }
        uint32_t Set(const std::string& path, uint32_t attributes) override {
            return path.starts_with("C:\\locked") ? ERROR_ACCESS_DENIED : files.Set(path, attributes);
        }
    } refusing;
    std::string text;
    for (int i = 0; i < 25; ++i) {
        refusing.files.files["C:\\locked" + std::to_string(i) + ".txt"] = 0;
        text += "C:\\locked" + std::to_string(i) + ".txt\r\n";
    }
    refusing.files.files["C:\\free.txt"] = 0;
    ASSERT_TRUE(gui::ReplaceFileContents(list, text + "C:\\free.txt\r\nC:\\gone.txt\r\n"));
    StatusHost partly;
    EXPECT_EQ(RestoreArchiveBits(list, refusing, partly), 27);
    EXPECT_EQ(refusing.files.files["C:\\free.txt"], gui::AttributeArchive);
    ASSERT_EQ(partly.log.size(), 22u);
    EXPECT_EQ(partly.log[0], "Archive bit not set again (system error 5): C:\\locked0.txt");
    EXPECT_EQ(partly.log[19], "Archive bit not set again (system error 5): C:\\locked19.txt");
    EXPECT_EQ(partly.log[20], "Archive bit not set again for 5 more files");
    EXPECT_EQ(partly.log[21], "Archivebits reset, except for 25 files whose archive bit could not be set");
    EXPECT_EQ(GetFileAttributesA(list.c_str()), INVALID_FILE_ATTRIBUTES);
}
