// The Restore tab hosted in-process with the whole program (manual clock, scripted prompter):
// archives made by the zip component, opened, sorted, selected, restored under the three
// rules, verified, cancelled, with passwords, a registry copy and files held open.
#include "ProgramSite.h"
#include "RegistrySandbox.h"
#include "WinTestSupport.h"
#include "core/MvRegistry.h"
#include "gui/Action.h"
#include "gui/Button.h"
#include "gui/CheckBox.h"
#include "gui/Clock.h"
#include "gui/DrawGrid.h"
#include "gui/Edit.h"
#include "gui/Label.h"
#include "gui/PageControl.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "gui/Wait.h"
#include "job/RegBak.h"
#include "job/WindowlessHost.h"
#include "ui/MFoRestore.h"
#include "ui/Program.h"
#include "zip/ExtractFilesWin.h"
#include "zip/UnZipper.h"
#include "zip/Zipper.h"
#include "zip/ZipperFilesWin.h"

#include <gtest/gtest.h>

#include <algorithm>

using testsupport::FileExists;
using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

namespace {

std::string FixedDrive(const std::string&) {
    return "Fixed";
}

void SetDate(const std::string& file, WORD year) {
    SYSTEMTIME time{};
    time.wYear = year;
    time.wMonth = 6;
    time.wDay = 1;
    time.wHour = 12;
    FILETIME local, utc;
    SystemTimeToFileTime(&time, &local);
    LocalFileTimeToFileTime(&local, &utc);
    HANDLE handle = CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(handle, nullptr, nullptr, &utc);
    CloseHandle(handle);
}

// Scripted answers, with a hook that runs while a box is up: what the user does next is
// posted then and arrives at the program's next pump.
class TClickingPrompter : public gui::TScriptedPrompter {
  public:
    int ShowMessageBox(const gui::TMessageBoxRequest& request) override {
        if (OnMessage) OnMessage(request);
        return TScriptedPrompter::ShowMessageBox(request);
    }
    std::function<void(const gui::TMessageBoxRequest&)> OnMessage;
};

class RestoreTabTest : public testing::Test, protected testsupport::ProgramSite<> {
  protected:
    void SetUp() override {
        environment.systemTempPath = work / "";
        program = std::make_unique<ui::TProgram>(environment);
        ASSERT_TRUE(program->Start());
        form = program->MainForm();
        tab = form->RestoreTab.get();
        program->Flags().Hidden = false;
        program->Flags().TempPath = staging.Path();
        CreateDirectoryA((work / "src").c_str(), nullptr);
    }
    void TearDown() override {
        program.reset();
        gui::SetShell(nullptr);
        gui::SetClock(nullptr);
        testsupport::DrainQueue();
    }
    // A source file under work\src with the given modification year.
    std::string Source(const std::string& name, const std::string& text, WORD year = 2020) {
        const std::string path = work / ("src\\" + name);
        const size_t slash = path.find_last_of('\\');
        CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
        WriteWholeFile(path, text);
        SetDate(path, year);
        return path;
    }
    std::string Zip(const std::string& name, const std::vector<std::string>& files,
                    const std::string& password = {}) {
        zip::TWinExtractFileSystem in;
        zip::TWinZipperFileSystem out{FixedDrive};
        zip::TZipper z{in, out};
        z.SetStorePaths(true);
        z.SetRelativePaths(true);
        z.SetRootDir(work / "src\\");
        z.Password = password;
        z.SetZipName(work / name);
        for (const std::string& file : files)
            z.FilesList.Add(file);
        EXPECT_EQ(z.Zip(), static_cast<int>(files.size()));
        return work / name;
    }
    void Open(const std::string& archive) {
        prompter.AnswerFile({archive});
        ASSERT_TRUE(tab->OpenZipFile->Execute());
    }
    void Restore(const std::string& dest, gui::TRadioButton* rule) {
        tab->Edit3->SetText(dest);
        tab->Edit3Change();
        for (gui::TRadioButton* button : {tab->RadioButton3, tab->RadioButton4, tab->RadioButton5})
            button->SetChecked(button == rule);
        tab->BtSelectAllClick();
        ASSERT_TRUE(form->StartRestore->Execute());
    }
    std::string Log(int n = 100) {
        std::string base = tab->UnZipper1().ZipName();
        base = base.substr(base.find_last_of('\\') + 1);
        return ReadWholeFile(programFolder /
                             ("Log\\" + base.substr(0, base.size() - 4) + "_" + std::to_string(n) + ".txt"));
    }
    std::vector<std::string> RowNames() {
        std::vector<std::string> names;
        for (int i = 0; i < tab->Grid().RestoreRowMap.Count(); ++i)
            names.push_back(
                tab->UnZipper1().Filename(static_cast<int>(tab->Grid().RestoreRowMap.Objects(i))));
        return names;
    }
    void Click(int row, WPARAM keys) {
        BYTE state[256] = {};
        GetKeyboardState(state);
        state[VK_SHIFT] = (keys & MK_SHIFT) ? 0x80 : 0;
        state[VK_CONTROL] = (keys & MK_CONTROL) ? 0x80 : 0;
        SetKeyboardState(state);
        const RECT cell = tab->DrawGrid1->CellRect(1, row);
        const LPARAM at = MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
        SendMessageA(tab->DrawGrid1->Handle(), WM_LBUTTONDOWN, MK_LBUTTON | keys, at);
        SendMessageA(tab->DrawGrid1->Handle(), WM_LBUTTONUP, keys, at);
        state[VK_SHIFT] = state[VK_CONTROL] = 0;
        SetKeyboardState(state);
    }
    // A key as the system delivers it: posted to the grid with the modifiers down, then pumped.
    void Key(WORD key, gui::TShiftState shift = 0) {
        BYTE state[256] = {};
        state[VK_SHIFT] = (shift & gui::ssShift) ? 0x80 : 0;
        state[VK_CONTROL] = (shift & gui::ssCtrl) ? 0x80 : 0;
        SetKeyboardState(state);
        PostMessageA(tab->DrawGrid1->Handle(), WM_KEYDOWN, key, 1);
        PostMessageA(tab->DrawGrid1->Handle(), WM_KEYUP, key, static_cast<LPARAM>(0xC0000001));
        gui::ProcessMessages();
        state[VK_SHIFT] = state[VK_CONTROL] = 0;
        SetKeyboardState(state);
    }
    // The Cancel button clicked; it takes effect at the program's next pump (which a paced pump
    // does only once its interval has passed).
    void ClickButton2() {
        clock.Advance(60);
        PostMessageA(tab->Button2->Handle(), BM_CLICK, 0, 0);
    }
    std::vector<bool> Rows() {
        std::vector<bool> rows;
        for (int row = 1; row <= tab->Grid().RestoreRowMap.Count(); ++row)
            rows.push_back(tab->Grid().RowSelected(row));
        return rows;
    }

