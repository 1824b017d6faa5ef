// The Catalog tab hosted in-process with the whole program (manual clock, scripted prompter):
// zips made by the zip component added, one removed in other letter case, duplicates removed
// with the ".bak" left; the grid painted into a memory bitmap, keys, Ctrl and Shift selection,
// a header click, Go to; and the job's reading of "own.cat|other.cat" and its append per volume.
#include "ProgramSite.h"
#include "WinTestSupport.h"
#include "gui/Action.h"
#include "gui/Application.h"
#include "gui/Button.h"
#include "gui/CheckBox.h"
#include "gui/Clock.h"
#include "gui/DrawGrid.h"
#include "gui/Edit.h"
#include "gui/Label.h"
#include "gui/PageControl.h"
#include "gui/ProgressBar.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "job/Catalog.h"
#include "ui/CatalogTab.h"
#include "ui/MFo.h"
#include "ui/MFoRestore.h"
#include "ui/Program.h"
#include "zip/ExtractFilesWin.h"
#include "zip/UnZipper.h"
#include "zip/Zipper.h"
#include "zip/ZipperFilesWin.h"

#include <gtest/gtest.h>

using testsupport::FileExists;
using testsupport::ReadWholeFile;
using testsupport::TempFolder;
using testsupport::WriteWholeFile;

namespace {

std::string FixedDrive(const std::string&) {
    return "Fixed";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    job::ForEachLine(text, [&](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

// The site's clock, moved on at every look, so a long loop always finds its pumping interval over.
class TickingClock : public gui::Clock {
  public:
    explicit TickingClock(gui::ManualClock& base) : base_(base) {}
    gui::DateTime Now() override { return base_.Now(); }
    int64_t MonotonicMs() override {
        base_.Advance(60);
        return base_.MonotonicMs();
    }
    bool Sleep(int milliseconds, bool alertable) override { return base_.Sleep(milliseconds, alertable); }
    bool DrivesTimers() const override { return true; }

  private:
    gui::ManualClock& base_;
};

// Runs a step of the test when a message box is asked, before its scripted answer.
class HookedPrompter : public gui::TScriptedPrompter {
  public:
    int ShowMessageBox(const gui::TMessageBoxRequest& request) override {
        if (OnMessage) OnMessage();
        return TScriptedPrompter::ShowMessageBox(request);
    }
    std::function<void()> OnMessage;
};

class CatalogTabTest : public testing::Test, protected testsupport::ProgramSite<> {
  protected:
    CatalogTabTest() : ProgramSite(core::EncodeDateTime({2025, 3, 10, 10, 20})) {}
    void SetUp() override {
        program = std::make_unique<ui::TProgram>(environment);
        ASSERT_TRUE(program->Start());
        form = program->MainForm();
        tab = form->CatalogTab.get();
        program->Flags().Hidden = false;
        // The copy to ".bak" pumps: the start-up (and its notices) must not run inside it.
        form->StartUpDone = true;
        form->Locale.shortDateFormat = "yyyy-MM-dd";
        form->Locale.dateSeparator = '-';
        form->Locale.longTimeFormat = "HH:mm:ss";
        CreateDirectoryA((work / "src").c_str(), nullptr);
    }
    void TearDown() override {
        program.reset();
        gui::SetShell(nullptr);
        gui::SetClock(nullptr);
        testsupport::DrainQueue();
    }
    // A zip of one or two files whose modification year is given.
    std::string Zip(const std::string& name, WORD year, bool withOther = false) {
        const std::string file = work / "src\\same.txt";
        WriteWholeFile(file, name);
        SYSTEMTIME time{};
        time.wYear = year;
        time.wMonth = 6;
        time.wDay = 1;
        time.wHour = 12;
        FILETIME local, utc;
        SystemTimeToFileTime(&time, &local);
        LocalFileTimeToFileTime(&local, &utc);
        HANDLE handle = CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        SetFileTime(handle, nullptr, nullptr, &utc);
        CloseHandle(handle);
        WriteWholeFile(work / "src\\other.txt", "other");
        zip::TWinExtractFileSystem in;
        zip::TWinZipperFileSystem out{FixedDrive};
        zip::TZipper z{in, out};
        z.SetStorePaths(true);
        z.SetRelativePaths(true);
        z.SetRootDir(work / "src\\");
        z.SetZipName(work / name);
        z.FilesList.Add(file);
        if (withOther) z.FilesList.Add(work / "src\\other.txt");
        z.Zip();
        return work / name;
    }
    // A press and release of the left button on the grid's row, with MK_CONTROL or MK_SHIFT.
    void Click(int gridRow, WPARAM keys) {
        const RECT cell = tab->DrawGrid2->CellRect(2, gridRow);
        const LPARAM at = MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
        SendMessageA(tab->DrawGrid2->Handle(), WM_LBUTTONDOWN, MK_LBUTTON | keys, at);
        SendMessageA(tab->DrawGrid2->Handle(), WM_LBUTTONUP, keys, at);
    }
    std::vector<std::string> RowNames() {
        std::vector<std::string> names;
        for (int row = 1; row <= tab->Rows.Count(); ++row)
            names.push_back(tab->Rows.Name(tab->Rows.RowOfGridRow(row)) + "@" +
                            tab->Rows.Zip(tab->Rows.RowOfGridRow(row)));
        return names;
    }

    TempFolder work;
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    std::unique_ptr<ui::TProgram> program;
    ui::TMF* form = nullptr;
    ui::TCatalogTab* tab = nullptr;
};

} // namespace

TEST_F(CatalogTabTest, ZipsAreAddedAndRemovedAndDuplicatesLeaveABackup) {
    const std::string v1 = Zip("v1.zip", 2020), v2 = Zip("v2.zip", 2024), v3 = Zip("v3.zip", 2022, true);
    const std::string catalogue = programFolder / "Catalogs\\test.cat";
    tab->Edit8->SetText(catalogue);
    form->Session.Job.Destination = work.Path();
    prompter.AnswerFile({v1, v2, v3});
    tab->CatalogAddZipExecute(); // its action is enabled once a catalogue is opened
    EXPECT_EQ(prompter.Requests().back().File.InitialDir, work.Path()) << "the job's destination";
    EXPECT_EQ(Lines(ReadWholeFile(catalogue)).size(), 4u);
    // One row per path, the newest volume's.
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"other.txt@v3.zip", "same.txt@v2.zip"}));
    tab->CBShowDuplicates->SetChecked(true);
    tab->CBShowFoldersClick();
    EXPECT_EQ(tab->Rows.Count(), 4);
    tab->CBShowDuplicates->SetChecked(false);

