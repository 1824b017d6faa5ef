#include "gui/DrawGrid.h"

#include <algorithm>

namespace gui {

namespace {
constexpr int defaultColWidth = 64;
constexpr int sizingZone = 3;
} // namespace

TDrawGrid::TDrawGrid(TParent parent, std::string name, TBounds bounds, int colCount, int rowCount,
                     int fixedRows)
    : TControl(parent, std::move(name)),
      colWidths_(static_cast<size_t>(std::max(colCount, 1)), defaultColWidth),
      rowCount_(std::max(rowCount, fixedRows)), fixedRows_(fixedRows), row_(fixedRows), topRow_(fixedRows) {
    RegisterControlClass("TDrawGrid", CS_DBLCLKS, nullptr);
    CreateHandle("TDrawGrid", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL, WS_EX_CLIENTEDGE, {},
                 bounds);
    UpdateScrollBars();
}

void TDrawGrid::SetColCount(int count) {
    colWidths_.resize(static_cast<size_t>(std::max(count, 1)), defaultColWidth);
    if (!headerSpans_.empty()) headerSpans_.resize(colWidths_.size(), 1);
    col_ = std::min(col_, ColCount() - 1);
    leftCol_ = std::min(leftCol_, ColCount() - 1);
    UpdateScrollBars();
    Invalidate();
}

void TDrawGrid::SetRowCount(int count) {
    rowCount_ = std::max(count, fixedRows_);
    row_ = std::clamp(row_, fixedRows_, std::max(fixedRows_, rowCount_ - 1));
    topRow_ = std::clamp(topRow_, fixedRows_, std::max(fixedRows_, rowCount_ - VisibleRowCount()));
    UpdateScrollBars();
    Invalidate();
}

void TDrawGrid::SetFixedRows(int count) {
    fixedRows_ = std::clamp(count, 0, 1);
    rowCount_ = std::max(rowCount_, fixedRows_);
    row_ = std::max(row_, fixedRows_);
    topRow_ = std::max(topRow_, fixedRows_);
    UpdateScrollBars();
    Invalidate();
}

void TDrawGrid::SetDefaultRowHeight(int height) {
    rowHeight_ = std::max(height, 1);
    UpdateScrollBars();
    Invalidate();
}

void TDrawGrid::SetColWidths(int col, int width) {
    colWidths_.at(static_cast<size_t>(col)) = std::max(width, 0);
    UpdateScrollBars();
    Invalidate();
}

void TDrawGrid::SetRow(int row) {
    if (row < fixedRows_ || row >= rowCount_) return;
    InvalidateRow(row_);
    row_ = row;
    InvalidateRow(row_);
}

void TDrawGrid::SetCol(int col) {
    if (col < 0 || col >= ColCount()) return;
    col_ = col;
    InvalidateRow(row_);
}

void TDrawGrid::SetTopRow(int row) {
    topRow_ = std::clamp(row, fixedRows_, std::max(fixedRows_, rowCount_ - 1));
    UpdateScrollBars();
    Invalidate();
}

void TDrawGrid::SetLeftCol(int col) {
    leftCol_ = std::clamp(col, 0, ColCount() - 1);
    UpdateScrollBars();
    Invalidate();
}

int TDrawGrid::VisibleRowCount() const {
    RECT client{};
    GetClientRect(Handle(), &client);
    const int rows = (static_cast<int>(client.bottom) - fixedRows_ * rowHeight_) / rowHeight_;
    return std::max(0, std::min(rows, rowCount_ - topRow_));
}

int TDrawGrid::ColLeft(int col) const {
    int x = 0;
    for (int c = leftCol_; c < col && c < ColCount(); ++c)
        x += colWidths_[static_cast<size_t>(c)];
    return x;
}

int TDrawGrid::RowTop(int row) const {
    if (row < fixedRows_) return row * rowHeight_;
    return (fixedRows_ + row - topRow_) * rowHeight_;
}

RECT TDrawGrid::CellRect(int col, int row) const {
    if (col < leftCol_ || col >= ColCount() || row < 0 || row >= rowCount_ ||
        (row >= fixedRows_ && row < topRow_))
        return {};
    const int left = ColLeft(col);
    const int top = RowTop(row);
    // The right and bottom pixel of every cell belong to the grid lines.
    return {left, top, left + colWidths_[static_cast<size_t>(col)] - 1, top + rowHeight_ - 1};
}

bool TDrawGrid::MouseToCell(int x, int y, int& col, int& row) const {
    col = row = -1;
    if (x < 0 || y < 0) return false;
    int left = 0;
    for (int c = leftCol_; c < ColCount(); ++c) {
        left += colWidths_[static_cast<size_t>(c)];
        if (x < left) {
            col = c;
            break;
        }
    }
    const int line = y / rowHeight_;
    const int candidate = line < fixedRows_ ? line : topRow_ + line - fixedRows_;
    if (col < 0 || candidate >= rowCount_) {
        col = -1;
        return false;
    }
    row = candidate;
    return true;
}

void TDrawGrid::InvalidateCell(int col, int row) {
    RECT rect = CellRect(col, row);
    InflateRect(&rect, 1, 1);
    InvalidateRect(Handle(), &rect, FALSE);
}

void TDrawGrid::InvalidateRow(int row) {
    if (row >= fixedRows_ && row < topRow_) return;
    RECT client{};
    GetClientRect(Handle(), &client);
    RECT rect{0, RowTop(row), client.right, RowTop(row) + rowHeight_};
    InvalidateRect(Handle(), &rect, FALSE);
}

void TDrawGrid::PaintTo(HDC dc) {
    RECT client{};
    GetClientRect(Handle(), &client);
    const bool focused = GetFocus() == Handle();
    {
        TCanvas background(dc);
        background.Brush.Color = Color() == clDefault ? clWindow : Color();
        background.FillRect(client);
    }
    const int lastLine = client.bottom / rowHeight_ + 1;
    int linesShown = 0;
    for (int line = 0; line <= lastLine; ++line) {
        const int row = line < fixedRows_ ? line : topRow_ + line - fixedRows_;
        if (row >= rowCount_) break;
        linesShown = line + 1;
        for (int col = leftCol_; col < ColCount(); ++col) {
            RECT rect = CellRect(col, row);
            if (rect.left >= client.right) break;
            int drawCol = col;
            if (row < fixedRows_) {
                // A span is drawn once, from its first visible column, as one rectangle that may
                // begin left of the view.
                const int start = SpanStart(col), end = SpanEnd(col);
                if (start != col && col != leftCol_) continue;
                for (int c = start; c < col; ++c)
                    rect.left -= colWidths_[static_cast<size_t>(c)];
                for (int c = col; c < end; ++c)
                    rect.right += c > col ? colWidths_[static_cast<size_t>(c)] : 0;
                drawCol = start;
            }
            TGridDrawState state = 0;
            if (row < fixedRows_)
                state |= gdFixed;
            else if (row == row_ && (RowSelect || col == col_))
                state |= gdSelected;
            if (focused && row == row_ && col == col_) state |= gdFocused;

            TCanvas canvas(dc);
            IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
            canvas.Brush.Color = (state & gdFixed)      ? clBtnFace
                                 : (state & gdSelected) ? clHighlight
                                                        : clWindow;
            canvas.Font.Color = (state & gdSelected) ? clHighlightText : clWindowText;
            canvas.FillRect(rect);
            if (OnDrawCell) OnDrawCell(canvas, drawCol, row, rect, state);
        }
    }
    // Grid lines on the right and bottom edge of every cell, none below the last row.
    TCanvas lines(dc);
    lines.Pen.Color = SystemColor(COLOR_BTNSHADOW);
    const int bottom = std::min(static_cast<int>(client.bottom), linesShown * rowHeight_);
    int x = 0;
    for (int col = leftCol_; col < ColCount() && x < client.right; ++col) {
        x += colWidths_[static_cast<size_t>(col)];
        const bool insideSpan = col + 1 < SpanEnd(col);
        lines.MoveTo(x - 1, insideSpan ? std::min(bottom, fixedRows_ * rowHeight_) : 0);
        lines.LineTo(x - 1, bottom);
    }
    for (int y = rowHeight_; y <= bottom; y += rowHeight_) {
        lines.MoveTo(0, y - 1);
        lines.LineTo(x, y - 1);
    }
}

void TDrawGrid::UpdateScrollBars() {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    const int scrollRows = rowCount_ - fixedRows_;
    info.nMin = 0;
    info.nMax = std::max(scrollRows - 1, 0);
    RECT client{};
    GetClientRect(Handle(), &client);
    info.nPage = static_cast<UINT>(
        std::max((static_cast<int>(client.bottom) - fixedRows_ * rowHeight_) / rowHeight_, 1));
    info.nPos = topRow_ - fixedRows_;
    SetScrollInfo(Handle(), SB_VERT, &info, TRUE);

    info.nMax = ColCount() - 1;
    info.nPage = 1;
    info.nPos = leftCol_;
    SetScrollInfo(Handle(), SB_HORZ, &info, TRUE);
}

void TDrawGrid::ScrollTo(int topRow, int leftCol) {
    RECT client{};
    GetClientRect(Handle(), &client);
    const int page = std::max((static_cast<int>(client.bottom) - fixedRows_ * rowHeight_) / rowHeight_, 1);
    topRow = std::clamp(topRow, fixedRows_, std::max(fixedRows_, rowCount_ - page));
    leftCol = std::clamp(leftCol, 0, ColCount() - 1);
    if (topRow == topRow_ && leftCol == leftCol_) return;
    topRow_ = topRow;
    leftCol_ = leftCol;
    UpdateScrollBars();
    Invalidate();
    if (OnTopLeftChanged) OnTopLeftChanged();
}

void TDrawGrid::ScrollIntoView() {
    RECT client{};
    GetClientRect(Handle(), &client);
    const int page = std::max((static_cast<int>(client.bottom) - fixedRows_ * rowHeight_) / rowHeight_, 1);
    int top = topRow_;
    if (row_ < top)
        top = row_;
    else if (row_ >= top + page)
        top = row_ - page + 1;
    int left = leftCol_;
    if (col_ < left) left = col_;
    ScrollTo(top, left);
}

void TDrawGrid::SetHeaderSpan(int col, int count) {
    if (col < 0 || col >= ColCount()) return;
    headerSpans_.resize(static_cast<size_t>(ColCount()), 1);
    count = std::clamp(count, 1, ColCount() - col);
    for (int c = col; c < col + count; ++c)
        headerSpans_[static_cast<size_t>(c)] = c == col ? count : 0;
    Invalidate();
}

int TDrawGrid::SpanStart(int col) const {
    while (col > 0 && col < static_cast<int>(headerSpans_.size()) &&
           headerSpans_[static_cast<size_t>(col)] == 0)
        --col;
    return col;
}

int TDrawGrid::SpanEnd(int col) const {
    const int start = SpanStart(col);
    const int count =
        start < static_cast<int>(headerSpans_.size()) ? headerSpans_[static_cast<size_t>(start)] : 1;
    return std::min(start + std::max(count, 1), ColCount());
}

void TDrawGrid::UserClick(int col, int row) {
    if (col != col_ || row != row_) return UserMoveTo(col, row);
    bool canSelect = true;
    if (OnSelectCell) OnSelectCell(col, row, canSelect);
    ScrollIntoView();
}

void TDrawGrid::UserMoveTo(int col, int row) {
    col = std::clamp(col, 0, ColCount() - 1);
    row = std::clamp(row, fixedRows_, std::max(fixedRows_, rowCount_ - 1));
    if (row >= rowCount_) return;
    if (col == col_ && row == row_) return ScrollIntoView();
    bool canSelect = true;
    if (OnSelectCell) OnSelectCell(col, row, canSelect);
    if (!canSelect) return;
    SetRow(row);
    SetCol(col);
    ScrollIntoView();
}

void TDrawGrid::VerticalScroll(WORD code) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(Handle(), SB_VERT, &info);
    const int page = static_cast<int>(std::max<UINT>(info.nPage, 1));
    int position = info.nPos;
    switch (code) {
    case SB_LINEUP:
        position -= 1;
        break;
    case SB_LINEDOWN:
        position += 1;
        break;
    case SB_PAGEUP:
        position -= page;
        break;
    case SB_PAGEDOWN:
        position += page;
        break;
    case SB_TOP:
        position = 0;
        break;
    case SB_BOTTOM:
        position = info.nMax;
        break;
    // The message carries 16 bits only; the scroll info has the full position.
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        position = info.nTrackPos;
        break;
    default:
        return;
    }
    ScrollTo(fixedRows_ + position, leftCol_);
}

