#include "ui/RestoreGrid.h"

#include "gui/Canvas.h"
#include "gui/DrawGrid.h"
#include "gui/Shell.h"
#include "zip/UnZipper.h"
#include "zip/UnZipperWin.h"

#include <algorithm>

namespace ui {

namespace {

constexpr int kColumnWidths[7] = {20, 120, 140, 110, 70, 30, 70};
constexpr COLORREF kNavy = 0x800000;
constexpr COLORREF kLime = 0x00FF00;

std::string FormatThousands(uint64_t value) {
    std::string digits = std::to_string(value), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string Padded(uint64_t value) {
    std::string digits = std::to_string(value);
    return std::string(digits.size() < 14 ? 14 - digits.size() : 0, '0') + digits;
}

int64_t Ratio(uint64_t compressed, uint64_t size) {
    if (size == 0) return 0;
    return 100 - static_cast<int64_t>((compressed * 100 + size / 2) / size);
}

// Above any ratio's magnitude (a 4 GiB entry from one byte), below 14 digits.
constexpr int64_t kRatioOffset = 1'000'000'000'000;

} // namespace

TRestoreGrid::TRestoreGrid(gui::TDrawGrid& grid, zip::TUnZipper& entries)
    : DrawGrid1(&grid), entries_(entries) {
    DrawGrid1->SetDefaultRowHeight(16);
    for (int col = 0; col < 7; ++col)
        DrawGrid1->SetColWidths(col, kColumnWidths[col]);
    DrawGrid1->SetHeaderSpan(0, 2); // "Name" over the icon and the file name
    DrawGrid1->OnDrawCell = [this](gui::TCanvas& canvas, int col, int row, const RECT& rect,
                                   gui::TGridDrawState state) {
        DrawGrid1DrawCell(canvas, col, row, rect, state);
    };
    DrawGrid1->OnKeyDown = [this](WORD& key, gui::TShiftState shift) { DrawGrid1KeyDown(key, shift); };
    DrawGrid1->OnKeyUp = [this](WORD& key, gui::TShiftState shift) { DrawGrid1KeyUp(key, shift); };
    DrawGrid1->OnSelectCell = [this](int col, int row, bool& canSelect) {
        DrawGrid1SelectCell(col, row, canSelect);
    };
    DrawGrid1->OnMouseDown = [this](gui::TMouseButton, gui::TShiftState shift, int x, int y) {
        DrawGrid1MouseDown(shift, x, y);
    };
    DrawGrid1->OnTopLeftChanged = [this] {
        if (DrawGrid1->RowCount() < 2) DrawGrid1->Invalidate();
    };
}

TRestoreGrid::~TRestoreGrid() {
    // The control outlives this view by a moment: nothing of it may call back here.
    DrawGrid1->OnDrawCell = nullptr;
    DrawGrid1->OnKeyDown = nullptr;
    DrawGrid1->OnKeyUp = nullptr;
    DrawGrid1->OnSelectCell = nullptr;
    DrawGrid1->OnMouseDown = nullptr;
    DrawGrid1->OnTopLeftChanged = nullptr;
}

void TRestoreGrid::Changed() {
    if (OnSelectionChanged) OnSelectionChanged();
}

void TRestoreGrid::SetUp(const std::function<void(int index, int count)>& progress) {
    const int count = entries_.Count();
    RestoreRowMap.SetSorted(false);
    RestoreRowMap.Clear();
    for (int i = 0; i < count; ++i) {
        RestoreRowMap.Add(entries_.Filename(i), i);
        if (i % 128 == 0 && progress) progress(i, count);
    }
    RestoreSortColumn = 1;
    DrawGrid1->SetRowCount(count + 1);
    DrawGrid1->SetFixedRows(1);
    SelectionAnchor = -1;
    RestoreRowMap.SetSorted(true);
    DrawGrid1->Invalidate();
}

void TRestoreGrid::SelectAll(bool on) {
    for (int i = 0; i < entries_.Count(); ++i)
        entries_.SetSelected(i, on);
    DrawGrid1->Invalidate();
}

void TRestoreGrid::Invert() {
    for (int i = 0; i < entries_.Count(); ++i)
        entries_.SetSelected(i, !entries_.Selected(i));
    DrawGrid1->Invalidate();
}

int TRestoreGrid::PathColumnWidth(int gridWidth) {
    const int rest = gridWidth - 560 - 18;
    return rest < 1 ? 140 : 140 + rest;
}

void TRestoreGrid::FormResize() {
    if (DrawGrid1->ColCount() != 7) DrawGrid1->SetColCount(7);
    DrawGrid1->SetColWidths(2, PathColumnWidth(DrawGrid1->Width()));
}

void TRestoreGrid::ClearGrid() {
    RestoreRowMap.SetSorted(false);
    RestoreRowMap.Clear();
    DrawGrid1->SetFixedRows(0);
    DrawGrid1->SetRowCount(1);
    DrawGrid1->Invalidate();
}

std::string TRestoreGrid::CellText(int col, int entry) {
    zip::TUnZipper& z = entries_;
    switch (col) {
    case 1:
        return z.Filename(entry) + (z.IsEncrypted(entry) ? "+" : "");
    case 2:
        return z.Pathname(entry);
    case 3: {
        SYSTEMTIME time{};
        const uint32_t dos = z.DosDateTime(entry);
        FILETIME local;
        if (!DosDateTimeToFileTime(static_cast<WORD>(dos >> 16), static_cast<WORD>(dos), &local) ||
            !FileTimeToSystemTime(&local, &time))
            return " ";
        char date[64] = "", clock[64] = "";
        GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, sizeof date);
        GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &time, nullptr, clock, sizeof clock);
        return std::string(" ") + date + " " + clock;
    }
    case 4:
        return FormatThousands(z.UncompressedSize(entry));
    case 5:
        return std::to_string(Ratio(z.CompressedSize(entry), z.UncompressedSize(entry))) + "%";
    case 6:
        return FormatThousands(z.CompressedSize(entry));
    default:
        return {};
    }
}