    // A row's zip opens on the restore tab: the open dialog is preset with its name.
    tab->SelectedCatalogZip = "v3.zip";
    prompter.AnswerFile({v3});
    tab->RestoreOpenZipfileExecute();
    EXPECT_EQ(prompter.Requests().back().File.FileName, "v3.zip");
    EXPECT_EQ(prompter.Requests().back().File.InitialDir, work.Path()) << "as the restore tab's own";
    EXPECT_EQ(form->PageControl1->ActivePage(), form->TabSheet4);
    EXPECT_EQ(form->RestoreTab->UnZipper1().ZipName(), v3);

    // Remove the newest volume, named in other letter case.
    tab->SelectedCatalogZip = "V2.ZIP";
    prompter.AnswerMessage(gui::mrOk);
    tab->CatalogRemoveZipExecute();
    EXPECT_EQ(ReadWholeFile(catalogue).find("v2.zip"), std::string::npos);
    EXPECT_TRUE(FileExists(programFolder / "Catalogs\\test.bak"));
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"other.txt@v3.zip", "same.txt@v3.zip"}));

    // Duplicates: the newest line per path stays, in the place of the first.
    prompter.AnswerMessage(gui::mrOk);
    tab->RemoveDupFromCatExecute();
    const std::vector<std::string> left = Lines(ReadWholeFile(catalogue));
    ASSERT_EQ(left.size(), 2u);
    EXPECT_NE(left[0].find("same.txt\""), std::string::npos);
    EXPECT_NE(left[0].find("\"v3.zip\""), std::string::npos);
    EXPECT_EQ(Lines(ReadWholeFile(programFolder / "Catalogs\\test.bak")).size(), 3u);

    // A refused confirmation leaves the file; a missing file stops with a status, unasked.
    prompter.AnswerMessage(gui::mrCancel);
    tab->SelectedCatalogZip = "v3.zip";
    tab->CatalogRemoveZipExecute();
    EXPECT_EQ(Lines(ReadWholeFile(catalogue)).size(), 2u);
    const size_t asked = prompter.MessageTexts().size();
    tab->Edit8->SetText(work / "gone.cat");
    tab->CatalogRemoveZipExecute();
    EXPECT_EQ(prompter.MessageTexts().size(), asked);
    EXPECT_EQ(tab->Label28->Caption(), "The catalog file does not exist: " + work / "gone.cat");
}