void TDrawGrid::HorizontalScroll(WORD code) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(Handle(), SB_HORZ, &info);
    int position = info.nPos;
    switch (code) {
    case SB_LINELEFT:
    case SB_PAGELEFT:
        position -= 1;
        break;
    case SB_LINERIGHT:
    case SB_PAGERIGHT:
        position += 1;
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        position = info.nTrackPos;
        break;
    default:
        return;
    }
    ScrollTo(topRow_, position);
}

bool TDrawGrid::KeyDown(WORD key) {
    const int page = std::max(VisibleRowCount(), 1);
    switch (key) {
    case VK_UP:
        UserMoveTo(col_, row_ - 1);
        return true;
    case VK_DOWN:
        UserMoveTo(col_, row_ + 1);
        return true;
    case VK_PRIOR:
        UserMoveTo(col_, row_ - page);
        return true;
    case VK_NEXT:
        UserMoveTo(col_, row_ + page);
        return true;
    case VK_HOME:
        UserMoveTo(col_, fixedRows_);
        return true;
    case VK_END:
        UserMoveTo(col_, rowCount_ - 1);
        return true;
    case VK_LEFT:
        UserMoveTo(col_ - 1, row_);
        return true;
    case VK_RIGHT:
        UserMoveTo(col_ + 1, row_);
        return true;
    default:
        return false;
    }
}

