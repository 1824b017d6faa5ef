// The program block hosted in the test process, in a scratch folder of its own.
#include "FakeRegistry.h"
#include "WinTestSupport.h"
#include "core/Switches.h"
#include "gui/IniFile.h"
#include "gui/ScriptedPrompter.h"
#include "ui/Program.h"
#include "zip/ExtractFilesWin.h"
#include "zip/Zipper.h"
#include "zip/ZipperFilesWin.h"

#include <gtest/gtest.h>

using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

namespace {

class ProgramTest : public testing::Test {
  protected:
    void SetUp() override { testsupport::DrainQueue(); }
    void TearDown() override { testsupport::DrainQueue(); }

    core::ProgramEnvironment Environment(std::vector<std::string> params = {}) {
        core::ProgramEnvironment environment;
        environment.programPath = programFolder / "tarnwick.exe";
        environment.windowsFolder = "C:\\windows";
        environment.systemTempPath = systemTemp.Path();
        environment.os = {true, 5, 1};
        environment.params = std::move(params);
        environment.registry = &registry;
        return environment;
    }
    std::string IniText() { return ReadWholeFile(programFolder / "tarnwick.ini"); }

    TempFolder programFolder;
    TempFolder systemTemp;
    // No user folders known: per-user data stays off unless a test fills this.
    testsupport::FakeRegistry registry;
    // Nothing here may ask the user anything: an unscripted question fails the test.
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
};

} // namespace

TEST_F(ProgramTest, FirstStartWritesDefaultsAndCloseClearsTheCrashMarker) {
    {
        ui::TProgram program(Environment());
        ASSERT_TRUE(program.Start());
        gui::TIniFile ini(programFolder / "tarnwick.ini");
        EXPECT_EQ(ini.ReadString("Settings", "Crashed", ""), "1");
        EXPECT_EQ(ini.ReadString("Settings", "UseTempFile", ""), "0");
        EXPECT_EQ(ini.ReadString("Settings", "UseCDR", ""), "1");
        EXPECT_EQ(ini.ReadString("Settings", "UseUserData2kXP", ""), "1");
        EXPECT_EQ(ini.ReadString("Settings", "MaxZipFactor", ""), "7");
        EXPECT_EQ(ini.ReadString("Settings", "LockMenu", ""), "0");
        EXPECT_EQ(ini.ReadString("Settings", "AllowPassWord", ""), "1");
        EXPECT_EQ(ini.ReadString("Files", "LastJob", "?"), "");
        EXPECT_EQ(ini.ReadString("Files", "TempPath", ""), systemTemp.Path());
        EXPECT_EQ(program.Flags().TempPath, systemTemp.Path());
        EXPECT_EQ(gui::Application().Title(), "Tarnwick");
        EXPECT_EQ(gui::Application().HintHidePause, 45000);
        EXPECT_EQ(program.MainForm()->Caption(), "Tarnwick");

        program.MainForm()->Close();
        EXPECT_TRUE(testsupport::DrainQueue()) << "closing the main form ends the loop";
        EXPECT_EQ(ini.ReadString("Settings", "Crashed", ""), "0");
        EXPECT_EQ(ini.ReadString("LastState", "default", ""), "1");
    }
    // A second start in the same process reads what the first wrote.
    ui::TProgram again(Environment());
    ASSERT_TRUE(again.Start());
    EXPECT_FALSE(again.MainForm()->CreationSettings().crashed);
}

TEST_F(ProgramTest, UnreachableTempPathFallsBackToTheSystemTemporaryFolder) {
    WriteWholeFile(programFolder / "tarnwick.ini",
                   "[Files]\r\nTempPath=Q:\\nope\\\r\nLastJob=C:\\Jobs\\last.dat\r\n");
    ui::TProgram program(Environment());
    ASSERT_TRUE(program.Start());
    EXPECT_EQ(program.Flags().TempPath, systemTemp.Path());
    EXPECT_EQ(program.Flags().JobName, "C:\\Jobs\\last.dat");
    gui::TIniFile ini(programFolder / "tarnwick.ini");
    EXPECT_EQ(ini.ReadString("Files", "TempPath", ""), systemTemp.Path());
}