TEST_F(CatalogTabTest, GridPaintsSelectsMovesSortsAndGoesTo) {
    const std::string catalogue = work / "browse.cat";
    WriteWholeFile(catalogue, "d\\\"a.txt\"1478840975\"z1.zip\"0\r\n" // 2024
                              "d\\\"b.txt\"952197120\"z1.zip\"1\r\n"  // 2008
                              "d\\\"c.txt\"1345000000\"z2.zip\"0\r\n" // 2020
                              "bad line\r\n");
    prompter.AnswerFile({catalogue});
    tab->CatalogOpen->Execute();
    ASSERT_EQ(tab->Rows.Count(), 3);
    EXPECT_TRUE(tab->CatalogRemoveZip->Enabled());
    EXPECT_NE(ReadWholeFile(programFolder / "tarnwick.log").find("1 damaged lines skipped in " + catalogue),
              std::string::npos);

    // A click with Ctrl selects its row, read from the click itself: the grid saw no key.
    Click(2, MK_CONTROL);
    EXPECT_EQ(tab->DrawGrid2->Row(), 2);
    EXPECT_EQ(tab->SelectedCatalogZip, "z1.zip");
    EXPECT_EQ(tab->CellLookOf(1, 2).Brush, 0x800000u);
    EXPECT_EQ(tab->CellLookOf(2, 0).Brush, 0x00FF00u); // the sort column's title
    EXPECT_EQ(tab->CellLookOf(3, 0).Brush, gui::clBtnFace);
    WORD key = VK_DOWN;
    tab->DrawGrid2KeyDown(key, gui::ssShift);
    EXPECT_EQ(tab->DrawGrid2->Row(), 3);
    EXPECT_TRUE(tab->Rows.Selected(tab->Rows.RowOfGridRow(3)));
    key = VK_HOME;
    tab->DrawGrid2KeyDown(key, 0);
    EXPECT_EQ(tab->DrawGrid2->Row(), 1);
    EXPECT_EQ(tab->Label28->Caption(), "Position: 1/3");

    // The grid painted: a lime title over the sort column, a navy selected row.
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, tab->DrawGrid2->Width(), tab->DrawGrid2->Height());
    HGDIOBJ old = SelectObject(memory, bitmap);
    tab->DrawGrid2->PaintTo(memory);
    const RECT title = tab->DrawGrid2->CellRect(2, 0), selected = tab->DrawGrid2->CellRect(3, 2);
    EXPECT_EQ(GetPixel(memory, title.right - 4, title.bottom - 3), RGB(0, 255, 0));
    EXPECT_EQ(GetPixel(memory, selected.right - 4, selected.top + 3), RGB(0, 0, 128));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    // A click on the Modified title sorts by date as numbers; Go to finds the first from 2010.
    const RECT modified = tab->DrawGrid2->CellRect(3, 0);
    tab->DrawGrid2MouseDown((modified.left + modified.right) / 2, (modified.top + modified.bottom) / 2);
    EXPECT_EQ(tab->Rows.Name(tab->Rows.RowOfGridRow(1)), "b.txt");
    // A double click on a data row opens its zip, whichever column it hit; it sorts nothing.
    const RECT name = tab->DrawGrid2->CellRect(1, 1);
    tab->DrawGrid2->SetRow(1);
    tab->DrawGrid2MouseDown((name.left + name.right) / 2, (name.top + name.bottom) / 2);
    prompter.CancelFile();
    tab->DrawGrid2DblClick();
    EXPECT_EQ(prompter.Requests().back().File.FileName, "z1.zip");
    EXPECT_EQ(tab->Rows.SortColumn(), 3);
    tab->EditCatGoTo->SetText("2010-01-01");
    tab->SpeedButton2Click();
    EXPECT_EQ(tab->DrawGrid2->Row(), 2);
    EXPECT_EQ(tab->Label22->Caption(), "Go to in, Modified");

    // Shift with a click: the range from the anchor takes the opposite of the clicked row's
    // state; a plain click then changes no flag.
    Click(0, 0); // the Path title
    EXPECT_EQ(tab->Rows.SortColumn(), job::CatalogRows::PathColumn);
    for (int row = 1; row <= 3; ++row)
        tab->Rows.SetSelected(tab->Rows.RowOfGridRow(row), false);
    Click(1, MK_CONTROL);
    Click(3, MK_SHIFT);
    for (int row = 1; row <= 3; ++row)
        EXPECT_TRUE(tab->Rows.Selected(tab->Rows.RowOfGridRow(row))) << row;
    Click(2, 0);
    EXPECT_TRUE(tab->Rows.Selected(tab->Rows.RowOfGridRow(2)));
    Click(2, MK_CONTROL);
    EXPECT_FALSE(tab->Rows.Selected(tab->Rows.RowOfGridRow(2)));
}

