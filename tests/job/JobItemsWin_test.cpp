// A fresh run's selection end to end on the manual clock: special items in any case, the user
// folders, the registry copies made by the tool stand-ins (NTBACKUP; rdisk with the system's
// own EXPAND), tools missing or never done, Windows 9x, and a cancel in every phase.
#include "RegistrySandbox.h"
#include "SelectionWinSupport.h"
#include "job/JobItems.h"

#include <gtest/gtest.h>

namespace {

using namespace testsupport;

constexpr core::OsVersion xp{true, 5, 1}, nt4{true, 4, 0}, win98{false, 4, 10};

class JobItemsWin : public ::testing::Test {
  protected:
    JobItemsWin() : clock(46000.5) {}
    void SetUp() override {
        gui::SetClock(&clock);
        gui::SetShell(&shell);
        windows = root.Path() + "Windows";
        MakeFolder(windows);
        MakeFolder(root.Path() + "Prog");
        MakeFolder(root.Path() + "Temp");
        SetEnvironmentVariableA("TW_STANDIN_WINDIR", windows.c_str());
        run.TempPath = root.Path() + "Temp\\";
        job.Includefolderinformation = false;
        job.Optimizeusedspace = false;
    }
    void TearDown() override {
        SetEnvironmentVariableA("TW_STANDIN_WINDIR", nullptr);
        gui::SetShell(nullptr);
        gui::SetClock(nullptr);
    }

    job::SelectionResult Select(core::OsVersion version, std::function<int64_t()> destinationFreeSpace = {}) {
        job::SystemDirectoryLister lister;
        return Select(version, lister, std::move(destinationFreeSpace));
    }
    job::SelectionResult Select(core::OsVersion version, job::DirectoryLister& lister,
                                std::function<int64_t()> destinationFreeSpace = {}) {
        job::JobItems items(run, host, lister, job,
                            {root.Path() + "Prog\\", windows, version, std::move(destinationFreeSpace)});
        items.SaveJob = [&] { ++saves; };
        items.EndCancelledStart = [&] { ++cancelledEnds; };
        return items.Run();
    }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const job::FileListEntry& entry : run.FilestoZipList)
            lines.push_back(entry.Path.substr(root.Path().size()));
        return lines;
    }

    gui::ManualClock clock;
    WaitingShell shell;
    RecordingHost host{clock};
    job::JobRun run;
    job::JobDefinition job;
    TempFolder root;
    std::string windows;
    int saves = 0, cancelledEnds = 0;
};

TEST_F(JobItemsWin, TokensInAnyCaseUserFoldersAndTheRegistryCopyOf9x) {
    const std::string r = root.Path();
    MakeFolder(r + "Users");
    MakeFolder(r + "Users\\Anna");
    MakeFolder(r + "Users\\Anna\\Docs");
    MakeFile(r + "Users\\Anna\\Docs\\letter.doc", 5);
    MakeFile(r + "Users\\Anna\\Docs\\Long name.doc", 6);
    MakeFile(windows + "\\WIN.INI", 7);
    MakeFile(windows + "\\long system name.dll", 8);
    run.UserFolders = r + "Users\\Anna\\";
    job.MakeCatalog = true;
    job.IncludeList = {"%catalog%", "%User%\\Docs", "%registry%", "%SyStEm%", "%USER%"};
    job.ExcludeList = {"%user%\\Docs\\Long name.doc"};
    testsupport::RegistrySandbox sandbox("JobItems9x");
    const job::SelectionResult result = Select(win98);
    const int64_t copy = static_cast<int64_t>(ReadWholeFile(r + "Prog\\_$zreg_$._$r").size());
    EXPECT_GT(copy, 0) << "the registry's text copy, written for the job";
    EXPECT_FALSE(result.Cancelled);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Prog\\_$zreg_$._$r", "Users\\Anna\\Docs\\letter.doc",
                                                 "Windows\\WIN.INI"}));
    EXPECT_FALSE(run.CatSaved);
    EXPECT_TRUE(run.DoCatalog && run.DoIncludeReg && run.SystemItem && run.Only83);
    EXPECT_EQ(result.BytesSelected, 5 + 7 + copy);
    EXPECT_TRUE(host.Logged("%USER% = " + r + "Users\\Anna\\"));
    EXPECT_TRUE(host.Logged("Bytes to backup: " + std::to_string(5 + 7 + copy)));
    EXPECT_EQ(run.BytesToBak, 0); // from here it counts what is zipped

    // Without user folders: one notice, and the items name nothing.
    run = {};
    run.TempPath = r + "Temp\\";
    host.log.clear();
    host.jobLog.clear();
    job.IncludeList = {"%USER%\\Docs", "%USER%"};
    job.ExcludeList = {};
    Select(xp);
    EXPECT_TRUE(run.FilestoZipList.empty());
    EXPECT_EQ(std::count(host.log.begin(), host.log.end(), "No user folder information found in registry"),
              1);
    EXPECT_TRUE(host.Logged("WARNING item does not exists: Docs"));
}

