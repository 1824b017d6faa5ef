// Standard controls driven through their real messages and read back through their HWNDs.

#include "VisualWinSupport.h"
#include "gui/CheckBox.h"
#include "gui/ComboBox.h"
#include "gui/CompareText.h"
#include "gui/Edit.h"
#include "gui/Hint.h"
#include "gui/Label.h"
#include "gui/ListBox.h"
#include "gui/Memo.h"
#include "gui/Panel.h"
#include "gui/ProgressBar.h"
#include "gui/Splitter.h"
#include "gui/TrackBar.h"

#include <commctrl.h>

using namespace gui;

namespace {

class ControlsTest : public testsupport::VisualTest {};

std::string ListText(HWND list, int index) {
    char text[256] = {};
    SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

TEST_F(ControlsTest, SortedListBoxOrdersByTheLayersComparisonNotTheLocale) {
    auto& list = form->Create<TListBox>(*form, "ListBox1", TBounds{8, 8, 200, 200}, true, true);
    // Punctuation sorts by byte after case folding; a locale "word sort" would ignore it.
    for (const char* name : {"a_b", "abc", "Ab-c", "ab", "AB"})
        list.Items().Add(name);
    const std::vector<std::string> expected{"ab", "AB", "Ab-c", "abc", "a_b"};
    ASSERT_EQ(list.Items().Count(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ListText(list.Handle(), i), expected[static_cast<size_t>(i)]) << i;

    // Bulk fill merges with one sort and keeps the order a one-by-one fill gives.
    std::vector<std::string> many;
    for (int i = 0; i < 2000; ++i)
        many.push_back((i % 3 ? "x" : "X") + std::to_string((i * 7919) % 2003));
    list.Items().AddStrings(many);
    ASSERT_EQ(list.Items().Count(), 2005);
    for (int i = 1; i < list.Items().Count(); ++i)
        ASSERT_LE(CompareTextI(ListText(list.Handle(), i - 1), ListText(list.Handle(), i)), 0) << i;
    EXPECT_EQ(list.Items().IndexOf("A_B"), 4);
}

TEST_F(ControlsTest, ListBoxMultiSelectClicksInsertAtTopAndItemAtPos) {
    auto& list = form->Create<TListBox>(*form, "ListBox2", TBounds{8, 8, 200, 200}, true);
    for (const char* line : {"one", "two", "three", "four"})
        list.Items().Add(line, 7);
    int changes = 0, doubleClicks = 0;
    list.OnChange = [&] { ++changes; };
    list.OnDblClick = [&] { ++doubleClicks; };

    RECT second{}, fourth{};
    SendMessageA(list.Handle(), LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second));
    SendMessageA(list.Handle(), LB_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&fourth));
    Click(list.Handle(), second.left + 2, second.top + 2);
    Click(list.Handle(), fourth.left + 2, fourth.top + 2, MK_CONTROL);
    EXPECT_EQ(list.SelCount(), 2);
    EXPECT_TRUE(list.Selected(1));
    EXPECT_TRUE(list.Selected(3));
    EXPECT_FALSE(list.Selected(0));
    EXPECT_GE(changes, 2);
    EXPECT_EQ(list.ItemAtPos(fourth.left + 2, fourth.top + 2), 3);
    EXPECT_EQ(list.ItemAtPos(2, 190), -1);

    SendMessageA(list.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(second.left + 2, second.top + 2));
    EXPECT_EQ(doubleClicks, 1);

    // The log view puts the newest line first; objects stay with their lines.
    list.Items().Insert(0, "newest", 42);
    EXPECT_EQ(ListText(list.Handle(), 0), "newest");
    EXPECT_EQ(list.Items().Objects(0), 42);
    EXPECT_EQ(list.Items().Objects(1), 7);
    list.Items().Set(2, "TWO");
    EXPECT_EQ(ListText(list.Handle(), 2), "TWO");
    EXPECT_EQ(list.Items().Objects(2), 7);
}

TEST_F(ControlsTest, EditChangesFireForTypingOnlyAndMaskTogglesAtRunTime) {
    auto& edit = form->Create<TEdit>(*form, "Edit1", TBounds{8, 8, 150, 21});
    auto& other = form->Create<TEdit>(*form, "Edit2", TBounds{8, 40, 150, 21});
    int changes = 0, exits = 0;
    edit.OnChange = [&] { ++changes; };
    edit.OnExit = [&] { ++exits; };

    edit.SetText("secret");
    EXPECT_EQ(changes, 0);
    SendMessageA(edit.Handle(), WM_CHAR, 'x', 1);
    EXPECT_EQ(changes, 1);
    EXPECT_NE(edit.Text().find('x'), std::string::npos);

    edit.SetPasswordChar('*');
    EXPECT_EQ(SendMessageA(edit.Handle(), EM_GETPASSWORDCHAR, 0, 0), '*');
    edit.SetPasswordChar(0);
    EXPECT_EQ(SendMessageA(edit.Handle(), EM_GETPASSWORDCHAR, 0, 0), 0);
    EXPECT_EQ(edit.Text().size(), 7u);

    SendMessageA(edit.Handle(), WM_KILLFOCUS, reinterpret_cast<WPARAM>(other.Handle()), 0);
    EXPECT_EQ(exits, 1);
}

TEST_F(ControlsTest, CheckBoxesAndRadioGroupsFollowClicksAndCode) {
    auto& check = form->Create<TCheckBox>(*form, "CheckBox1", TBounds{8, 8, 150, 20}, "&Catalog");
    int checkClicks = 0;
    check.OnClick = [&] { ++checkClicks; };
    SendMessageA(check.Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(check.Checked());
    EXPECT_EQ(checkClicks, 1);
    check.SetChecked(false);
    EXPECT_EQ(SendMessageA(check.Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(checkClicks, 1);

    auto& r1 = form->Create<TRadioButton>(*form, "RadioButton1", TBounds{8, 40, 100, 20}, "One", true);
    auto& r2 = form->Create<TRadioButton>(*form, "RadioButton2", TBounds{8, 60, 100, 20}, "Two");
    auto& r3 = form->Create<TRadioButton>(*form, "RadioButton3", TBounds{8, 90, 100, 20}, "Three", true);
    auto& r4 = form->Create<TRadioButton>(*form, "RadioButton4", TBounds{8, 110, 100, 20}, "Four");
    auto& r5 = form->Create<TRadioButton>(*form, "RadioButton5", TBounds{8, 130, 100, 20}, "Five");
    r1.SetChecked(true);
    r4.SetChecked(true);
    r5.SetChecked(true);
    EXPECT_TRUE(r1.Checked());
    EXPECT_FALSE(r4.Checked());
    EXPECT_TRUE(r5.Checked());
    EXPECT_FALSE(r3.Checked());

    int r2Clicks = 0;
    r2.OnClick = [&] { ++r2Clicks; };
    SendMessageA(r2.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(r2Clicks, 1);
    EXPECT_TRUE(r2.Checked());
    EXPECT_FALSE(r1.Checked());
    EXPECT_TRUE(r5.Checked());
}

TEST_F(ControlsTest, ComboTrackBarAndProgressBarReportUserChangesAndWideRanges) {
    auto& list = form->Create<TComboBox>(*form, "cbSpeed", TBounds{8, 8, 120, 21});
    for (const char* speed : {"1x", "2x", "4x"})
        list.Items().Add(speed);
    int changes = 0;
    list.OnChange = [&] { ++changes; };
    list.SetText("2x");
    EXPECT_EQ(SendMessageA(list.Handle(), CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(changes, 0);
    PressKey(list.Handle(), VK_DOWN);
    EXPECT_EQ(list.ItemIndex(), 2);
    EXPECT_EQ(changes, 1);
    int drops = 0, closes = 0;
    list.OnDropDown = [&] { ++drops; };
    list.OnCloseUp = [&] { ++closes; };
    SendMessageA(list.Handle(), CB_SHOWDROPDOWN, TRUE, 0);
    SendMessageA(list.Handle(), CB_SHOWDROPDOWN, FALSE, 0);
    EXPECT_EQ(drops, 1);
    EXPECT_EQ(closes, 1);
    list.SetEnabled(false);
    EXPECT_EQ(list.Text(), "4x");

    auto& editable = form->Create<TComboBox>(*form, "ComboBox1", TBounds{8, 40, 120, 21}, true);
    editable.SetText("typed by code");
    EXPECT_EQ(editable.Text(), "typed by code");
    editable.SetDroppedWidth(300);
    EXPECT_EQ(editable.DroppedWidth(), 300);

    auto& track = form->Create<TTrackBar>(*form, "TrackBar1", TBounds{8, 80, 200, 30});
    int moves = 0;
    track.OnChange = [&] { ++moves; };
    track.SetRange(0, 10);
    track.SetPosition(3);
    EXPECT_EQ(moves, 0);
    PressKey(track.Handle(), VK_RIGHT);
    EXPECT_EQ(SendMessageA(track.Handle(), TBM_GETPOS, 0, 0), 4);
    EXPECT_EQ(moves, 1);

    auto& progress = form->Create<TProgressBar>(*form, "ProgressBar1", TBounds{8, 120, 200, 16});
    progress.SetRange(0, 4'000'000);
    progress.SetPosition(3'500'000);
    EXPECT_EQ(SendMessageA(progress.Handle(), PBM_GETRANGE, FALSE, 0), 4'000'000);
    EXPECT_EQ(SendMessageA(progress.Handle(), PBM_GETPOS, 0, 0), 3'500'000);
    progress.SetRange(0, 100);
    EXPECT_EQ(progress.Step(), 10);
    progress.SetPosition(95);
    progress.StepIt();
    EXPECT_LT(progress.Position(), 95) << "StepIt wraps past the maximum";
}

// The bar's messages, as the control receives them, counted through a window procedure put
// in front of the control's own.
WNDPROC progressProc = nullptr;
int progressSets = 0;
LRESULT CALLBACK CountProgressSets(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == PBM_SETPOS || message == PBM_SETRANGE32) ++progressSets;
    return CallWindowProcA(progressProc, window, message, wParam, lParam);
}

TEST_F(ControlsTest, ProgressBarSendsOnlyChangesAndFollowsWhatTheControlDidItself) {
    auto& progress = form->Create<TProgressBar>(*form, "ProgressBar3", TBounds{8, 120, 200, 16});
    progressProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(progress.Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountProgressSets)));
    progressSets = 0;
    // A job's per-file calls: the same range and position again and again.
    for (int file = 0; file < 50; ++file) {
        progress.SetMax(100);
        progress.SetPosition(0);
    }
    EXPECT_EQ(progressSets, 1) << "only the first position is sent; the range is the bar's already";
    progress.SetPosition(40);
    EXPECT_EQ(progress.Position(), 40);

    // A narrower range pulls the position inside; the same position asked for again after the
    // range is back is shown, not taken for the one the bar already has.
    progress.SetPosition(80);
    progress.SetMax(50);
    EXPECT_EQ(progress.Position(), 50);
    progress.SetMax(100);
    progress.SetPosition(80);
    EXPECT_EQ(progress.Position(), 80);
    EXPECT_EQ(SendMessageA(progress.Handle(), PBM_GETRANGE, FALSE, 0), 100);

    // A step moves the bar itself.
    progress.StepIt();
    EXPECT_EQ(progress.Position(), 90);
    progress.SetPosition(80);
    EXPECT_EQ(progress.Position(), 80);
    SetWindowLongPtrA(progress.Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(progressProc));
}

TEST_F(ControlsTest, MemoHoldsMoreThanTheDefaultLimitAndDropsOldestLines) {
    auto& memo = form->Create<TMemo>(*form, "Memo1", TBounds{8, 8, 300, 200});
    EXPECT_GT(memo.TextLimit(), 1'000'000u);
    const std::string longLine(1000, 'x');
    for (int i = 0; i < 100; ++i)
        memo.AddLine(longLine);
    EXPECT_EQ(memo.LineCount(), 100);
    EXPECT_GT(GetWindowTextLengthA(memo.Handle()), 100'000);

    memo.Clear();
    EXPECT_EQ(memo.LineCount(), 0);
    memo.MaxLines = 3;
    for (int i = 1; i <= 5; ++i)
        memo.AddLine("line " + std::to_string(i));
    ASSERT_EQ(memo.LineCount(), 3);
    EXPECT_EQ(memo.Line(0), "line 3");
    EXPECT_EQ(memo.Line(2), "line 5");
}

TEST_F(ControlsTest, LabelsClickColourAndCarryMultiLineHints) {
    auto& label = form->Create<TLabel>(*form, "Label21", TBounds{8, 8, 200, 16}, "Status");
    int clicks = 0;
    label.OnClick = [&] { ++clicks; };
    Click(label.Handle(), 3, 3);
    EXPECT_EQ(clicks, 1);

    // The colour request goes to the parent, which hands it back to the label.
    label.SetFontColor(clRed);
    HDC dc = CreateCompatibleDC(nullptr);
    SendMessageA(form->Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(label.Handle()));
    EXPECT_EQ(GetTextColor(dc), RGB(255, 0, 0));
    DeleteDC(dc);

    label.SetHint("first line\rsecond line");
    EXPECT_EQ(form->Hints().TextOf(label.Handle()), "first line\r\nsecond line");
    label.SetHint("");
    EXPECT_EQ(form->Hints().TextOf(label.Handle()), "");
    // The application's hide pause (45 s), set after the form was made, is more than the
    // tooltip keeps reliably.
    const int previousPause = Application().HintHidePause;
    Application().HintHidePause = 45000;
    label.SetHint("a hint");
    Application().HintHidePause = previousPause;
    EXPECT_EQ(SendMessageA(form->Hints().Handle(), TTM_GETDELAYTIME, TTDT_AUTOPOP, 0),
              THintHost::maxHidePause);
}

TEST_F(ControlsTest, SplitterDragResizesItsTargetWithinLimits) {
    auto& panel = form->Create<TPanel>(*form, "Panel12", TBounds{0, 0, 150, 300});
    panel.MinWidth = 85;
    auto& splitter = form->Create<TSplitter>(*form, "Splitter1", TBounds{150, 0, 4, 300}, panel);
    splitter.MinSize = 10;
    int moved = 0;
    bool refuse = false;
    splitter.OnMoved = [&] { ++moved; };
    splitter.OnCanResize = [&](int&, bool& accept) { accept = !refuse; };

    SendMessageA(splitter.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 50));
    SendMessageA(splitter.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(42, 50));
    SendMessageA(splitter.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(42, 50));
    EXPECT_EQ(panel.Width(), 190);
    EXPECT_EQ(splitter.Left(), 190);
    EXPECT_EQ(moved, 1);

    splitter.MoveTo(20);
    EXPECT_EQ(panel.Width(), 85) << "the panel's minimum width wins";

    refuse = true;
    splitter.MoveTo(200);
    EXPECT_EQ(panel.Width(), 85);
}

} // namespace