TEST_F(CatalogTabTest, ALoadAskedForDuringALoadRestartsItOnTheNewFile) {
    const std::string a = work / "a.cat", b = work / "b.cat";
    std::string lines;
    for (int i = 0; i < 3000; ++i)
        lines += "a\\\"f" + std::to_string(i) + ".txt\"100\"A.zip\"" + std::to_string(i) + "\r\n";
    WriteWholeFile(a, lines);
    WriteWholeFile(b, "b\\\"one.txt\"100\"B.zip\"0\r\nb\\\"two.txt\"100\"B.zip\"1\r\n");
    tab->Edit8->SetText(a);
    // Another catalogue chosen while A loads: its load restarts the running one.
    bool nested = false;
    gui::Application().Post([&] {
        nested = tab->CatalogReading;
        tab->Edit8->SetText(b);
        tab->ReadCatalogFile(b);
    });
    tab->ReadCatalogFile(a);
    EXPECT_TRUE(nested);
    EXPECT_FALSE(tab->CatalogReading);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"one.txt@B.zip", "two.txt@B.zip"}));

    // Remove zip then works on B, the file shown.
    tab->SelectedCatalogZip = "B.zip";
    prompter.AnswerMessage(gui::mrOk);
    tab->CatalogRemoveZipExecute();
    EXPECT_EQ(ReadWholeFile(b), "");
    EXPECT_EQ(Lines(ReadWholeFile(a)).size(), 3000u);

    // Another catalogue opened while Remove duplicates rewrites A: A is rewritten, and the grid
    // shows the one opened, under its name.
    const std::string c = work / "c.cat";
    WriteWholeFile(c, "c\\\"three.txt\"100\"C.zip\"0\r\n");
    WriteWholeFile(a, lines + lines);
    tab->Edit8->SetText(a);
    tab->ReadCatalogFile(a);
    {
        HookedPrompter hooked;
        gui::TPrompterScope scope{hooked};
        TickingClock ticking{clock};
        hooked.OnMessage = [&] { gui::Application().Post([&] { tab->SBOpenCatClick(); }); };
        hooked.AnswerMessage(gui::mrOk).AnswerFile({c});
        gui::SetClock(&ticking);
        tab->RemoveDupFromCatExecute();
        gui::SetClock(&clock);
        EXPECT_EQ(hooked.Pending(), 0u);
    }
    EXPECT_EQ(Lines(ReadWholeFile(a)).size(), 3000u);
    EXPECT_EQ(tab->Edit8->Text(), c);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"three.txt@C.zip"}));

    // The job's chooser loads its catalogue into the grid: Edit8 names it there too.
    prompter.AnswerFile({a});
    SendMessageA(tab->SpButCat->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(form->Session.Job.CatalogNames, a);
    EXPECT_EQ(tab->Edit8->Text(), a);
    EXPECT_EQ(tab->Rows.Count(), 3000);
}