    TempFolder work, staging;
    TClickingPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    std::unique_ptr<ui::TProgram> program;
    ui::TMF* form = nullptr;
    ui::TRestoreTab* tab = nullptr;
};

} // namespace

TEST_F(RestoreTabTest, OpeningSortingAndSelectingWithMouseAndKeys) {
    const std::string archive = Zip("set.zip", {Source("b.txt", std::string(300, 'b')), Source("a.txt", "a"),
                                                Source("sub\\d.txt", std::string(5000, 'd')),
                                                Source("c.bin", std::string(20000, '\x07'))});
    Open(archive);
    EXPECT_EQ(tab->Label15->Caption(), "4 files in " + archive);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"a.txt", "b.txt", "c.bin", "d.txt"}));
    EXPECT_EQ(tab->DrawGrid1->RowCount(), 5);
    EXPECT_TRUE(tab->BtSelectAll->Enabled());
    EXPECT_FALSE(form->StartRestore->Enabled());

    tab->Grid().DrawGrid1DblClick(4);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"a.txt", "b.txt", "d.txt", "c.bin"}));
    tab->Grid().DrawGrid1DblClick(4);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"c.bin", "d.txt", "b.txt", "a.txt"})) << "largest first";
    tab->Grid().DrawGrid1DblClick(1);

    Click(1, 0);
    Click(3, MK_SHIFT);
    EXPECT_EQ(Rows(), (std::vector<bool>{true, true, true, false}));
    Click(2, MK_CONTROL);
    EXPECT_EQ(Rows(), (std::vector<bool>{true, false, true, false}));
    Click(3, MK_CONTROL);
    Click(1, MK_SHIFT); // row 1 turns off, and so does the range from the anchor (row 3)
    EXPECT_EQ(Rows(), (std::vector<bool>{false, false, false, false}));
    Click(4, 0);
    Click(2, MK_SHIFT);
    EXPECT_EQ(Rows(), (std::vector<bool>{false, true, true, true}));
    EXPECT_EQ(tab->Label15->Caption(), "3 of 4 files selected for restore.");
    EXPECT_TRUE(form->StartRestore->Enabled());
    WORD key = 'A';
    tab->Grid().DrawGrid1KeyDown(key, gui::ssCtrl | gui::ssShift);
    EXPECT_EQ(Rows(), (std::vector<bool>{false, false, false, false}));
    EXPECT_EQ(key, 0) << "the grid consumes its keys";
    key = VK_HOME;
    tab->Grid().DrawGrid1KeyDown(key, 0);
    key = VK_SPACE;
    tab->Grid().DrawGrid1KeyDown(key, 0);
    key = VK_DOWN;
    tab->Grid().DrawGrid1KeyDown(key, gui::ssCtrl);
    EXPECT_EQ(Rows(), (std::vector<bool>{true, true, false, false}));
    tab->Invertselection1Click();
    EXPECT_EQ(Rows(), (std::vector<bool>{false, false, true, true}));

    EXPECT_EQ(ui::TRestoreGrid::PathColumnWidth(560 + 18), 140);
    EXPECT_EQ(ui::TRestoreGrid::PathColumnWidth(700), 262);

    // An archive without entries leaves the grid empty and the actions off.
    zip::TWinExtractFileSystem in;
    zip::TWinZipperFileSystem out{FixedDrive};
    const std::string empty = work / "empty.zip";
    WriteWholeFile(empty, std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    Open(empty);
    EXPECT_FALSE(tab->BtSelectAll->Enabled());
    EXPECT_FALSE(form->StartRestore->Enabled());
    EXPECT_EQ(tab->Grid().RestoreRowMap.Count(), 0);

    // Not an archive at all: said in the status line and the log, nothing to act on.
    WriteWholeFile(work / "notes.zip", "just some text, no directory");
    Open(work / "notes.zip");
    EXPECT_EQ(tab->Grid().RestoreRowMap.Count(), 0);
    EXPECT_FALSE(tab->BtSelectAll->Enabled());
    EXPECT_NE(ReadWholeFile(programFolder / "tarnwick.log").find(work / "notes.zip: "), std::string::npos);
    EXPECT_EQ(form->OpenZipName, "") << "the caption names no archive";

    // Entries that grew (a tiny one behind a 12-byte encryption header) sort first by ratio.
    Open(Zip("tiny.zip", {Source("tiny.txt", "t"), Source("long.txt", std::string(5000, 'l'))}, "pw"));
    tab->Grid().DrawGrid1DblClick(5);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"tiny.txt", "long.txt"}));
}

