#pragma once
// The Restore tab's list of an archive's entries: an owner-drawn grid of seven columns (icon,
// name, folder, date, size, ratio, packed size) over the unzip component's entries, sorted by
// any column through a row map, selected with mouse and keyboard into the component's own
// selected flags. The tab creates the control and hears of every change of the selection.

#include "gui/Graphics.h"
#include "gui/StringList.h"

#include <functional>
#include <string>

namespace gui {
class TCanvas;
class TDrawGrid;
} // namespace gui

namespace zip {
class TUnZipper;
} // namespace zip

namespace ui {

class TRestoreGrid {
  public:
    // Takes the grid control over: column widths, the header span and its handlers.
    TRestoreGrid(gui::TDrawGrid& grid, zip::TUnZipper& entries);
    ~TRestoreGrid();
    TRestoreGrid(const TRestoreGrid&) = delete;
    TRestoreGrid& operator=(const TRestoreGrid&) = delete;

    gui::TDrawGrid* DrawGrid1;
    gui::TStringList RestoreRowMap; // objects: entry indexes, in display order
    int RestoreSortColumn = 1;
    int SelectionAnchor = -1;
    bool ShiftDown = false, CtrlDown = false, MovedUp = false, MovedDown = false, FocusOnly = false;
    // The selection changed (the tab's refresh of its action and status line).
    std::function<void()> OnSelectionChanged;

    // Set-up after an archive is read: one row per entry by name and the header; `progress`
    // sees each 128th entry. Clearing leaves one row without a header.
    void SetUp(const std::function<void(int index, int count)>& progress);
    void ClearGrid();
    void SelectAll(bool on);
    void Invert();

    void DrawGrid1DrawCell(gui::TCanvas& canvas, int col, int row, const RECT& rect, unsigned state);
    void DrawGrid1KeyDown(WORD& key, gui::TShiftState shift);
    void DrawGrid1KeyUp(WORD& key, gui::TShiftState shift);
    void DrawGrid1SelectCell(int col, int row, bool& canSelect);
    void DrawGrid1MouseDown(gui::TShiftState shift, int x, int y);
    // A click on the header row.
    void DrawGrid1DblClick(int col);
    void FormResize();

    // Whether the entry shown in a row is selected.
    bool RowSelected(int row);
    // Column 2's width for a grid of this width.
    static int PathColumnWidth(int gridWidth);

  private:
    void Changed();
    void ToggleRow(int row);
    void SetRowState(int row, bool on);
    void ApplyClick(int row, bool shift, bool ctrl);
    void MoveFocus(int row);
    void FillRowMap(int column);
    std::string CellText(int col, int entry);

    zip::TUnZipper& entries_;
    bool sorting_ = false;
};

} // namespace ui