TEST_F(CatalogTabTest, TheJobReadsItsCataloguesAndAppendsEachVolume) {
    const std::string folder = work / "cats\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteWholeFile(folder + "own.cat", "d\\\"a.txt\"100\"old.zip\"0\r\nD\\\"A.TXT\"300\"new.zip\"0\r\n");
    WriteWholeFile(folder + "other.cat", "x\\\"y.txt\"5\"Other.zip\"0\r\n");
    form->Session.Job.CatalogNames = folder + "own.cat|other.cat";
    tab->ReadCatalogs();
    ASSERT_NE(form->Session.Run.CatalogList.Find("d\\a.txt"), nullptr);
    EXPECT_EQ(*form->Session.Run.CatalogList.Find("d\\a.txt"), 300u);
    EXPECT_EQ(form->Session.Run.CatalogList.Find("x\\y.txt"), nullptr); // zip names only from the others
    EXPECT_TRUE(tab->CatalogZipUsed("OTHER.ZIP") && tab->CatalogZipUsed("new.zip"));
    EXPECT_EQ(form->Session.Run.CatZipList, (std::vector<std::string>{"new.zip", "old.zip", "Other.zip"}));

    const std::string volume = Zip("20250310100.zip", 2024, true);
    tab->AddZipToCatalog(volume);
    const std::vector<std::string> other = Lines(ReadWholeFile(folder + "other.cat"));
    ASSERT_EQ(other.size(), 3u);
    EXPECT_EQ(other[1].substr(0, other[1].find('"')), "");
    EXPECT_NE(other[2].find("\"20250310100.zip\"1"), std::string::npos);
    EXPECT_EQ(Lines(ReadWholeFile(folder + "own.cat")).size(), 2u);

    // A bare name typed into the job's field is saved as typed; before the start has resolved
    // it, the job reads and appends in the catalogue folder, not in the current folder.
    SetWindowTextA(tab->EditCatName->Handle(), "daily");
    EXPECT_EQ(form->Session.Job.CatalogNames, "daily");
    form->Session.Run.CatName.clear();
    CreateDirectoryA(tab->CatalogFolder().c_str(), nullptr);
    WriteWholeFile(tab->CatalogFolder() + "daily.cat", "d\\\"b.txt\"700\"d1.zip\"0\r\n");
    tab->ReadCatalogs();
    ASSERT_NE(form->Session.Run.CatalogList.Find("d\\b.txt"), nullptr);
    EXPECT_EQ(*form->Session.Run.CatalogList.Find("d\\b.txt"), 700u);
    tab->AddZipToCatalog(volume);
    EXPECT_EQ(Lines(ReadWholeFile(tab->CatalogFolder() + "daily.cat")).size(), 3u);
    // The start's resolved names win over the field.
    form->Session.Run.CatName = folder + "own.cat";
    tab->ReadCatalogs();
    EXPECT_EQ(form->Session.Run.CatalogList.Find("d\\b.txt"), nullptr);

    // The chooser's folder: beside the program, in the data folder (made), in the user's
    // folder under Users, or the program folder itself.
    core::UserFolders folders;
    const std::string program = programFolder.Path();
    EXPECT_EQ(ui::CatalogChooserFolder(folders, program), program + "catalogs\\");
    folders.perUserDataOn = true;
    folders.userName = "anna";
    EXPECT_EQ(ui::CatalogChooserFolder(folders, program), program + "Users\\anna\\catalogs\\");
    folders.dataDir = work / "data\\";
    EXPECT_EQ(ui::CatalogChooserFolder(folders, program), work / "data\\catalogs\\");
    EXPECT_TRUE(FileExists(work / "data\\catalogs"));
    folders.dataDir.clear();
    folders.userName.clear();
    EXPECT_EQ(ui::CatalogChooserFolder(folders, program), program);
}

