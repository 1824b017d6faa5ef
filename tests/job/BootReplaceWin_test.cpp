// Replacing files at the next boot, carried out: the batch chain run by cmd brings the files
// and AUTOEXEC.BAT back (with and without one before), WININIT.INI keeps other programs'
// renames, the 990-line limit, the Windows ME folder swap, and staging that fails. One test
// owns the boot drive's batch files, so the cases that write them run in it one after another.
#include "RegistrySandbox.h"
#include "WinTestSupport.h"
#include "job/BootReplaceWin.h"
#include "zip/WineDriveWinSupport.h"

#include <gtest/gtest.h>

#include <map>

using testsupport::FileExists;
using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

namespace {

// Extraction by copying the entry's source file.
class CopyHost : public job::TBootReplaceHost {
  public:
    void Status(const std::string&) override {}
    void Log(const std::string& text) override { log.push_back(text); }
    bool Ask(const std::string& text) override {
        asked.push_back(text);
        return answer;
    }
    void Inform(const std::string& text) override { informed.push_back(text); }
    void ExtractEntry(int index, const std::string& folder) override {
        if (extract) CopyFileA(sources[index].c_str(), (folder + names[index]).c_str(), FALSE);
        staged.push_back(folder + names[index]);
    }
    void ExtractRestoreData(const std::vector<job::TRebootEntry>& entries,
                            const std::string& folder) override {
        for (const job::TRebootEntry& entry : entries)
            CopyFileA(sources[entry.index].c_str(), (folder + names[entry.index]).c_str(), FALSE);
    }
    bool MoveAtNextBoot(const std::string& from, const std::string& to) override {
        return moveFails ? false : TBootReplaceHost::MoveAtNextBoot(from, to);
    }
    bool CancelPending() override {
        return cancelAfter >= 0 && static_cast<int>(staged.size()) >= cancelAfter;
    }
    int Add(const std::string& source, const std::string& name) {
        sources.push_back(source);
        names.push_back(name);
        return static_cast<int>(sources.size()) - 1;
    }
    std::vector<std::string> sources, names, log, asked, informed, staged;
    int cancelAfter = -1;
    bool answer = true, extract = true, moveFails = false;
};

// The boot drive's files this test writes, put back as they were.
class BootFiles {
  public:
    BootFiles() {
        for (const char* name : {"C:\\AutoExec.bat", "C:\\QRestore.bat", "C:\\QClean.bat"})
            if (FileExists(name)) saved_[name] = ReadWholeFile(name);
    }
    ~BootFiles() {
        for (const char* name : {"C:\\AutoExec.bat", "C:\\QRestore.bat", "C:\\QClean.bat", "C:\\Attrib.exe"})
            DeleteFileA(name);
        for (int p = 0; p < 10; ++p)
            DeleteFileA(("C:\\AutoExec." + std::to_string(p)).c_str());
        for (const auto& [name, text] : saved_)
            WriteWholeFile(name, text);
    }

  private:
    std::map<std::string, std::string> saved_;
};

std::string Short(const std::string& path) {
    char buffer[MAX_PATH];
    const DWORD n = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    return n ? std::string(buffer, n) : path;
}

} // namespace