TEST_F(JobItemsWin, XpSavesHivesThroughNtbackupWithAndWithoutTheSystemState) {
    MakeFile(root.Path() + "Prog\\_$zreg_$._$r", 9); // an old text copy: never listed on NT
    job.IncludeList = {"%REGISTRY%"};
    Select(xp);
    EXPECT_EQ(shell.started, std::vector<std::string>{"NTBACKUP.EXE"});
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].Parameters, "backup systemstate /F \"" + run.TempPath + "syssta.bkf\"");
    EXPECT_EQ(shell.calls[0].ExitCode, 0u);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "Windows\\repair\\RegBack\\default", "Windows\\repair\\RegBack\\sam",
                           "Windows\\repair\\RegBack\\security", "Windows\\repair\\RegBack\\software",
                           "Windows\\repair\\RegBack\\system"}));
    EXPECT_FALSE(FileExists(run.TempPath + "syssta.bkf"));
    EXPECT_FALSE(FileExists(root.Path() + "Prog\\_$zreg_$._$r"));

    run = {};
    run.TempPath = root.Path() + "Temp\\";
    job.IncludeList = {"%REGISTRY%", "%systemstate%"};
    Select(xp);
    EXPECT_EQ(Lines().front(), "Temp\\syssta.bkf");
    EXPECT_EQ(run.FilestoZipList.size(), 6u);
    EXPECT_TRUE(host.boxes.empty());

    // The stand-ins refuse what the real tools would, so a broken command line shows.
    const std::string temp = root.Path() + "Temp\\";
    for (const auto& [program, parameters] : std::vector<std::pair<std::string, std::string>>{
             {"NTBACKUP.EXE", "backup /F \"" + temp + "s.bkf\""},
             {"NTBACKUP.EXE", "systemstate /F \"" + temp + "s.bkf\""},
             {"NTBACKUP.EXE", "backup systemstate /F " + temp + "s.txt"},
             {"NTBACKUP.EXE", "backup systemstate /F \"" + root.Path() + "Gone\\s.bkf\""},
             {"rdisk.exe", ""},
             {"rdisk.exe", "/s- /x"}}) {
        ASSERT_TRUE(shell.Open(program, parameters, ""));
        EXPECT_EQ(shell.calls.back().ExitCode, 2u) << program << " " << parameters;
    }
}

TEST_F(JobItemsWin, XpWaitsForTheFolderTheToolWritesEvenWhenItBeginsLate) {
    // The tool has not begun when the polls start: they find its copies once it writes them.
    struct LateShell : WaitingShell {
        std::string parameters;
        bool StartHidden(const std::string&, const std::string& given, const std::string&) override {
            parameters = given;
            return true;
        }
    } late;
    gui::SetShell(&late);
    host.onStatus = [&](const std::string& text) {
        if (text == "Waiting for registry files to be finished.  -  2")
            late.WaitingShell::StartHidden("NTBACKUP.EXE", late.parameters, "");
    };
    job.IncludeList = {"%REGISTRY%"};
    Select(xp);
    ASSERT_EQ(late.calls.size(), 1u);
    EXPECT_EQ(late.calls[0].ExitCode, 0u);
    EXPECT_EQ(run.FilestoZipList.size(), 5u);
    EXPECT_FALSE(host.Logged("Registry backup files not created, check if NTBackup.exe is installed."));
    EXPECT_LT(host.waitedMs, 2000 + 30000 + 10 * 5000 + 10000) << "not a hundred polls of the wrong folder";
}

TEST_F(JobItemsWin, Nt4ExpandsRdiskCopiesWithTheSystemsExpand) {
    job.IncludeList = {"%REGISTRY%"};
    Select(nt4);
    EXPECT_EQ(shell.started.front(), "rdisk.exe");
    EXPECT_EQ(shell.calls.front().Parameters, "/s-");
    EXPECT_EQ(std::count(shell.started.begin(), shell.started.end(), "EXPAND"), 6);
    EXPECT_EQ(shell.calls.at(1).Parameters,
              windows + "\\REPAIR\\DEFAULT._ " + windows + "\\REPAIR\\REGBACK\\DEFAULT");
    EXPECT_EQ(shell.calls.back().Parameters,
              windows + "\\REPAIR\\NTUSER.DA_ " + windows + "\\REPAIR\\REGBACK\\NTUSER.DAT");
    for (const WaitingShell::Call& call : shell.calls)
        EXPECT_EQ(call.ExitCode, 0u) << call.Program << " " << call.Parameters;
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "Windows\\repair\\regback\\DEFAULT", "Windows\\repair\\regback\\NTUSER.DAT",
                           "Windows\\repair\\regback\\SAM", "Windows\\repair\\regback\\SECURITY",
                           "Windows\\repair\\regback\\SOFTWARE", "Windows\\repair\\regback\\SYSTEM"}));
    const std::string expanded = ReadWholeFile(windows + "\\repair\\regback\\SYSTEM");
    EXPECT_EQ(expanded.size(), 2500u);
    EXPECT_EQ(expanded.rfind("system hive data 0\r\n", 0), 0u);
}