// A catalogue past 2 GiB (sparse: a few lines, then a hole of zeros, then more lines) is read
// whole by the browser and by the job, in the memory of a few lines; the hole is one damaged
// line. A catalogue that is there but cannot be opened is an error, never an empty catalogue:
// the browser says so and the job does not start.
TEST_F(CatalogTabTest, HugeCataloguesAreReadWholeAndUnreadableOnesAreErrors) {
    const std::string huge = work / "huge.cat";
    {
        HANDLE file = CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        const std::string head = "d\\\"first.txt\"100\"z1.zip\"0\r\n";
        const std::string tail = "\r\nd\\\"last.txt\"200\"z2.zip\"0\r\nD\\\"FIRST.TXT\"300\"z2.zip\"1\r\n";
        WriteFile(file, head.data(), static_cast<DWORD>(head.size()), &written, nullptr);
        // Written past the end: the file system leaves a hole, nothing is stored for it.
        LARGE_INTEGER end{};
        end.QuadPart = (int64_t{1} << 31) + 4096;
        ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(WriteFile(file, tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr));
        CloseHandle(file);
    }
    tab->Edit8->SetText(huge);
    tab->ReadCatalogFile(huge);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"FIRST.TXT@z2.zip", "last.txt@z2.zip"}));
    EXPECT_NE(ReadWholeFile(programFolder / "tarnwick.log").find("1 damaged lines skipped in " + huge),
              std::string::npos);
    form->Session.Job.CatalogNames = huge;
    form->Session.Run.CatName.clear();
    EXPECT_TRUE(tab->ReadCatalogs());
    ASSERT_NE(form->Session.Run.CatalogList.Find("d\\first.txt"), nullptr);
    EXPECT_EQ(*form->Session.Run.CatalogList.Find("d\\first.txt"), 300u);
    EXPECT_TRUE(tab->CatalogZipUsed("z2.zip"));
    DeleteFileA(huge.c_str());

    // Held open by another program that shares nothing.
    const std::string locked = work / "locked.cat";
    WriteWholeFile(locked, "d\\\"a.txt\"100\"z1.zip\"0\r\n");
    HANDLE holder = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    tab->Edit8->SetText(locked);
    tab->ReadCatalogFile(locked);
    EXPECT_EQ(tab->Rows.Count(), 0);
    EXPECT_EQ(tab->Label28->Caption().rfind("The catalog could not be opened: " + locked, 0), 0u)
        << tab->Label28->Caption();
    // The job: the selection ends as a cancelled start, the reason in the log.
    CreateDirectoryA((work / "files").c_str(), nullptr);
    WriteWholeFile(work / "files\\one.txt", "one");
    form->Session.Job.CatalogNames = locked;
    form->Session.Job.CBCatalog = true;
    form->Session.Job.IncludeList = {work / "files"};
    EXPECT_FALSE(form->SelectJobFiles());
    const std::string log = ReadWholeFile(programFolder / "tarnwick.log");
    const size_t reason = log.rfind("The catalog could not be opened: " + locked);
    ASSERT_NE(reason, std::string::npos);
    EXPECT_NE(log.find("Backup cancelled", reason), std::string::npos);
    EXPECT_TRUE(form->Session.Run.FilestoZipList.empty());
    CloseHandle(holder);
    EXPECT_TRUE(form->SelectJobFiles());
    EXPECT_FALSE(form->Session.Run.FilestoZipList.empty());
}