// The column whose right border is under the point in the header, or -1.
int TDrawGrid::ColumnBorderAt(int x, int y) const {
    if (!ColSizing || fixedRows_ == 0 || y >= fixedRows_ * rowHeight_) return -1;
    int right = 0;
    for (int col = leftCol_; col < ColCount(); ++col) {
        right += colWidths_[static_cast<size_t>(col)];
        if (x >= right - sizingZone && x <= right + sizingZone) return col;
    }
    return -1;
}

LRESULT TDrawGrid::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const int x = static_cast<short>(LOWORD(lParam));
    const int y = static_cast<short>(HIWORD(lParam));
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(Handle(), &paint);
        PaintTo(dc);
        EndPaint(Handle(), &paint);
        return 0;
    }
    case WM_PRINTCLIENT:
        PaintTo(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
        UpdateScrollBars();
        break;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRow(row_);
        break;
    case WM_KEYDOWN:
        if (KeyDown(static_cast<WORD>(wParam))) return 0;
        break;
    case WM_VSCROLL:
        VerticalScroll(LOWORD(wParam));
        return 0;
    case WM_HSCROLL:
        HorizontalScroll(LOWORD(wParam));
        return 0;
    case WM_MOUSEWHEEL:
        ScrollTo(topRow_ - static_cast<short>(HIWORD(wParam)) / WHEEL_DELTA * 3, leftCol_);
        return 0;
    case WM_SETCURSOR: {
        POINT point{};
        GetCursorPos(&point);
        ScreenToClient(Handle(), &point);
        if (sizingCol_ >= 0 || ColumnBorderAt(point.x, point.y) >= 0) {
            ::SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32644))); // IDC_SIZEWE
            return TRUE;
        }
        break;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: {
        if (GetFocus() != Handle()) ::SetFocus(Handle());
        if (message == WM_LBUTTONDOWN && (sizingCol_ = ColumnBorderAt(x, y)) >= 0) {
            SetCapture(Handle());
            return 0;
        }
        int col = -1, row = -1;
        if (MouseToCell(x, y, col, row) && row >= fixedRows_) UserClick(col, row);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (sizingCol_ >= 0) SetColWidths(sizingCol_, std::max(MinColWidth, x - ColLeft(sizingCol_)));
        return 0;
    case WM_LBUTTONUP:
        if (sizingCol_ >= 0) {
            sizingCol_ = -1;
            ReleaseCapture();
        }
        return 0;
    case WM_CAPTURECHANGED:
        sizingCol_ = -1;
        return 0;
    default:
        break;
    }
    return DefaultHandler(message, wParam, lParam);
}

} // namespace gui