TEST_F(JobItemsWin, MissingToolIsLoggedAndBoxedOnlyForSomeoneAtTheScreen) {
    MakeFile(root.Path() + "Prog\\kept.txt", 3);
    job.IncludeList = {"%REGISTRY%", root.Path() + "Prog\\kept.txt"};
    shell.missing = {"NTBACKUP.EXE", "rdisk.exe"};
    Select(xp);
    EXPECT_TRUE(
        host.Logged("NTBackup failed, check if NTBackup.exe is installed. If this is a XP Home version you "
                    "can find it on the Windows XP CD under \\VALUEADD\\MSFT\\NTBACKUP directory."));
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(Lines(), std::vector<std::string>{"Prog\\kept.txt"});

    host.hidden = false;
    run = {};
    Select(nt4);
    EXPECT_EQ(host.boxes, std::vector<std::string>{"Rdisk failed, check if rdisk.exe is installed."});
}

TEST_F(JobItemsWin, FilesNeverNewerThanTheStartArePolledAHundredTimesThenTheRunGoesOn) {
    run.JobStartTime = clock.Now() + 400; // every file the tool writes looks older
    job.IncludeList = {"%REGISTRY%"};
    const job::SelectionResult result = Select(xp);
    EXPECT_FALSE(result.Cancelled);
    EXPECT_EQ(host.status.substr(0, 13), "Files to back");
    EXPECT_GE(host.waitedMs, 2000 + 30000 + 100 * 5000 + 10000);
    EXPECT_TRUE(host.Logged("Registry backup files not created, check if NTBackup.exe is installed."));
    EXPECT_EQ(run.FilestoZipList.size(), 5u); // the copies as they are

    // NT 4 alike: copies left by an earlier run that the tools did not renew are reported and
    // listed; with no copies at all there is only the report.
    const std::string notCreated = "Registry backup files not created, check if rdisk.exe is installed.";
    shell.missing = {"EXPAND"};
    for (bool earlierCopies : {true, false}) {
        SCOPED_TRACE(earlierCopies);
        run = {};
        run.TempPath = root.Path() + "Temp\\";
        run.JobStartTime = clock.Now() + 400;
        host.log.clear();
        TempFolder::RemoveTree(windows + "\\repair\\");
        if (earlierCopies) {
            MakeFolder(windows + "\\repair");
            MakeFolder(windows + "\\repair\\regback");
            for (const char* hive : {"system", "software", "security", "sam", "default", "ntuser.dat"})
                MakeFile(windows + "\\repair\\regback\\" + hive, 10);
        }
        EXPECT_FALSE(Select(nt4).Cancelled);
        EXPECT_TRUE(host.Logged(notCreated));
        EXPECT_EQ(run.FilestoZipList.size(), earlierCopies ? 6u : 0u);
    }
}

TEST_F(JobItemsWin, DestinationFreeSpaceIsAskedOnlyWhenBigFilesGoFirst) {
    MakeFile(root.Path() + "Prog\\a.bin", 10);
    MakeFile(root.Path() + "Prog\\z.bin", 3'000'000);
    job.IncludeList = {root.Path() + "Prog\\*.*"};
    int asked = 0;
    const auto sixtyMegabytesFree = [&] {
        ++asked;
        return int64_t{60'000'000};
    };
    Select(xp, sixtyMegabytesFree);
    EXPECT_EQ(asked, 0) << "no size ordering, no question to the drive";
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Prog\\a.bin", "Prog\\z.bin"}));

    // A drive with less room than a volume: files above a thirtieth of its room go first.
    run = {};
    run.TempPath = root.Path() + "Temp\\";
    job.Optimizeusedspace = true;
    Select(xp, sixtyMegabytesFree);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Prog\\z.bin", "Prog\\a.bin"}));
}

