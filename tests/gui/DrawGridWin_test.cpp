// The owner-drawn grid: painted into a memory bitmap and checked by pixel, driven by real
// mouse, keyboard and scroll messages.

#include "VisualWinSupport.h"
#include "gui/DrawGrid.h"

using namespace gui;

namespace {

class DrawGridTest : public testsupport::VisualTest {
  protected:
    void SetUp() override {
        VisualTest::SetUp();
        grid = &form->Create<TDrawGrid>(*form, "DrawGrid1", TBounds{0, 0, 300, 200}, 3, 50);
        grid->SetDefaultRowHeight(20);
        for (int col = 0; col < 3; ++col)
            grid->SetColWidths(col, 80);
        // Header lime, selected row navy: the colours the list views use.
        grid->OnDrawCell = [this](TCanvas& canvas, int col, int row, const RECT& rect, TGridDrawState state) {
            ++drawn;
            if (state & gdFixed)
                canvas.Brush.Color = clLime;
            else if (state & gdSelected)
                canvas.Brush.Color = clNavy;
            else
                canvas.Brush.Color = clWhite;
            canvas.Font.Color = (state & gdSelected) ? clWhite : clBlack;
            canvas.TextRect(rect, rect.left + 2, rect.top + 2,
                            std::to_string(col) + "," + std::to_string(row));
        };
    }
    TDrawGrid* grid = nullptr;
    int drawn = 0;
};

TEST_F(DrawGridTest, PaintsHeaderAndSelectedRowThroughTheCellHandler) {
    grid->SetRow(2);
    testsupport::PaintedPixels pixels(grid->Handle());
    EXPECT_GT(drawn, 0);
    EXPECT_EQ(pixels.At(60, 1), RGB(0, 255, 0)) << "header";
    EXPECT_EQ(pixels.At(60, 2 * 20 + 18), RGB(0, 0, 128)) << "selected row, whole width";
    EXPECT_EQ(pixels.At(240 - 5, 2 * 20 + 18), RGB(0, 0, 128));
    EXPECT_EQ(pixels.At(60, 1 * 20 + 18), RGB(255, 255, 255));
    EXPECT_NE(pixels.At(79, 30), RGB(255, 255, 255)) << "grid line between columns";

    // After scrolling the header stays and the rows move.
    grid->SetTopRow(10);
    grid->SetRow(11);
    testsupport::PaintedPixels scrolled(grid->Handle());
    EXPECT_EQ(scrolled.At(60, 1), RGB(0, 255, 0));
    EXPECT_EQ(scrolled.At(60, 2 * 20 + 18), RGB(0, 0, 128));
}

TEST_F(DrawGridTest, ClicksAndKeysSelectThroughOnSelectCell) {
    int col = -1, row = -1;
    EXPECT_TRUE(grid->MouseToCell(85, 45, col, row));
    EXPECT_EQ(col, 1);
    EXPECT_EQ(row, 2);
    EXPECT_FALSE(grid->MouseToCell(260, 45, col, row)) << "right of the last column";

    std::vector<int> asked;
    bool refuse = false;
    grid->OnSelectCell = [&](int, int r, bool& canSelect) {
        asked.push_back(r);
        canSelect = !refuse;
    };
    int mouseDowns = 0;
    grid->OnMouseDown = [&](TMouseButton, TShiftState, int, int) { ++mouseDowns; };
    Click(grid->Handle(), 85, 65);
    EXPECT_EQ(grid->Row(), 3);
    EXPECT_EQ(grid->Col(), 1);
    EXPECT_EQ(mouseDowns, 1);
    Click(grid->Handle(), 85, 5);
    EXPECT_EQ(grid->Row(), 3) << "the header is not selectable";

    PressKey(grid->Handle(), VK_DOWN);
    EXPECT_EQ(grid->Row(), 4);
    refuse = true;
    PressKey(grid->Handle(), VK_DOWN);
    EXPECT_EQ(grid->Row(), 4);
    EXPECT_EQ(asked, (std::vector<int>{3, 4, 5}));
    refuse = false;

    // A handler that takes the key keeps the grid from moving.
    grid->OnKeyDown = [](WORD& key, TShiftState) {
        if (key == VK_END) key = 0;
    };
    PressKey(grid->Handle(), VK_END);
    EXPECT_EQ(grid->Row(), 4);

    int topLeftChanges = 0;
    grid->OnTopLeftChanged = [&] { ++topLeftChanges; };
    PressKey(grid->Handle(), VK_NEXT);
    EXPECT_GT(grid->Row(), 4 + 5);
    EXPECT_GT(grid->TopRow(), 1);
    EXPECT_EQ(topLeftChanges, 1);
    EXPECT_LT(grid->Row() - grid->TopRow(), grid->VisibleRowCount());
}

TEST_F(DrawGridTest, AHeaderSpanIsOneCellAndAClickOnTheCurrentCellStillSelects) {
    grid->SetHeaderSpan(0, 2);
    std::vector<RECT> headers;
    auto paint = grid->OnDrawCell;
    grid->OnDrawCell = [&](TCanvas& canvas, int col, int row, const RECT& rect, TGridDrawState state) {
        if (row == 0) headers.push_back(rect);
        paint(canvas, col, row, rect, state);
    };
    testsupport::PaintedPixels pixels(grid->Handle());
    ASSERT_EQ(headers.size(), 2u) << "columns 0 and 1 as one, then column 2";
    EXPECT_EQ(headers[0].left, 0);
    EXPECT_EQ(headers[0].right, 159);
    EXPECT_EQ(pixels.At(79, 18), RGB(0, 255, 0)) << "no grid line inside the span";
    EXPECT_NE(pixels.At(79, 30), RGB(255, 255, 255)) << "the rows below keep theirs";
    EXPECT_NE(pixels.At(159, 18), RGB(0, 255, 0));

    // Scrolled by a column, the span's rest still draws as the same cell.
    grid->SetLeftCol(1);
    headers.clear();
    testsupport::PaintedPixels scrolled(grid->Handle());
    ASSERT_FALSE(headers.empty());
    EXPECT_EQ(headers[0].left, -80);

    std::vector<int> asked;
    grid->OnSelectCell = [&](int, int row, bool&) { asked.push_back(row); };
    grid->SetLeftCol(0);
    Click(grid->Handle(), 85, 45);
    Click(grid->Handle(), 85, 45);
    EXPECT_EQ(asked, (std::vector<int>{2, 2}));
    PressKey(grid->Handle(), VK_HOME);
    PressKey(grid->Handle(), VK_UP);
    EXPECT_EQ(asked, (std::vector<int>{2, 2, 1})) << "a key that moves nowhere selects nothing";
}

TEST_F(DrawGridTest, UserSizesColumnsOnTheHeaderBorder) {
    SendMessageA(grid->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(79, 10));
    SendMessageA(grid->Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(120, 10));
    SendMessageA(grid->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(120, 10));
    EXPECT_EQ(grid->ColWidths(0), 120);
    SendMessageA(grid->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(119, 10));
    SendMessageA(grid->Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(-50, 10));
    SendMessageA(grid->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(-50, 10));
    EXPECT_EQ(grid->ColWidths(0), grid->MinColWidth);
    // Away from a border the header click sizes nothing.
    Click(grid->Handle(), 30, 10);
    EXPECT_EQ(grid->ColWidths(1), 80);
}

TEST_F(DrawGridTest, ThumbPositionsPastSixteenBitsScrollToTheRightRow) {
    grid->SetRowCount(200'001);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE;
    GetScrollInfo(grid->Handle(), SB_VERT, &info);
    EXPECT_EQ(info.nMax, 199'999);

    info.fMask = SIF_POS;
    info.nPos = 150'000;
    SetScrollInfo(grid->Handle(), SB_VERT, &info, FALSE);
    // The message itself can only carry the low 16 bits of the position.
    SendMessageA(grid->Handle(), WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 150'000 & 0xFFFF), 0);
    EXPECT_EQ(grid->TopRow(), 150'001);
    SendMessageA(grid->Handle(), WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
    EXPECT_EQ(grid->TopRow() + grid->VisibleRowCount(), 200'001);
    SendMessageA(grid->Handle(), WM_VSCROLL, MAKEWPARAM(SB_LINEUP, 0), 0);
    EXPECT_EQ(grid->TopRow() + grid->VisibleRowCount(), 200'000);
}

TEST_F(DrawGridTest, CellsDrawFileIconsOfTheSystemList) {
    HIMAGELIST images = SystemSmallImages();
    ASSERT_NE(images, nullptr);
    const int textIcon = SystemIconIndex("notes.txt", false);
    const int folderIcon = SystemIconIndex("photos", true);
    ASSERT_GE(textIcon, 0);
    ASSERT_GE(folderIcon, 0);
    // One cache for every grid: keyed by the whole extension in either case, "*" without one.
    EXPECT_EQ(SmallIconKey("Index.HTML", false), "HTML");
    EXPECT_EQ(SmallIconKey("page.htm", false), "HTM");
    EXPECT_EQ(SmallIconKey("README", false), "*");
    EXPECT_EQ(SmallIconKey("photos", true), "[FOLDER]");
    EXPECT_EQ(SmallIconIndex("NOTES.TXT", false), textIcon);
    EXPECT_EQ(SmallIconIndex("", true), folderIcon);
    grid->OnDrawCell = [&](TCanvas& canvas, int, int row, const RECT& rect, TGridDrawState) {
        canvas.Brush.Color = clWhite;
        canvas.FillRect(rect);
        if (row == 1) canvas.DrawImage(images, textIcon, rect.left, rect.top);
    };
    testsupport::PaintedPixels pixels(grid->Handle());
    int marked = 0;
    for (int y = 20; y < 36; ++y)
        for (int x = 0; x < 16; ++x)
            marked += pixels.At(x, y) != RGB(255, 255, 255);
    EXPECT_GT(marked, 20) << "the icon left its pixels in the cell";
}

} // namespace