TEST_F(RestoreTabTest, NeverIfOlderAndAlwaysKeepOrReplaceAsTheySayAndLogEachRun) {
    const std::string archive =
        Zip("rules.zip", {Source("old.txt", "from the zip", 2020), Source("new.txt", "from the zip", 2020),
                          Source("fresh.txt", "from the zip", 2020)});
    Open(archive);
    const std::string dest = work / "dest";
    CreateDirectoryA(dest.c_str(), nullptr);
    auto onDisk = [&](const std::string& name, WORD year) {
        WriteWholeFile(dest + "\\" + name, "on disk");
        SetDate(dest + "\\" + name, year);
    };
    onDisk("old.txt", 2010);
    onDisk("new.txt", 2024);

    Restore(dest, tab->RadioButton3);
    EXPECT_EQ(ReadWholeFile(dest + "\\old.txt"), "on disk");
    EXPECT_EQ(ReadWholeFile(dest + "\\fresh.txt"), "from the zip");
    std::string log = Log(100);
    EXPECT_NE(log.find("Restore from: " + archive + " started"), std::string::npos);
    EXPECT_NE(log.find("Files to restore: 3"), std::string::npos);
    EXPECT_NE(log.find("Not restored: " + dest + "\\old.txt"), std::string::npos);
    EXPECT_NE(log.find("1 files restored."), std::string::npos);
    EXPECT_EQ(tab->Label15->Caption(), "1 of 3 files restored.");
    EXPECT_TRUE(tab->Run().RebootList.empty());
    EXPECT_EQ(form->StartRestore->Caption(), "&Start");

    Restore(dest, tab->RadioButton5);
    EXPECT_EQ(ReadWholeFile(dest + "\\old.txt"), "from the zip") << "older on disk: replaced";
    EXPECT_EQ(ReadWholeFile(dest + "\\new.txt"), "on disk") << "newer on disk: kept";
    EXPECT_NE(Log(101).find("Not restored: " + dest + "\\new.txt"), std::string::npos) << "a new log per run";

    SetFileAttributesA((dest + "\\new.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    Restore(dest, tab->RadioButton4);
    EXPECT_EQ(ReadWholeFile(dest + "\\new.txt"), "from the zip") << "always, read-only too";
    EXPECT_NE(Log(102).find("3 files restored."), std::string::npos);
    EXPECT_EQ(prompter.Requests().size(), 1u) << "nothing asked but the open dialog";
    const std::string restoreLog = Log(102);
    tab->TestFile1Click();
    EXPECT_EQ(Log(102), restoreLog) << "a verify writes nothing into the last restore's log";
}

TEST_F(RestoreTabTest, VerifyNamesTheCorruptEntryAndPasswordsAreAskedAgain) {
    const std::string archive = Zip("verify.zip", {Source("good.txt", std::string(3000, 'g')),
                                                   Source("bad.txt", std::string(3000, 'x'))});
    Open(archive);
    tab->TestFile1Click();
    EXPECT_EQ(tab->Label15->Caption(), "Verify finished, no errors found in: " + archive);
    // One byte of bad.txt's data changed.
    std::string bytes = ReadWholeFile(archive);
    const size_t at = bytes.find("bad.txt") + 7 + 4;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
    WriteWholeFile(archive, bytes);
    Open(archive);
    tab->TestFile1Click();
    EXPECT_EQ(tab->Label15->Caption(), "Verify finished, errors found in: " + archive);
    const std::string log = ReadWholeFile(programFolder / "tarnwick.log");
    EXPECT_NE(log.find("bad.txt in " + archive + " may be corrupt."), std::string::npos);
    EXPECT_EQ(log.find("good.txt in " + archive + " may be corrupt."), std::string::npos);
    EXPECT_NE(log.find("Errors found in: " + archive), std::string::npos);
    EXPECT_EQ(form->StartRestore->Caption(), "&Start");

    // Cancelled while it runs: the action is the Cancel button meanwhile.
    zip::TUnZipper& z = tab->UnZipper1();
    auto end = z.OnEndUnZip;
    z.OnEndUnZip = [&](zip::TUnZipper& component, int index, const std::string& name) {
        end(component, index, name);
        form->StartRestore->Execute();
    };
    tab->TestFile1Click();
    z.OnEndUnZip = end;
    EXPECT_EQ(tab->Label15->Caption(), "Verify cancelled");
    EXPECT_EQ(form->StartRestore->Caption(), "&Start");

    const std::string locked = Zip("locked.zip", {Source("secret.txt", "hidden words")}, "right");
    Open(locked);
    EXPECT_EQ(RowNames(), std::vector<std::string>{"secret.txt"});
    auto answer = [this](const std::string& text) {
        prompter.AnswerModal([text](gui::TForm& entry) {
            entry.Find<gui::TEdit>("Edit1").SetText(text);
            return gui::mrOk;
        });
    };
    answer("wrong");
    answer("right");
    const std::string dest = work / "plain";
    Restore(dest, tab->RadioButton4);
    EXPECT_EQ(ReadWholeFile(dest + "\\secret.txt"), "hidden words") << "the second password opened it";
    DeleteFileA((dest + "\\secret.txt").c_str());
    tab->UnZipper1().Password.clear();
    prompter.AnswerModal(gui::mrCancel);
    Restore(dest, tab->RadioButton4);
    EXPECT_FALSE(FileExists(dest + "\\secret.txt"));
    EXPECT_NE(Log(101).find("Not restored: secret.txt"), std::string::npos);
    EXPECT_TRUE(tab->Run().RebootList.empty()) << "a refused password is never queued";
}

TEST_F(RestoreTabTest, CancelMidRestoreStopsAfterTheFileInHand) {
    std::vector<std::string> files;
    for (int i = 0; i < 6; ++i)
        files.push_back(Source("f" + std::to_string(i) + ".txt", std::string(1000, 'a' + i)));
    Open(Zip("many.zip", files));
    zip::TUnZipper& z = tab->UnZipper1();
    auto end = z.OnEndUnZip;
    int ended = 0;
    z.OnEndUnZip = [&](zip::TUnZipper& component, int index, const std::string& name) {
        if (++ended == 2) form->StartRestore->Execute(); // the user's Cancel, pumped during the run
        end(component, index, name);
    };
    Restore(work / "out", tab->RadioButton4);
    EXPECT_EQ(ended, 2);
    EXPECT_FALSE(FileExists(work / "out\\f5.txt"));
    EXPECT_NE(Log().find("Restore from: " + work / "many.zip" + " cancelled"), std::string::npos);
    EXPECT_EQ(form->StartRestore->Caption(), "&Start");
}

TEST_F(RestoreTabTest, RegistryCopyInTheArchiveIsWrittenBackAfterTwoConfirmations) {
    testsupport::RegistrySandbox sandbox("RestoreTab");
    core::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\Restored", true));
    registry.WriteString("Setting", "before");
    registry.CloseKey();
    job::WindowlessHost host;
    ASSERT_TRUE(job::BackupRegistry(host, work / "src\\_$zreg_$._$r", nullptr, false, false));
    Open(Zip("registry.zip", {work / "src\\_$zreg_$._$r"}));
    ASSERT_TRUE(registry.OpenKey("\\Software\\Restored", false));
    registry.WriteString("Setting", "after");
    registry.WriteString("Added", "since");
    registry.CloseKey();

    prompter.AnswerMessage(gui::mrYes).AnswerMessage(gui::mrYes).AnswerMessage(gui::mrYes);
    Restore(work / "elsewhere", tab->RadioButton3);
    EXPECT_TRUE(FileExists(programFolder / "RestRegi.txt")) << "the copy goes to the program folder";
    EXPECT_FALSE(FileExists(work / "elsewhere\\_$zreg_$._$r"));
    ASSERT_TRUE(registry.OpenKey("\\Software\\Restored", false));
    EXPECT_EQ(registry.ReadString("Setting"), "before");
    EXPECT_FALSE(registry.ValueExists("Added"));
    const std::vector<std::string> asked = prompter.MessageTexts();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0], asked[1]) << "the same confirmation twice";
    EXPECT_NE(Log().find("Registry restored"), std::string::npos);

    // A job's copy of all roots goes to the program folder under the name the job zips.
    job::SaveRegistryForJob(form->Host(), programFolder.Path());
    EXPECT_NE(ReadWholeFile(programFolder / "_$zreg_$._$r").find("\"Setting\"=STR:000000014:"),
              std::string::npos);
}

