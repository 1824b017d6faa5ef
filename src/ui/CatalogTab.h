#pragma once
// The Catalog tab and the job's catalogues. The tab opens one catalogue file, shows its rows
// (src/job/Catalog) in an owner-drawn grid sorted by any column, jumps to a key, adds the
// entries of chosen zip files, and removes one zip's entries or the duplicate lines; a rewrite
// copies the file to ".bak" first and replaces it whole, so a failure leaves it as it was.
// For the job it reads the catalogues at the job start (ReadCatalogs) and appends each
// finished volume (AddZipToCatalog).
//
// Catalogue files are opened sharing read and write: a job may append while the tab reads.
// Long loops pump on a time budget, never per line, and a load asked for while one runs
// restarts the running one.

#include "core/UserFolders.h"
#include "gui/FileText.h"
#include "gui/Graphics.h"
#include "job/Catalog.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace gui {
class TAction;
class TButton;
class TCanvas;
class TCheckBox;
class TDrawGrid;
class TEdit;
class TLabel;
class TMemo;
class TProgressBar;
class TSpeedButton;
} // namespace gui

namespace job {
class CatalogFileReader;
}

namespace zip {
class TExtractFileSystem;
class TUnZipper;
} // namespace zip

namespace ui {

class TMF;

class TCatalogTab {
  public:
    explicit TCatalogTab(TMF& form);
    ~TCatalogTab();
    TCatalogTab(const TCatalogTab&) = delete;
    TCatalogTab& operator=(const TCatalogTab&) = delete;

    // Controls and actions under their published names.
    gui::TEdit* Edit8 = nullptr; // the open catalogue
    gui::TSpeedButton* SBOpenCat = nullptr;
    gui::TEdit* EditCatGoTo = nullptr;
    gui::TSpeedButton* SpeedButton2 = nullptr; // "Go to:"
    gui::TCheckBox* CBShowFolders = nullptr;
    gui::TCheckBox* CBShowDuplicates = nullptr;
    gui::TMemo* Memo3 = nullptr;
    gui::TLabel* Label22 = nullptr; // "Go to in, " + the sort column's title
    gui::TLabel* Label28 = nullptr; // status
    gui::TProgressBar* ProgressBar4 = nullptr;
    gui::TButton* Button9 = nullptr;
    gui::TDrawGrid* DrawGrid2 = nullptr;
    // The job's catalogue on the job tab: its name, its chooser and "Cat.:".
    gui::TEdit* EditCatName = nullptr;
    gui::TSpeedButton* SpButCat = nullptr;
    gui::TCheckBox* CBCatalog = nullptr;
    gui::TAction* CatalogOpen = nullptr;
    gui::TAction* CatalogClose = nullptr;
    gui::TAction* CatalogAddZip = nullptr;
    gui::TAction* CatalogRemoveZip = nullptr;
    gui::TAction* RemoveDupFromCat = nullptr;
    gui::TAction* RestoreOpenZipfile = nullptr;

    // State.
    job::CatalogRows Rows;
    bool CatalogReading = false;
    bool CatalogReadRestart = false;
    std::string SelectedCatalogZip;
    int RequestedSortColumn = job::CatalogRows::PathColumn;
    // The grid row of the last mouse press: the header's double click sorts, a row's opens.
    int MouseRow = -1;
    int Anchor = -1;
    bool ShiftDown = false, CtrlDown = false;
    // The zip names of the job's catalogues, read at the job start.
    job::CatalogZipNames CatZipList;