// Remove zip and Remove duplicates read and write through a buffer, step the progress and let
// messages run on the clock's budget; what a job appends meanwhile is kept. The backup copy's
// name comes from the file's name, not from a dot in a folder name. An append ends a torn last
// line first, and the damaged-lines log line names the catalogue that has them.
TEST_F(CatalogTabTest, RewritesPumpKeepAppendedLinesAndBackUpBesideTheFile) {
    const std::string folder = work / "my.data\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string catalogue = folder + "cat";
    std::string lines;
    for (int i = 0; i < 4000; ++i)
        lines += "d\\\"f" + std::to_string(i % 2000) + ".txt\"" + std::to_string(100 + i) + "\"" +
                 (i % 2 ? "v1.zip" : "v2.zip") + "\"" + std::to_string(i) + "\r\n";
    WriteWholeFile(catalogue, lines);
    tab->Edit8->SetText(catalogue);
    tab->ReadCatalogFile(catalogue);

    // The running job's catalogue is this one.
    form->Session.Run.CatName = catalogue;
    const std::string v3 = Zip("v3.zip", 2021), v4 = Zip("v4.zip", 2023), v5 = Zip("v5.zip", 2024);
    HookedPrompter hooked;
    gui::TPrompterScope scope{hooked};
    TickingClock ticking{clock};
    std::string seenStatus, volume;
    int seenPosition = 0;
    // Right after the confirmation, a job's volume appends its lines.
    hooked.OnMessage = [&] {
        gui::Application().Post([&] {
            seenStatus = tab->Label28->Caption();
            seenPosition = tab->ProgressBar4->Position();
            tab->AddZipToCatalog(volume);
        });
    };
    gui::SetClock(&ticking);
    volume = v3;
    tab->SelectedCatalogZip = "V1.ZIP";
    hooked.AnswerMessage(gui::mrOk);
    tab->CatalogRemoveZipExecute();
    EXPECT_EQ(seenStatus, "Removing: V1.ZIP from catalog: " + catalogue);
    EXPECT_GT(seenPosition, 0);
    std::string text = ReadWholeFile(catalogue);
    EXPECT_EQ(text.find("v1.zip"), std::string::npos);
    EXPECT_EQ(Lines(text).size(), 2001u);
    EXPECT_EQ(Lines(text).back().rfind("\"same.txt\""), 0u);
    EXPECT_NE(Lines(text).back().find("\"v3.zip\"0"), std::string::npos);
    EXPECT_TRUE(FileExists(folder + "cat.bak"));
    EXPECT_FALSE(FileExists(work / "my.bak"));
    EXPECT_EQ(tab->Rows.Count(), 1001); // each even file twice in v2.zip, and same.txt

    volume = v4;
    seenStatus.clear();
    hooked.AnswerMessage(gui::mrOk);
    tab->RemoveDupFromCatExecute();
    gui::SetClock(&clock);
    EXPECT_EQ(seenStatus, "Removing duplicates:  from catalog:  " + catalogue);
    text = ReadWholeFile(catalogue);
    EXPECT_EQ(Lines(text).size(), 1001u);
    EXPECT_EQ(text.find("v3.zip"), std::string::npos) << "the newer volume's line won";
    EXPECT_NE(text.find("\"v4.zip\""), std::string::npos);

    // A volume appended after a write cut short: the torn line keeps its own line.
    WriteWholeFile(catalogue, "d\\\"torn.txt\"7\"v2.zip\"0");
    tab->AddZipToCatalog(v5);
    const std::vector<std::string> torn = Lines(ReadWholeFile(catalogue));
    ASSERT_EQ(torn.size(), 2u);
    EXPECT_EQ(torn[0], "d\\\"torn.txt\"7\"v2.zip\"0");
    EXPECT_NE(torn[1].find("\"v5.zip\"0"), std::string::npos);

    // The job's catalogues: damaged lines are reported for the file that has them.
    WriteWholeFile(folder + "own.cat", "d\\\"a.txt\"1\"o.zip\"0\r\n");
    WriteWholeFile(folder + "other.cat", "broken\r\nd\\\"b.txt\"1\"p.zip\"0\r\n");
    form->Session.Job.CatalogNames = folder + "own.cat|other.cat";
    form->Session.Run.CatName.clear();
    EXPECT_TRUE(tab->ReadCatalogs());
    const std::string log = ReadWholeFile(programFolder / "tarnwick.log");
    EXPECT_NE(log.find("1 damaged lines skipped in " + folder + "other.cat"), std::string::npos);
    EXPECT_EQ(log.find("damaged lines skipped in " + folder + "own.cat"), std::string::npos);
}

// A job run inside the pump of Remove duplicates on its own catalogue, whose volume lands under
// another name: the rename waits for the rewrite, so the file ends naming the landed zip, each
// path once, instead of the rewrite putting back the built zip's lines over the rename.
TEST_F(CatalogTabTest, AVolumeLandingUnderAnotherNameDuringARewriteIsRenamedAfterIt) {
    const std::string catalogue = work / "job.cat";
    std::string lines;
    for (int i = 0; i < 4000; ++i)
        lines += "d\\\"f" + std::to_string(i % 2000) + ".txt\"100\"old.zip\"" + std::to_string(i) + "\r\n";
    WriteWholeFile(catalogue, lines);
    form->Session.Run.CatName = catalogue;
    const std::string built = Zip("built.zip", 2024, true), landed = work / "landed.zip";
    tab->AddZipToCatalog(built);
    ASSERT_TRUE(CopyFileA(built.c_str(), landed.c_str(), FALSE));
    tab->Edit8->SetText(catalogue);
    tab->ReadCatalogFile(catalogue);

    HookedPrompter hooked;
    gui::TPrompterScope scope{hooked};
    TickingClock ticking{clock};
    bool rewriting = false;
    hooked.OnMessage = [&] {
        gui::Application().Post([&] {
            rewriting = tab->CatalogReading;
            tab->ZipLanded(built, landed);
        });
    };
    hooked.AnswerMessage(gui::mrOk);
    gui::SetClock(&ticking);
    tab->RemoveDupFromCatExecute();
    gui::SetClock(&clock);
    EXPECT_TRUE(rewriting);
    const std::string text = ReadWholeFile(catalogue);
    EXPECT_EQ(text.find("built.zip"), std::string::npos);
    EXPECT_EQ(Lines(text).size(), 2002u);
    EXPECT_NE(text.find("\"landed.zip\"1"), std::string::npos);
}