TEST(BootReplaceWin, OldWindowsBatchChainAndRenameListPutEverythingInPlace) {
    BootFiles bootFiles;
    // An 8.3 folder on the boot drive, so the batch path is taken.
    const std::string root = "C:\\TWB" + std::to_string(GetCurrentProcessId() % 10000) + "\\";
    TempFolder::RemoveTree(root);
    ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
    CreateDirectoryA((root + "STAGE").c_str(), nullptr);
    CreateDirectoryA((root + "Long folder name").c_str(), nullptr);
    TempFolder windows, sources;
    WriteWholeFile(windows / "WININIT.INI", "[rename]\r\nNUL=C:\\OLD.TMP\r\n");
    WriteWholeFile(root + "MAIN.DLL", "old main");
    WriteWholeFile(root + "Long folder name\\main library.dll", "old long");
    WriteWholeFile(sources / "main", "new main");
    WriteWholeFile(sources / "long", "new long");
    WriteWholeFile("C:\\AutoExec.bat", "@echo before>" + root + "BEFORE.TXT\r\n");

    CopyHost host;
    std::vector<job::TRebootEntry> list = {
        {root + "MAIN.DLL", host.Add(sources / "main", "MAIN.DLL")},
        {root + "Long folder name\\main library.dll", host.Add(sources / "long", "main library.dll")}};
    job::TBootReplaceSetup setup;
    setup.os = job::TBootOs::Win9x;
    setup.windowsFolder = windows.Path().substr(0, windows.Path().size() - 1);
    setup.tempPath = root + "STAGE\\";
    EXPECT_EQ(job::ReplaceAtNextBoot(host, list, setup), 2);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(host.informed, std::vector<std::string>{
                                 "You must restart your computer to get the rest of the files restored"});
    const std::string wininit = ReadWholeFile(windows / "WININIT.INI");
    EXPECT_EQ(wininit, "[rename]\r\nNUL=C:\\OLD.TMP\r\n" +
                           Short(root + "Long folder name\\main library.dll") + "=" +
                           Short(root + "STAGE\\0\\main library.dll") + "\r\n");
    EXPECT_EQ(ReadWholeFile("C:\\AutoExec.bat"), "C:\\QRestore.bat\r\n");

    // A boot in small: AUTOEXEC runs the chain.
    ASSERT_EQ(testsupport::RunAndWait("cmd.exe /c C:\\AutoExec.bat"), 0);
    EXPECT_EQ(ReadWholeFile(root + "MAIN.DLL"), "new main");
    EXPECT_EQ(ReadWholeFile("C:\\AutoExec.bat"), "@echo before>" + root + "BEFORE.TXT\r\n")
        << "the old one is back";
    EXPECT_TRUE(FileExists(root + "BEFORE.TXT")) << "and ran at the end of the chain";
    EXPECT_FALSE(FileExists("C:\\QRestore.bat"));
    EXPECT_FALSE(FileExists("C:\\AutoExec.0"));

    // Without an AUTOEXEC before, the chain leaves none behind.
    DeleteFileA("C:\\AutoExec.bat");
    list = {{root + "MAIN.DLL", host.Add(sources / "long", "MAIN.DLL")}};
    EXPECT_EQ(job::ReplaceAtNextBoot(host, list, setup), 1);
    ASSERT_EQ(testsupport::RunAndWait("cmd.exe /c C:\\AutoExec.bat"), 0);
    EXPECT_EQ(ReadWholeFile(root + "MAIN.DLL"), "new long");
    EXPECT_FALSE(FileExists("C:\\AutoExec.bat"));
    EXPECT_FALSE(FileExists("C:\\QRestore.bat"));

    // 991 long names: 990 lines and the message.
    DeleteFileA((windows / "WININIT.INI").c_str());
    host.informed.clear();
    for (int i = 0; i < 991; ++i)
        list.push_back({root + "Long folder name\\library number " + std::to_string(i) + ".dll",
                        host.Add(sources / "long", "library number " + std::to_string(i) + ".dll")});
    EXPECT_EQ(job::ReplaceAtNextBoot(host, list, setup), 990);
    const std::string many = ReadWholeFile(windows / "WININIT.INI");
    EXPECT_EQ(std::count(many.begin(), many.end(), '\n'), 991) << "the section line and 990 renames";
    ASSERT_EQ(host.informed.size(), 2u);
    EXPECT_EQ(host.informed[0], "Too many files to restore after reboot rest of files skipped");

    // Windows ME: the system's restore data is swapped for the restored copy under another name.
    TempFolder stage;
    WriteWholeFile(sources / "data", "restore data");
    host.informed.clear();
    list = {{"C:\\_RESTORE\\ARCHIVE\\FS.CAB", host.Add(sources / "data", "FS.CAB")}};
    setup.os = job::TBootOs::WinMe;
    setup.tempPath = stage.Path();
    setup.meHiveRestored = true;
    EXPECT_EQ(job::ReplaceAtNextBoot(host, list, setup), 1);
    const std::string batch = ReadWholeFile("C:\\QRestore.bat");
    const size_t away = batch.find("Rename _RESTORE _REST");
    ASSERT_NE(away, std::string::npos);
    const std::string n = batch.substr(away + 21, batch.find('\r', away) - away - 21);
    const size_t backAt = batch.find("\r\nRename _REST", away + 1);
    ASSERT_NE(backAt, std::string::npos);
    const std::string m = batch.substr(backAt + 14, batch.find(' ', backAt + 14) - backAt - 14);
    EXPECT_NE(n, m) << "the live folder and the restored one need two names";
    EXPECT_EQ(ReadWholeFile("C:\\_REST" + m + "\\FS.CAB"), "restore data");
    ASSERT_EQ(host.informed.size(), 2u);
    EXPECT_NE(host.informed[0].find("will be renamed to: C:\\_REST" + n), std::string::npos);
    EXPECT_EQ(host.informed[1].substr(0, 40), "As you are using Windows ME you must res");
    TempFolder::RemoveTree("C:\\_REST" + m + "\\");
    TempFolder::RemoveTree(root);
}

