#pragma once
// The owner-drawn grid: rows of equal height, columns of their own widths, an optional fixed
// header row that never scrolls, every cell painted by OnDrawCell through a canvas. Rows
// scroll by whole rows and columns by whole columns; the scroll bars use 32-bit positions
// (SIF_TRACKPOS while dragging), since a catalogue can hold far more than 65,535 rows.
// Setting Row, Col or TopRow from code fires nothing; the user's keys and clicks run
// OnSelectCell (which may refuse) and OnTopLeftChanged. A click runs OnSelectCell even on the
// current cell (a click is an act on the cell, not only a move); a key that moves nowhere
// does not. A header cell may span the columns after it. Painting goes through PaintTo, so a
// grid can be drawn into any DC (tests read its pixels from a memory bitmap).

#include "gui/Canvas.h"
#include "gui/Control.h"

#include <vector>

namespace gui {

using TGridDrawState = unsigned;
constexpr TGridDrawState gdSelected = 1, gdFocused = 2, gdFixed = 4;

class TDrawGrid : public TControl {
  public:
    TDrawGrid(TParent parent, std::string name, TBounds bounds, int colCount, int rowCount,
              int fixedRows = 1);

    int ColCount() const { return static_cast<int>(colWidths_.size()); }
    void SetColCount(int count);
    int RowCount() const { return rowCount_; }
    void SetRowCount(int count);
    int FixedRows() const { return fixedRows_; }
    void SetFixedRows(int count);
    int DefaultRowHeight() const { return rowHeight_; }
    void SetDefaultRowHeight(int height);
    int ColWidths(int col) const { return colWidths_.at(static_cast<size_t>(col)); }
    void SetColWidths(int col, int width);

    int Row() const { return row_; }
    void SetRow(int row);
    int Col() const { return col_; }
    void SetCol(int col);
    int TopRow() const { return topRow_; }
    void SetTopRow(int row);
    int LeftCol() const { return leftCol_; }
    void SetLeftCol(int col);
    // Scrolling rows that fit wholly below the fixed rows.
    int VisibleRowCount() const;
    // Scrolls the current cell into view, as a move by the user does.
    void ScrollIntoView();
    // The header cell of `col` covers `count` columns: one OnDrawCell with their joint
    // rectangle, no grid line between them in the header.
    void SetHeaderSpan(int col, int count);

    bool RowSelect = true;
    bool ColSizing = true;
    int MinColWidth = 8;

    // Cell under a client point; false (col/row -1) outside every cell.
    bool MouseToCell(int x, int y, int& col, int& row) const;
    RECT CellRect(int col, int row) const;
    void InvalidateCell(int col, int row);
    void InvalidateRow(int row);
    void Invalidate() { InvalidateRect(Handle(), nullptr, FALSE); }
    void PaintTo(HDC dc);

    std::function<void(TCanvas& canvas, int col, int row, const RECT& rect, TGridDrawState state)> OnDrawCell;
    std::function<void(int col, int row, bool& canSelect)> OnSelectCell;
    std::function<void()> OnTopLeftChanged;

  protected:
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    int ColLeft(int col) const;
    int RowTop(int row) const;
    void UserMoveTo(int col, int row);
    void ScrollTo(int topRow, int leftCol);
    void UserClick(int col, int row);
    // The first column of the header span holding `col`, and the span's end (exclusive).
    int SpanStart(int col) const;
    int SpanEnd(int col) const;
    void UpdateScrollBars();
    void VerticalScroll(WORD code);
    void HorizontalScroll(WORD code);
    bool KeyDown(WORD key);
    int ColumnBorderAt(int x, int y) const;

    std::vector<int> colWidths_;
    int rowCount_;
    int fixedRows_;
    int rowHeight_ = 18;
    int row_;
    int col_ = 0;
    int topRow_;
    int leftCol_ = 0;
    int sizingCol_ = -1;
    std::vector<int> headerSpans_; // per column; 0 where another column's span covers it
};

} // namespace gui
