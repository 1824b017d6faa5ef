#pragma once
// The Restore tab: open one of the program's archives, browse its entries in an owner-drawn
// grid, select with mouse and keyboard, sort by any column, restore the selection under one
// of three overwrite rules, cancel, and verify the archive. The tab holds the controls; the
// list is its grid view and the restore itself the job's restore run, which owns the main
// window's unzip component UnZipper1.

#include "gui/Exceptions.h"
#include "gui/Graphics.h"
#include "gui/StringList.h"
#include "job/RestoreRun.h"
#include "ui/RestoreGrid.h"

#include <functional>
#include <map>
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
class TMenuItem;
class TProgressBar;
class TRadioButton;
class TSpeedButton;
} // namespace gui

namespace zip {
class TUnZipper;
class TExtractFileSystem;
} // namespace zip

namespace ui {

class TMF;

class TRestoreTab {
  public:
    explicit TRestoreTab(TMF& form);
    ~TRestoreTab();
    TRestoreTab(const TRestoreTab&) = delete;
    TRestoreTab& operator=(const TRestoreTab&) = delete;

    // Controls, actions and menu items under their published names.
    gui::TDrawGrid* DrawGrid1 = nullptr;
    gui::TEdit* Edit3 = nullptr; // destination folder
    gui::TSpeedButton* SpeedButton4 = nullptr;
    gui::TEdit* Edit6 = nullptr; // stored path prefix to cut
    gui::TCheckBox* CheckBox2 = nullptr;
    gui::TRadioButton* RadioButton3 = nullptr; // never
    gui::TRadioButton* RadioButton5 = nullptr; // if older
    gui::TRadioButton* RadioButton4 = nullptr; // always
    gui::TButton* Button2 = nullptr;
    gui::TButton* BtSelectAll = nullptr;
    gui::TLabel* Label15 = nullptr;
    gui::TProgressBar* ProgressBar2 = nullptr;
    gui::TAction* OpenZipFile = nullptr;
    gui::TAction* CloseRestore = nullptr;
    gui::TAction* TestZipFile = nullptr;
    gui::TMenuItem* TestFile1 = nullptr;
    gui::TMenuItem* SelectAll1 = nullptr;
    gui::TMenuItem* Invertselection1 = nullptr;
    gui::TMenuItem* Unselctall1 = nullptr;
    zip::TUnZipper& UnZipper1();

    // The restore itself, and the list of entries.
    job::TRestoreRun& Run() { return *run_; }
    TRestoreGrid& Grid() { return *grid_; }

    // A restore or verify runs: the start action is its Cancel meanwhile.
    void ShowRunning(bool running);

    // Handlers.
    void OpenZipFileExecute();
    // Opening after the dialog: reads the directory and fills the grid.
    void OpenArchive(const std::string& file);
    void CloseRestoreExecute();
    void Edit3Enter();
    void Edit3Change();
    void FormKeyUp(WORD& key, gui::TShiftState shift);
    void BtSelectAllClick();
    void Unselctall1Click();
    void Invertselection1Click();
    void StartRestoreExecute();
    void TestFile1Click();
    // The open dialogs' first folder: the job's (first) destination when it exists.
    std::string JobDestinationFolder() const;

  private:
    void Build();
    void Connect();
    void RefreshSelection();
    void EnableArchiveActions(bool on);
    void FocusGrid();

    TMF& form_;
    std::unique_ptr<job::TRestoreRun> run_;
    std::unique_ptr<TRestoreGrid> grid_;
    std::function<void()> previousResize_;
    std::function<void(WORD&, gui::TShiftState)> previousKeyUp_;
};

} // namespace ui