void TRestoreGrid::DrawGrid1DrawCell(gui::TCanvas& canvas, int col, int row, const RECT& rect, unsigned) {
    if (row == 0) {
        static const char* headers[7] = {"Name", "", "Path", "Modified", "Size", "Ratio", "Packed"};
        const bool sortColumn = col == RestoreSortColumn || (col == 0 && RestoreSortColumn == 1);
        canvas.Brush.Color = sortColumn ? kLime : gui::clBtnFace;
        canvas.Pen.Color = gui::clBlack;
        canvas.Font.Color = gui::clBlack;
        canvas.Rectangle(rect.left, rect.top, rect.right, rect.bottom);
        if (col == 0 || col >= 2)
            canvas.TextRect(RECT{rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1}, rect.left + 3,
                            rect.top + 1, headers[col]);
        return;
    }
    if (row - 1 >= RestoreRowMap.Count()) return;
    const int entry = static_cast<int>(RestoreRowMap.Objects(row - 1));
    const bool selected = entries_.Selected(entry);
    canvas.Brush.Color = selected ? kNavy : gui::clWindow;
    canvas.Font.Color =
        selected ? static_cast<gui::TColor>(GetSysColor(COLOR_HIGHLIGHTTEXT)) : gui::clWindowText;
    canvas.FillRect(rect);
    if (col == 0) {
        const std::string name = entries_.Filename(entry);
        canvas.DrawImage(gui::SystemSmallImages(), gui::SmallIconIndex(name, name.empty()), rect.left + 2,
                         rect.top);
    } else {
        const std::string text = CellText(col, entry);
        const bool right = col >= 4;
        const int x = right ? rect.right - 3 - canvas.TextWidth(text) : rect.left + 2;
        canvas.TextRect(rect, x, rect.top + 1, text);
    }
    if (row == DrawGrid1->Row()) {
        canvas.Pen.Color = kNavy;
        canvas.FrameRowCell(rect, col == 0, col == 6);
    }
}

bool TRestoreGrid::RowSelected(int row) {
    return row >= 1 && row <= RestoreRowMap.Count() &&
           entries_.Selected(static_cast<int>(RestoreRowMap.Objects(row - 1)));
}

void TRestoreGrid::SetRowState(int row, bool on) {
    if (row < 1 || row > RestoreRowMap.Count()) return;
    entries_.SetSelected(static_cast<int>(RestoreRowMap.Objects(row - 1)), on);
    DrawGrid1->InvalidateRow(row);
}

void TRestoreGrid::ToggleRow(int row) {
    SetRowState(row, !RowSelected(row));
}

void TRestoreGrid::ApplyClick(int row, bool shift, bool ctrl) {
    if (row < 1 || row > RestoreRowMap.Count()) return;
    const bool state = !RowSelected(row);
    if (shift && SelectionAnchor >= 1) {
        const int from = std::min(SelectionAnchor, row), to = std::max(SelectionAnchor, row);
        for (int r = from; r <= to; ++r)
            SetRowState(r, state);
    } else {
        SetRowState(row, state);
        // A Ctrl move: the row left takes the same state.
        if (ctrl && (MovedUp || MovedDown)) SetRowState(MovedUp ? row + 1 : row - 1, state);
    }
    SelectionAnchor = row;
    DrawGrid1->Invalidate();
    Changed();
}

void TRestoreGrid::MoveFocus(int row) {
    DrawGrid1->SetRow(row);
    DrawGrid1->ScrollIntoView();
    DrawGrid1->Invalidate();
}

