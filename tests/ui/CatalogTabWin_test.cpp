// The Catalog tab hosted in-process with the whole program (manual clock, scripted prompter):
// zips made by the zip component added, one removed in other letter case, duplicates removed
// with the ".bak" left; the grid painted into a memory bitmap, keys, Ctrl and Shift selection,
// a header click, Go to; and the job's reading of "own.cat|other.cat" and its append per volume.
#include "ProgramSite.h"
#include "WinTestSupport.h"
#include "gui/Action.h"
#include "gui/CheckBox.h"
#include "gui/Clock.h"
#include "gui/DrawGrid.h"
#include "gui/Edit.h"
#include "gui/Label.h"
#include "gui/PageControl.h"
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

    // Ctrl selects one row, Shift the range from the anchor with the opposite of its state.
    tab->CtrlDown = true;
    bool can = true;
    tab->DrawGrid2SelectCell(1, 2, can);
    tab->DrawGrid2->SetRow(2);
    tab->CtrlDown = false;
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

    // A load asked for while one runs restarts the running one.
    tab->CatalogReading = true;
    tab->ReadCatalogFile(catalogue);
    EXPECT_TRUE(tab->CatalogReadRestart);
    tab->CatalogReading = tab->CatalogReadRestart = false;
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