TEST_F(ProgramTest, MissingTempFolderIsCreated) {
    const std::string wanted = programFolder / "work\\deeper\\";
    WriteWholeFile(programFolder / "tarnwick.ini",
                   "[Files]\r\nTempPath=" + wanted.substr(0, wanted.size() - 1) + "\r\n");
    ui::TProgram program(Environment());
    ASSERT_TRUE(program.Start());
    EXPECT_EQ(program.Flags().TempPath, wanted);
    EXPECT_NE(GetFileAttributesA(wanted.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ProgramTest, DamagedSettingsFileGivesDefaults) {
    std::string garbage =
        "[Settings]\r\nCrashed=\x01\x02\r\nRestSpaceOnCD=abc\r\nMaxZipFactor=\r\n[Files\r\n";
    for (int i = 0; i < 100000; ++i)
        garbage += static_cast<char>(i * 31);
    WriteWholeFile(programFolder / "tarnwick.ini", garbage);
    ui::TProgram program(Environment());
    ASSERT_TRUE(program.Start());
    const auto& read = program.MainForm()->CreationSettings();
    EXPECT_FALSE(read.crashed);
    EXPECT_EQ(read.restSpaceOnCD, 0);
    EXPECT_EQ(read.maxZipFactor, 7);
}

TEST_F(ProgramTest, SwitchesSetTheirFlags) {
    ui::TProgram program(Environment({"/h", "/=C:\\Jobs\\Daily.dat", "/a", "/Lx", "/v", "/I"}));
    ASSERT_TRUE(program.Start());
    const auto& flags = program.Flags();
    EXPECT_TRUE(flags.HideWindow);
    EXPECT_TRUE(flags.JobNamedOnStart);
    EXPECT_EQ(flags.JobName, "C:\\Jobs\\Daily.dat");
    EXPECT_TRUE(flags.AutoStarted);
    EXPECT_TRUE(flags.ExtraStartTick) << "/A alone also asks for the extra tick";
    EXPECT_TRUE(flags.DetailLog);
    EXPECT_FALSE(flags.CloseAfterJob);
    EXPECT_TRUE(flags.VerifyWrittenZip);
    gui::TIniFile ini(programFolder / "tarnwick.ini");
    EXPECT_EQ(ini.ReadString("Files", "LastJob", ""), "C:\\Jobs\\Daily.dat");
}

TEST_F(ProgramTest, SecondInstanceCreatesNoFormAndReadsNoSettings) {
    ui::TProgram first(Environment());
    ASSERT_TRUE(first.Start());
    const std::string before = IniText();
    ui::TProgram second(Environment());
    EXPECT_FALSE(second.Start());
    EXPECT_TRUE(second.Flags().SecondInstance);
    EXPECT_EQ(second.MainForm(), nullptr);
    EXPECT_EQ(IniText(), before);
    EXPECT_TRUE(testsupport::DrainQueue()) << "the second instance asks its loop to end";
}

TEST_F(ProgramTest, InstanceMessageWithSixteenClosesThroughTheNormalPath) {
    ui::TProgram program(Environment());
    ASSERT_TRUE(program.Start());
    const UINT message = RegisterWindowMessageA(core::InstanceName(programFolder / "tarnwick.exe").c_str());
    ASSERT_NE(message, 0u);
    EXPECT_EQ(SendMessageA(gui::Application().Handle(), message, 16, 0), 0);
    EXPECT_TRUE(testsupport::DrainQueue());
    gui::TIniFile ini(programFolder / "tarnwick.ini");
    EXPECT_EQ(ini.ReadString("Settings", "Crashed", ""), "0");
}

TEST_F(ProgramTest, SimultaneousStartsBothMissingOpenMutexStillMakeOneInstance) {
    core::ProgramFlags firstFlags, secondFlags;
    const std::string path = programFolder / "tarnwick.exe";
    auto missesEveryMutex = [](const char*) -> HANDLE { return nullptr; };
    core::TInstanceGuard first(gui::Application(), firstFlags, path, missesEveryMutex);
    core::TInstanceGuard second(gui::Application(), secondFlags, path, missesEveryMutex);
    EXPECT_FALSE(firstFlags.SecondInstance);
    EXPECT_TRUE(secondFlags.SecondInstance);
    gui::Application().ShowMainForm = true;
}

TEST_F(ProgramTest, UnregistrableInstanceNameMakesNoMessageOurs) {
    // 256 characters: too long for a registered message, short enough for a mutex.
    std::string path = programFolder.Path();
    path += std::string(256 - path.size() - 4, 'x') + ".exe";
    core::ProgramFlags flags;
    core::TInstanceGuard guard(gui::Application(), flags, path);
    EXPECT_FALSE(flags.SecondInstance);
    EXPECT_EQ(guard.InstanceMessage(), 0u);
    flags.ActivatedByOther = false;
    SendMessageA(gui::Application().Handle(), 0, 0, 0);
    EXPECT_FALSE(flags.ActivatedByOther);
}

TEST_F(ProgramTest, DeviceChangeNotesDiscArrivalAndRemoval) {
    ui::TProgram program(Environment());
    ASSERT_TRUE(program.Start());
    auto& flags = program.Flags();
    flags.MediaChangeTicks = 5;
    SendMessageA(gui::Application().Handle(), WM_DEVICECHANGE, 0x8000, 0);
    EXPECT_TRUE(flags.DiscArrived);
    EXPECT_FALSE(flags.DiscRemoved);
    EXPECT_EQ(flags.MediaChangeTicks, 0);
    SendMessageA(gui::Application().Handle(), WM_DEVICECHANGE, 0x8004, 0);
    EXPECT_FALSE(flags.DiscArrived);
    EXPECT_TRUE(flags.DiscRemoved);
}

TEST_F(ProgramTest, WithPerUserDataTheJobAndTempFolderAreKeptPerUser) {
    TempFolder appData;
    registry.Set(core::RegistryRoot::CurrentUser,
                 "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\", "AppData",
                 appData.Path());
    ui::TProgram program(Environment({"/=C:\\Jobs\\Mine.dat"}));
    ASSERT_TRUE(program.Start());
    EXPECT_EQ(program.MainForm()->DataDir(), appData.Path() + "Tarnwick\\");
    gui::TIniFile userFile(appData / "Tarnwick\\tarnwick.ini");
    gui::TIniFile programFile(programFolder / "tarnwick.ini");
    EXPECT_EQ(userFile.ReadString("Files", "LastJob", ""), "C:\\Jobs\\Mine.dat");
    EXPECT_EQ(userFile.ReadString("Files", "TempPath", ""), systemTemp.Path());
    EXPECT_FALSE(programFile.ValueExists("Files", "LastJob"));
    EXPECT_EQ(programFile.ReadString("Settings", "Crashed", ""), "1");
    EXPECT_EQ(programFile.ReadString("ConfigData", "ApplicationData", ""), appData.Path() + "Tarnwick\\");
}

// A file where the per-user folder should be: an unattended start must not stop at a box.
TEST_F(ProgramTest, UnmakeablePerUserFolderFallsBackToTheProgramFolderWithoutABox) {
    TempFolder appData;
    WriteWholeFile(appData / "Tarnwick", "in the way");
    registry.Set(core::RegistryRoot::CurrentUser,
                 "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\", "AppData",
                 appData.Path());
    ui::TProgram program(Environment({"/H"}));
    ASSERT_TRUE(program.Start());
    ui::TMF& form = *program.MainForm();
    EXPECT_EQ(form.DataDir(), "");
    EXPECT_EQ(form.ProgramLogPath(), programFolder / "tarnwick.log");
    form.UpdateLogExecute();
    form.AddToLog("still logging");
    testsupport::DrainQueue();
    EXPECT_TRUE(prompter.Requests().empty()) << prompter.Requests()[0].Describe();
    const std::string log = ReadWholeFile(programFolder / "tarnwick.log");
    EXPECT_NE(log.find(" > Failed to create dir: " + appData.Path() + "Tarnwick\\\r\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find(" > still logging\r\n"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(appData / "Tarnwick"), "in the way");
}

// Names go into archives in the OEM code page, where peers read "é" as 0x82, and come back in
// the ANSI one: the program sets that up for every archive it writes or reads.
TEST_F(ProgramTest, ArchivesStoreNamesInTheOemCodePageAndShowThemInTheAnsiOne) {
    ui::TProgram program(Environment());
    ASSERT_TRUE(program.Start());
    TempFolder folder;
    WriteWholeFile(folder / "caf\xe9.txt", "accented\r\n");
    zip::TWinExtractFileSystem files;
    zip::TWinZipperFileSystem output([](const std::string&) { return std::string("Fixed"); });
    zip::TZipper zipper(files, output);
    zipper.SetZipName(folder / "names.zip");
    zipper.FilesList.Add(folder / "caf\xe9.txt");
    ASSERT_EQ(zipper.Zip(), 1);
    EXPECT_NE(ReadWholeFile(folder / "names.zip").find("caf\x82.txt"), std::string::npos);
    zip::TUnZipper reader(files);
    reader.SetZipName(folder / "names.zip");
    ASSERT_EQ(reader.Count(), 1);
    EXPECT_EQ(reader.FullName(0), "caf\xe9.txt");
}