    // "Catalogs\" in the per-user data folder when one is in use, else in the program folder.
    std::string CatalogFolder() const;
    // The job start: the job's catalogues into the run's CatalogList and CatZipList; false,
    // logged, when one of them is there but cannot be read.
    bool ReadCatalogs();
    // The runner, per finished volume: the zip's entries appended to the job's catalogue(s).
    void AddZipToCatalog(const std::string& zipPath);
    // A volume copied to its destination under another name than it was built with: its
    // lines name the copy.
    void ZipLanded(const std::string& builtZip, const std::string& landedZip);
    // A volume the job did not write after all: its lines go.
    void ZipNotWritten(const std::string& builtZip);
    // The volume preparation's name test: a zip name one of the job's catalogues holds.
    bool CatalogZipUsed(const std::string& zipName) const { return CatZipList.Contains(zipName); }
    // EditCatNameChange: the job's catalogue names as its field holds them.
    void EditCatNameChange(const std::string& text);
    // The run's catalogue files as its start resolved them; before a run, the field resolved
    // the same way.
    std::string JobCatalogNames() const;

    void ReadCatalogFile(const std::string& name);
    void RefreshGrid();
    void CatalogOpenExecute();
    void SBOpenCatClick();
    void SpButCatClick();
    void CatalogCloseExecute();
    void CatalogAddZipExecute();
    void CatalogRemoveZipExecute();
    void RemoveDupFromCatExecute();
    void RemoveCatalogDuplicates();
    void RestoreOpenZipfileExecute();
    void DrawGrid2DrawCell(gui::TCanvas& canvas, int col, int row, const RECT& rect, unsigned state);
    void DrawGrid2SelectCell(int col, int row, bool& canSelect);
    void DrawGrid2MouseDown(int x, int y);
    void DrawGrid2DblClick();
    void DrawGrid2KeyDown(WORD& key, gui::TShiftState shift);
    void DrawGrid2KeyUp(WORD& key, gui::TShiftState shift);
    void SpeedButton2Click();
    void CBShowFoldersClick();
    void UnZipper2TotalPercentDone(int percent);

    // What a cell shows: its background, its text colour and its text (column 0 shows an icon).
    struct CellLook {
        gui::TColor Brush;
        gui::TColor Font;
        std::string Text;
    };
    CellLook CellLookOf(int col, int row) const;

  private:
    void Build();
    bool ChooseCatalog(gui::TEdit& field);
    void EnableCatalogActions(bool on);
    void ShowPosition();
    void FitDateColumn();
    std::string ColumnTitle() const;
    void SortRows(int column);
    void MoveTo(int gridRow, bool shift);
    void ApplySelection(int gridRow, bool shift, bool ctrl);
    bool BackUpAndConfirm(const std::string& file, const std::string& text);
    std::string LoadRows(const std::string& file);
    bool RewriteCatalog(const std::string& file,
                        const std::function<bool(job::CatalogFileReader&, const gui::TPutBytes&)>& write,
                        bool shown = true);
    bool ReplaceCatalog(const std::string& file,
                        const std::function<bool(job::CatalogFileReader&, const gui::TPutBytes&)>& write,
                        bool shown);
    // A volume that landed under another name, or was not written: the job's catalogues it
    // goes to, the name it was built with and the lines of the zip as it landed (none).
    struct TLanded {
        std::vector<std::string> Targets;
        std::string BuiltName;
        std::string Lines;
    };
    void RenameInCatalogs(const TLanded& landed);
    std::string LinesOfZip(const std::string& zipPath);
    void AppendToTargets(const std::vector<std::string>& targets, const std::string& lines);
    std::string RewriteWithoutDuplicates(const std::string& catalogue);
    bool LoadAfterWork(const std::string& changed);
    // False while a job, burn or erase owns the job's definition.
    bool JobEditable() const;
    void Progress(int position, int maximum);

    TMF& form_;
    std::string loadName_; // the file the running load reads, or is to read after a restart
    int rewriting_ = 0;    // catalogue rewrites on the stack
    std::vector<TLanded> landedLater_;
    std::unique_ptr<zip::TExtractFileSystem> files_;
    std::unique_ptr<zip::TUnZipper> unzipper2_;
    int fullReports_ = 0;
};

// Where the catalogue chooser opens: "catalogs\" beside the program without per-user data,
// in the data folder (made when missing) with it, else in the user's folder under "Users\"
// when the user is known, else the program folder.
std::string CatalogChooserFolder(const core::UserFolders& folders, const std::string& programFolder);

} // namespace ui