TEST_F(JobItemsWin, MegabyteTotalCountsInOneUnitAtEveryPoint) {
    // 2,050,000 bytes: 1 in mebibytes, 2 in millions; between queue entries too.
    MakeFolder(root.Path() + "Data");
    MakeFolder(root.Path() + "Data\\Sub");
    MakeFile(root.Path() + "Data\\Sub\\a.bin", 1'025'000);
    MakeFile(root.Path() + "Data\\Sub\\b.bin", 1'025'000);
    host.hidden = false;
    job.IncludeList = {root.Path() + "Data"};
    Select(xp);
    ASSERT_FALSE(host.totals.empty());
    EXPECT_EQ(host.totals.back(), "MBytes total: 1");
    for (const std::string& total : host.totals)
        EXPECT_TRUE(total == "MBytes total: 0" || total == "MBytes total: 1") << total;
}

// A folder with two files, in code page 932, whose name ends in a character with a "\" or a
// "|" for its second byte (C:\Data\<0x95 0x5C>, C:\Data\<0x83 0x7C>).
class DoubleByteFolder : public job::DirectoryLister {
  public:
    explicit DoubleByteFolder(std::string folder) : folder(std::move(folder)) {}
    const std::string folder;
    void List(const std::string& pattern, std::vector<job::DirEntry>& entries) override {
        entries.clear();
        if (pattern == folder + "\\*.*")
            entries = {
                {".", job::EntryDirectory}, {"..", job::EntryDirectory}, {"a.txt", 0, 1}, {"b.doc", 0, 2}};
    }
    bool FileExists(const std::string&) override { return false; }
    bool DirectoryExists(const std::string& path) override { return path == folder || path == folder + "\\"; }
};

TEST_F(JobItemsWin, AFolderWhoseNameEndsInATrailBackslashOrBarGivesItsOwnFilesLessItsExcludes) {
    std::array<bool, 256> leads{};
    for (int c = 0x81; c <= 0xFC; ++c)
        leads[c] = c <= 0x9F || c >= 0xE0;
    job::SetAnsiLeadBytes(leads);
    for (const std::string folder : {"C:\\Data\\\x95\\", "C:\\Data\\\x83|"}) {
        DoubleByteFolder lister(folder);
        for (const std::string& item : {folder, folder + "\\"}) {
            SCOPED_TRACE(item);
            run = {};
            run.TempPath = root.Path() + "Temp\\";
            job.IncludeList = {item};
            job.ExcludeList = {folder + "\\*.doc"};
            Select(xp, lister);
            std::vector<std::string> lines;
            for (const job::FileListEntry& entry : run.FilestoZipList)
                lines.push_back(entry.Path);
            EXPECT_EQ(lines, std::vector<std::string>{folder + "\\a.txt"});
            EXPECT_FALSE(run.ItemMissing);
        }
    }
    // The folder itself excluded, named without a closing "\".
    DoubleByteFolder lister("C:\\Data\\\x95\\");
    run = {};
    run.TempPath = root.Path() + "Temp\\";
    job.IncludeList = job.ExcludeList = {lister.folder};
    Select(xp, lister);
    EXPECT_TRUE(run.FilestoZipList.empty());
    job::SetAnsiLeadBytes({});
}

TEST_F(JobItemsWin, CancelInEveryPhaseEndsAsACancelledStartAndKeepsTheAfterDate) {
    for (int file = 0; file < 200; ++file)
        MakeFile(root.Path() + "Prog\\" + std::to_string(file) + ".dat", 1);
    job.Uselasttime1 = true;
    job.IncludeList = {root.Path() + "Prog\\*.*", "%REGISTRY%"};
    const char* phases[] = {"Files to backup: 98, seaching:", "Waiting for registry files",
                            "Checking for duplicate entries", "Sorting "};
    int round = 0;
    for (const char* phase : phases) {
        SCOPED_TRACE(phase);
        run = {};
        run.TempPath = root.Path() + "Temp\\";
        run.AfterDateTextBeforeStart = "01/02/2026";
        job.AfterDateText = "07/12/2026"; // the start moved it to today
        host.hidden = std::string(phase) != "Sorting ";
        host.cancelOnStatus = phase;
        host.log.clear();
        const job::SelectionResult result = Select(xp);
        EXPECT_TRUE(result.Cancelled);
        EXPECT_FALSE(host.cancelled);
        EXPECT_TRUE(host.Logged("Backup cancelled"));
        EXPECT_FALSE(host.Logged("Bytes to backup: " + std::to_string(result.BytesSelected)));
        EXPECT_EQ(job.AfterDateText, "01/02/2026");
        EXPECT_EQ(host.status, "Job cancelled by user");
        EXPECT_EQ(saves, ++round);
        EXPECT_EQ(cancelledEnds, round);
    }
}

} // namespace