TEST_F(RestoreTabTest, FilesHeldOpenAreStagedAndScheduledForTheNextBoot) {
    const std::string archive =
        Zip("dlls.zip", {Source("one\\main.dll", "new one"), Source("two\\main.dll", "new two")});
    Open(archive);
    const std::string dest = work / "data";
    std::vector<HANDLE> held;
    for (const char* folder : {"\\one", "\\two"}) {
        CreateDirectoryA(dest.c_str(), nullptr);
        CreateDirectoryA((dest + folder).c_str(), nullptr);
        const std::string target = dest + folder + "\\main.dll";
        WriteWholeFile(target, "old");
        held.push_back(CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(held.back(), INVALID_HANDLE_VALUE);
    }
    testsupport::PendingRenames pending;

    prompter.AnswerMessage(gui::mrOk);
    Restore(dest, tab->RadioButton4);
    for (HANDLE handle : held)
        CloseHandle(handle);
    const std::string log = Log();
    EXPECT_NE(log.find("File locked, not restored: " + dest + "\\one\\main.dll"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(staging / "0\\main.dll"), "new two") << "the last entry is staged first";
    EXPECT_EQ(ReadWholeFile(staging / "1\\main.dll"), "new one");
    EXPECT_EQ(
        prompter.MessageTexts(),
        std::vector<std::string>{"You must restart your computer to get the rest of the files restored"});
    EXPECT_TRUE(tab->Run().RebootList.empty());

    const std::vector<std::string> moves = pending.Moves();
    ASSERT_EQ(moves.size(), 4u);
    EXPECT_EQ(moves[0], "\\??\\" + staging / "0\\main.dll");
    EXPECT_EQ(moves[1], "!\\??\\" + dest + "\\two\\main.dll");
}

TEST_F(RestoreTabTest, GridKeysKeepTheFocusRowInViewAndEveryPlainClickToggles) {
    std::vector<std::string> files;
    for (int i = 10; i < 70; ++i)
        files.push_back(Source("n" + std::to_string(i) + ".txt", "x"));
    const std::string target = work / "jobdest";
    CreateDirectoryA(target.c_str(), nullptr);
    form->Session.Job.Destination = target + "|" + work / "second";
    Open(Zip("rows.zip", files));
    EXPECT_EQ(prompter.Requests().back().File.InitialDir, target)
        << "the dialog starts at the job's destination";
    gui::TDrawGrid& grid = *tab->DrawGrid1;
    const int page = grid.VisibleRowCount();
    ASSERT_GT(page, 2);
    ASSERT_LT(page, 40);
    auto inView = [&grid] {
        return grid.Row() >= grid.TopRow() && grid.Row() < grid.TopRow() + grid.VisibleRowCount();
    };

    Key(VK_END);
    EXPECT_EQ(grid.Row(), 60);
    EXPECT_TRUE(inView());
    Key(VK_HOME);
    EXPECT_EQ(grid.TopRow(), 1);
    for (int i = 0; i < page + 2; ++i)
        Key(VK_DOWN);
    EXPECT_EQ(grid.Row(), page + 3);
    EXPECT_TRUE(inView()) << "down past the page";
    Key(VK_NEXT);
    EXPECT_EQ(grid.Row(), 2 * page + 3);
    EXPECT_TRUE(inView());
    EXPECT_EQ(Rows(), std::vector<bool>(60, false)) << "plain moves only move the focus";

    const int row = grid.Row();
    Click(row, 0);
    EXPECT_TRUE(tab->Grid().RowSelected(row)) << "a click on the focused row";
    Click(row, 0);
    EXPECT_FALSE(tab->Grid().RowSelected(row)) << "and again";

    // Ctrl+Up on the first row and Ctrl+Down on the last go nowhere and toggle nothing.
    Key(VK_HOME);
    Key(VK_UP, gui::ssCtrl);
    Key(VK_END);
    Key(VK_DOWN, gui::ssCtrl);
    EXPECT_EQ(Rows(), std::vector<bool>(60, false));

    // Alt+M from the destination field; its release comes as a system key.
    form->PageControl1->SetActivePage(form->TabSheet4);
    EXPECT_EQ(form->TabSheet4->Caption(), "Res&tore");
    tab->Edit3->SetFocus();
    ASSERT_EQ(GetFocus(), tab->Edit3->Handle());
    BYTE state[256] = {};
    state[VK_MENU] = 0x80;
    SetKeyboardState(state);
    PostMessageA(tab->Edit3->Handle(), WM_SYSKEYDOWN, 'M', 0x20000001);
    PostMessageA(tab->Edit3->Handle(), WM_SYSKEYUP, 'M', static_cast<LPARAM>(0xE0000001));
    gui::ProcessMessages();
    state[VK_MENU] = 0;
    SetKeyboardState(state);
    EXPECT_EQ(GetFocus(), grid.Handle());
}

TEST_F(RestoreTabTest, CancelClickedDuringTheRegistryWriteBackOrTheStagingStopsThere) {
    int boxes = 0;
    {
        testsupport::RegistrySandbox sandbox("RestoreCancel");
        core::TRegistry registry;
        ASSERT_TRUE(registry.OpenKey("\\Software\\Restored", true));
        registry.WriteString("Setting", "before");
        registry.CloseKey();
        job::WindowlessHost host;
        ASSERT_TRUE(job::BackupRegistry(host, work / "src\\_$zreg_$._$r", nullptr, false, false));
        Open(Zip("registry.zip", {work / "src\\_$zreg_$._$r"}));
        ASSERT_TRUE(registry.OpenKey("\\Software\\Restored", false));
        registry.WriteString("Added", "since");
        registry.CloseKey();

        prompter.OnMessage = [&](const gui::TMessageBoxRequest&) {
            if (++boxes == 2) ClickButton2();
        };
        prompter.AnswerMessage(gui::mrYes).AnswerMessage(gui::mrYes);
        Restore(work / "elsewhere", tab->RadioButton3);
        EXPECT_NE(ReadWholeFile(programFolder / "tarnwick.log").find("Registry restore cancelled"),
                  std::string::npos);
        EXPECT_EQ(prompter.MessageTexts().size(), 2u) << "no question about values added since";
        ASSERT_TRUE(registry.OpenKey("\\Software\\Restored", false));
        EXPECT_TRUE(registry.ValueExists("Added"));
        registry.CloseKey();
        EXPECT_EQ(form->StartRestore->Caption(), "&Start");
    }

    // Staging, last entry first: the Cancel comes with the hive's second Yes, so the next file
    // is never staged.
    const std::string windows = windowsFolder.Path();
    const std::string archive =
        Zip("hive.zip", {Source("app\\main.dll", "new dll"), Source("config\\software", "new hive")});
    Open(archive);
    std::vector<HANDLE> held;
    for (const char* name : {"system32\\app\\main.dll", "system32\\config\\software"}) {
        const std::string path = windows + name;
        CreateDirectoryA((windows + "system32").c_str(), nullptr);
        CreateDirectoryA((windows + "system32\\app").c_str(), nullptr);
        CreateDirectoryA((windows + "system32\\config").c_str(), nullptr);
        WriteWholeFile(path, "old");
        held.push_back(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(held.back(), INVALID_HANDLE_VALUE);
    }
    testsupport::PendingRenames pending;
    boxes = 0;
    prompter.Clear();
    prompter.AnswerMessage(gui::mrYes).AnswerMessage(gui::mrYes).AnswerMessage(gui::mrOk);
    Restore(windows + "system32", tab->RadioButton4);
    for (HANDLE handle : held)
        CloseHandle(handle);
    EXPECT_EQ(ReadWholeFile(staging / "0\\software"), "new hive");
    EXPECT_FALSE(FileExists(staging / "0\\main.dll")) << "not staged after the Cancel";
    const std::vector<std::string> moves = pending.Moves();
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0], "\\??\\" + staging / "0\\software");
    EXPECT_EQ(prompter.MessageTexts().back(),
              "You must restart your computer to get the rest of the files restored");
    EXPECT_EQ(form->StartRestore->Caption(), "&Start");
}

TEST_F(RestoreTabTest, ArchivesMadeByInfoZipWithAPasswordAndBy7zRestoreAndVerify) {
    // Made by tests/ui/data/make-peer-archives.sh; copied out of the source tree first.
    auto peer = [this](const std::string& name) {
        std::string from = "Z:" + std::string(TW_SOURCE_DIR) + "/tests/ui/data/" + name;
        std::replace(from.begin(), from.end(), '/', '\\');
        EXPECT_TRUE(CopyFileA(from.c_str(), (work / name).c_str(), FALSE)) << from;
        return work / name;
    };
    const std::string sevenZip = peer("sevenzip.zip");
    Open(sevenZip);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"", "readme.txt", "table.csv"})) << "a folder entry too";
    tab->TestFile1Click();
    EXPECT_EQ(tab->Label15->Caption(), "Verify finished, no errors found in: " + sevenZip);
    Restore(work / "from7z", tab->RadioButton4);
    EXPECT_EQ(ReadWholeFile(work / "from7z\\readme.txt"),
              "Letters from the peer, line one.\r\nLine two.\r\n");
    EXPECT_EQ(ReadWholeFile(work / "from7z\\docs\\table.csv").size(), 6536u);

    // Streamed by Info-ZIP: each entry's password check byte comes from its time, not its CRC.
    const std::string infoZip = peer("infozip-password.zip");
    Open(infoZip);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"readme.txt", "table.csv"}));
    for (const char* password : {"not it", "peer pass"})
        prompter.AnswerModal([password](gui::TForm& entry) {
            entry.Find<gui::TEdit>("Edit1").SetText(password);
            return gui::mrOk;
        });
    Restore(work / "frominfozip", tab->RadioButton4);
    EXPECT_EQ(prompter.Pending(), 0u) << "asked again after the wrong one, then no more";
    EXPECT_EQ(ReadWholeFile(work / "frominfozip\\readme.txt"),
              "Letters from the peer, line one.\r\nLine two.\r\n");
    EXPECT_EQ(ReadWholeFile(work / "frominfozip\\docs\\table.csv"),
              ReadWholeFile(work / "from7z\\docs\\table.csv"));
    EXPECT_EQ(tab->Label15->Caption(), "2 of 2 files restored.");
}