void TRestoreGrid::DrawGrid1KeyDown(WORD& key, gui::TShiftState shift) {
    const int count = RestoreRowMap.Count();
    if (count < 1) return;
    ShiftDown = (shift & gui::ssShift) != 0;
    CtrlDown = (shift & gui::ssCtrl) != 0;
    MovedUp = MovedDown = false;
    const int current = std::max(1, DrawGrid1->Row());
    const int page = std::max(1, DrawGrid1->VisibleRowCount());
    auto moveTo = [&](int row, bool byShift) {
        row = std::clamp(row, 1, count);
        if (byShift) {
            if (SelectionAnchor < 1) SelectionAnchor = current;
            MoveFocus(row);
            ApplyClick(row, true, false);
        } else {
            MoveFocus(row);
        }
    };
    switch (key) {
    case VK_SPACE:
        ApplyClick(current, false, true);
        break;
    case VK_UP:
    case VK_DOWN: {
        const int row = std::clamp(current + (key == VK_UP ? -1 : 1), 1, count);
        if (row == current) break; // at the first or last row: nothing moves, nothing toggles
        if (CtrlDown && !ShiftDown) {
            MovedUp = key == VK_UP;
            MovedDown = !MovedUp;
            MoveFocus(row);
            ApplyClick(row, false, true);
            MovedUp = MovedDown = false;
        } else {
            moveTo(row, ShiftDown);
        }
        break;
    }
    case VK_PRIOR:
    case VK_NEXT: {
        const int row = current + (key == VK_PRIOR ? -page : page);
        if (CtrlDown) SelectionAnchor = current;
        moveTo(row, ShiftDown || CtrlDown);
        break;
    }
    case VK_HOME:
    case VK_END:
        moveTo(key == VK_HOME ? 1 : count, ShiftDown);
        break;
    case VK_LEFT:
    case VK_RIGHT:
        DrawGrid1->SetLeftCol(std::clamp(DrawGrid1->LeftCol() + (key == VK_LEFT ? -1 : 1), 0, 6));
        break;
    case 'A':
        if (CtrlDown) SelectAll(!ShiftDown);
        break;
    default:
        break;
    }
    key = 0;
    Changed();
}

void TRestoreGrid::DrawGrid1KeyUp(WORD& key, gui::TShiftState) {
    if (key == VK_SHIFT) ShiftDown = false;
    if (key == VK_CONTROL) CtrlDown = false;
}

void TRestoreGrid::DrawGrid1MouseDown(gui::TShiftState, int x, int y) {
    int col = -1, row = -1;
    if (DrawGrid1->MouseToCell(x, y, col, row) && row == 0 && DrawGrid1->FixedRows() > 0)
        DrawGrid1DblClick(col);
}

void TRestoreGrid::DrawGrid1SelectCell(int, int row, bool& canSelect) {
    canSelect = true;
    if (FocusOnly) {
        FocusOnly = false;
        DrawGrid1->Invalidate();
        return;
    }
    // A click has been handled by the grid before its mouse event: the keys are read now.
    const gui::TShiftState keys = gui::KeyboardShiftState();
    ApplyClick(row, (keys & gui::ssShift) != 0, (keys & gui::ssCtrl) != 0);
}

void TRestoreGrid::FillRowMap(int column) {
    zip::TUnZipper& z = entries_;
    RestoreRowMap.SetSorted(false);
    RestoreRowMap.Clear();
    for (int i = 0; i < z.Count(); ++i) {
        std::string key;
        switch (column) {
        case 2:
            key = z.Pathname(i);
            break;
        case 3:
            key = Padded(z.DosDateTime(i) == 0 ? 0 : static_cast<uint64_t>(z.DateTime(i) * 86400.0));
            break;
        case 4:
            key = Padded(z.UncompressedSize(i));
            break;
        case 5:
            // Entries that grew have ratios below -100 %: the offset keeps every key positive.
            key = Padded(
                static_cast<uint64_t>(Ratio(z.CompressedSize(i), z.UncompressedSize(i)) + kRatioOffset));
            break;
        case 6:
            key = Padded(z.CompressedSize(i));
            break;
        default:
            key = z.Filename(i);
            break;
        }
        RestoreRowMap.Add(key, i);
    }
    RestoreRowMap.SetSorted(true);
}

void TRestoreGrid::DrawGrid1DblClick(int col) {
    if (sorting_ || RestoreRowMap.Count() == 0) return;
    sorting_ = true;
    const zip::TCursorSeam cursor = zip::ScreenCursor();
    const zip::TZipCursor previous = cursor(zip::TZipCursor::HourGlass);
    if (col == 0) col = 1;
    if (col == RestoreSortColumn) {
        RestoreRowMap.SetSorted(false);
        RestoreRowMap.Reverse();
    } else {
        RestoreSortColumn = col;
        FillRowMap(col);
    }
    cursor(previous);
    DrawGrid1->Invalidate();
    sorting_ = false;
}

} // namespace ui