TEST(BootReplaceWin, NothingStagedMeansNothingScheduledAndAnUnusableTempFolderFallsBack) {
    TempFolder system, sources, target;
    WriteWholeFile(sources / "x", "new");
    WriteWholeFile(target / "x.dll", "old");
    CopyHost host;
    host.extract = false;
    std::vector<job::TRebootEntry> list = {{target / "x.dll", host.Add(sources / "x", "x.dll")}};
    job::TBootReplaceSetup setup;
    setup.windowsFolder = "C:\\windows";
    setup.tempPath = system / "no\\such\\folder\\";
    setup.systemTempPath = system.Path();
    EXPECT_EQ(job::ReplaceAtNextBoot(host, list, setup), 0);
    EXPECT_EQ(setup.tempPath, system.Path()) << "the system's temporary folder instead";
    EXPECT_EQ(host.log, std::vector<std::string>{"Not restored: " + target / "x.dll"});
    EXPECT_TRUE(host.informed.empty()) << "no restart asked for when nothing was scheduled";

    // A hive the user does not confirm twice stays staged but unscheduled.
    host.extract = true;
    host.answer = false;
    host.log.clear();
    list = {{"C:\\windows\\system32\\config\\software", host.Add(sources / "x", "software")}};
    EXPECT_EQ(job::ReplaceAtNextBoot(host, list, setup), 0);
    EXPECT_EQ(host.asked.size(), 1u);
    EXPECT_TRUE(FileExists(system / "0\\software"));
    EXPECT_TRUE(host.informed.empty());

    // A cancel after the first file: the rest are not staged at all.
    host.staged.clear();
    host.log.clear();
    host.extract = false;
    host.cancelAfter = 1;
    list = {{target / "a.dll", host.Add(sources / "x", "a.dll")},
            {target / "b.dll", host.Add(sources / "x", "b.dll")}};
    EXPECT_EQ(job::ReplaceAtNextBoot(host, list, setup), 0);
    EXPECT_EQ(host.staged, std::vector<std::string>{system / "0\\b.dll"})
        << "the last entry first, then no more";
    EXPECT_EQ(host.log, std::vector<std::string>{"Not restored: " + target / "b.dll"});
    EXPECT_TRUE(list.empty());
}

TEST(BootReplaceWin, ATargetOnAnotherDriveIsStagedThereAndAFailedMoveIsNotRestored) {
    wintest::TWineDrive drive(DRIVE_FIXED);
    ASSERT_TRUE(drive.Defined());
    TempFolder stage, sources;
    ASSERT_EQ(stage.Path().substr(0, 2), "C:");
    const std::string target = drive.Root() + "main.dll";
    WriteWholeFile(target, "old");
    WriteWholeFile(sources / "main", "new");
    testsupport::PendingRenames pending;
    CopyHost host;
    std::vector<job::TRebootEntry> list = {{target, host.Add(sources / "main", "main.dll")}};
    job::TBootReplaceSetup setup;
    setup.windowsFolder = "C:\\windows";
    setup.tempPath = stage.Path();
    EXPECT_EQ(job::ReplaceAtNextBoot(host, list, setup), 1);
    const std::string staged = drive.Root() + "TarnwickBoot\\0\\main.dll";
    EXPECT_EQ(ReadWholeFile(staged), "new") << "a delayed move cannot leave its volume";
    EXPECT_EQ(host.log, std::vector<std::string>{"Staged on the target's drive in: " + drive.Root() +
                                                 "TarnwickBoot\\"});
    EXPECT_EQ(pending.Moves(), (std::vector<std::string>{"\\??\\" + staged, "!\\??\\" + target}));
    EXPECT_EQ(setup.tempPath, stage.Path()) << "the temporary folder stays the program's";

    // The system refuses the move: the file is not restored, and no restart is asked for.
    host.log.clear();
    host.informed.clear();
    host.moveFails = true;
    list = {{target, host.Add(sources / "main", "main.dll")}};
    EXPECT_EQ(job::ReplaceAtNextBoot(host, list, setup), 0);
    EXPECT_EQ(host.log.back(), "Not restored: " + target);
    EXPECT_TRUE(host.informed.empty());
    EXPECT_EQ(pending.Moves().size(), 2u) << "nothing more scheduled";
}