// A split archive restores from its parts beside it; a part that is not there is asked for
// as a disc, then through the open dialog (the rest follows from the folder chosen); a box
// answered with Cancel stops the restore.
TEST_F(RestoreTabTest, SplitArchivePartsAreFoundBesideOrAskedForAndACancelStops) {
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) {
        std::string bytes(120000, '\0');
        uint32_t seed = 12345u + static_cast<uint32_t>(i);
        for (char& c : bytes)
            c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
        files.push_back(Source("part" + std::to_string(i) + ".bin", bytes));
    }
    CreateDirectoryA((work / "set").c_str(), nullptr);
    std::vector<std::string> parts;
    {
        zip::TWinExtractFileSystem in;
        zip::TWinZipperFileSystem out{FixedDrive};
        zip::TZipper z{in, out};
        z.SetStorePaths(true);
        z.SetRelativePaths(true);
        z.SetRootDir(work / "src\\");
        z.SetZipName(work / "set\\a.zip");
        z.MultiZipInfo.MultiMode = zip::mmBlocks;
        z.MultiZipInfo.FirstBlockSize = z.MultiZipInfo.BlockSize = 100000;
        for (const std::string& file : files)
            z.FilesList.Add(file);
        ASSERT_EQ(z.Zip(), 3);
        ASSERT_GE(z.VolumesWritten(), 3);
        for (int part = 1; part < z.VolumesWritten(); ++part)
            parts.push_back("a.z0" + std::to_string(part));
        parts.push_back("a.zip");
        ASSERT_TRUE(MoveFileA(z.ZipName().c_str(), (work / "set\\a.zip").c_str()));
    }
    auto restoredWhole = [&](const std::string& dest) {
        for (int i = 0; i < 3; ++i) {
            const std::string name = "part" + std::to_string(i) + ".bin";
            EXPECT_EQ(ReadWholeFile(dest + "\\" + name), ReadWholeFile(files[i])) << dest << name;
        }
    };

    Open(work / "set\\a.zip");
    prompter.Clear();
    Restore(work / "beside", tab->RadioButton4);
    restoredWhole(work / "beside");
    EXPECT_TRUE(prompter.Requests().empty());

    CreateDirectoryA((work / "other").c_str(), nullptr);
    for (const std::string& part : parts)
        ASSERT_TRUE(CopyFileA((work / "set\\" + part).c_str(), (work / "other\\" + part).c_str(), FALSE));
    ASSERT_TRUE(DeleteFileA((work / "set\\a.z01").c_str()));
    Open(work / "set\\a.zip");
    prompter.Clear();
    prompter.AnswerMessage(gui::mrOk).AnswerFile({work / "other\\a.z01"});
    Restore(work / "chosen", tab->RadioButton4);
    restoredWhole(work / "chosen");
    const std::vector<gui::TPromptRecord> asked = prompter.Requests();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].Message.Text, "Insert the disc with: " + work / "set\\a.z01");
    EXPECT_EQ(asked[0].Message.Buttons, gui::TMsgButtons::OKCancel);
    EXPECT_EQ(asked[0].Message.Icon, gui::TMsgIcon::Stop);
    EXPECT_EQ(asked[1].File.Filter, "zip files|*.zip;*.z01");
    EXPECT_EQ(asked[1].File.FileName, work / "set\\a.*");
    EXPECT_EQ(asked[1].File.DefaultExt, "zip");

    Open(work / "set\\a.zip");
    prompter.Clear();
    prompter.AnswerMessage(gui::mrCancel);
    Restore(work / "cancelled", tab->RadioButton4);
    EXPECT_EQ(prompter.Requests().size(), 1u) << "no dialog after Cancel";
    EXPECT_FALSE(FileExists(work / "cancelled\\part0.bin"));
    EXPECT_NE(ReadWholeFile(programFolder / "tarnwick.log").find(" stopped: User canceled loading new disk."),
              std::string::npos);
    EXPECT_EQ(form->StartRestore->Caption(), "&Start");
    EXPECT_FALSE(tab->Run().RestoreCancelRequested);
}
