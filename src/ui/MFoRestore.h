#pragma once
// The Restore tab: open one of the program's archives, browse its entries in an owner-drawn
// grid, select with mouse and keyboard, sort by any column, restore the selection under one
// of three overwrite rules (files in use are replaced at the next boot, registry copies are
// written back), cancel, and verify the archive. The tab owns the main window's unzip
// component UnZipper1 and answers its events.

#include "gui/Exceptions.h"
#include "gui/Graphics.h"
#include "gui/StringList.h"
#include "job/BootReplaceWin.h"
#include "job/JobArchiveTest.h"
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
    zip::TUnZipper& UnZipper1() { return *unzipper_; }

    // The list of entries.
    TRestoreGrid& Grid() { return *grid_; }

    // State.
    bool VerifyMode = false;
    bool RestoreCancelRequested = false;
    // A restore or verify runs; the start action is its Cancel meanwhile.
    bool Running = false;
    void ShowRunning(bool running);
    bool ReportBadCrc = false;
    int FullReports = 0;
    std::vector<job::TRebootEntry> RebootList;
    bool WindowsMeHiveRestored = false;
    // The text-entry dialog for a password; false when cancelled.
    std::function<bool(const std::string& prompt, std::string& text)> AskPassword;

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

  private:
    void Build();
    void Connect();
    void RefreshSelection();
    void EnableArchiveActions(bool on);
    std::string ArchiveName() const;
    // The open dialog's first folder: the job's (first) destination when it exists.
    std::string JobDestinationFolder() const;
    void Say(const std::string& text);
    void RunRestore();
    void ReplaceAtNextBoot();

    TMF& form_;
    std::unique_ptr<zip::TExtractFileSystem> files_;
    std::unique_ptr<zip::TUnZipper> unzipper_;
    std::unique_ptr<TRestoreGrid> grid_;
    std::function<void()> previousResize_;
    std::function<void(WORD&, gui::TShiftState)> previousKeyUp_;
};

} // namespace ui
