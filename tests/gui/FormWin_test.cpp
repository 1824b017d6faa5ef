// Forms: modal use through the prompter and the real modal loop, keyboard handling, stable
// handles, dropped files, and form lifetimes that leave nothing behind.

#include "VisualWinSupport.h"
#include "gui/Button.h"
#include "gui/CheckBox.h"
#include "gui/Edit.h"
#include "gui/Frame.h"
#include "gui/Hint.h"
#include "gui/Label.h"
#include "gui/ListBox.h"
#include "gui/Menu.h"
#include "gui/PageControl.h"

#include <shlobj.h>

#include <cstring>

using namespace gui;

namespace {

class FormTest : public testsupport::VisualTest {};

// The entry form: an edit, OK (default) and Cancel.
struct EntryForm : TForm {
    EntryForm() : TForm("TwEntryTest", "Entry", FormBounds{0, 0, 418, 100}, TBorderStyle::bsToolWindow) {
        edit = &Create<TEdit>(*this, "Edit1", TBounds{8, 8, 300, 21});
        ok = &Create<TButton>(*this, "Button3", TBounds{320, 8, 75, 23}, "OK");
        ok->ModalResult = mrOk;
        ok->SetDefault(true);
        cancel = &Create<TButton>(*this, "Button4", TBounds{320, 36, 75, 23}, "Cancel");
        cancel->ModalResult = mrCancel;
        cancel->Cancel = true;
        ActiveControl = edit;
    }
    TEdit* edit;
    TButton* ok;
    TButton* cancel;
};

TEST_F(FormTest, ShowModalGoesThroughThePrompterWhichSeesTheForm) {
    EntryForm entry;
    prompter.AnswerModal([](TForm& shown) {
        shown.Find<TEdit>("Edit1").SetText("typed");
        return mrOk;
    });
    EXPECT_EQ(entry.ShowModal(), mrOk);
    EXPECT_EQ(entry.edit->Text(), "typed");
    ASSERT_EQ(prompter.Requests().size(), 1u);
    EXPECT_EQ(prompter.Requests()[0].Form, &entry);
    EXPECT_FALSE(entry.Visible());
}

TEST_F(FormTest, ModalLoopEndsOnButtonsEnterEscAndCloseAndFreesItsOwner) {
    form->Show();
    EntryForm entry;
    entry.SetOwnerWindow(form->Handle());

    PostMessageA(entry.ok->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(entry.RunModalLoop(), mrOk);
    EXPECT_TRUE(IsWindowEnabled(form->Handle()));
    EXPECT_FALSE(entry.Visible());

    // Keys travel through the loop's dispatch, so the keyboard hook sees them.
    PostMessageA(entry.edit->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_EQ(entry.RunModalLoop(), mrCancel);
    PostMessageA(entry.edit->Handle(), WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_EQ(entry.RunModalLoop(), mrOk);

    bool refuse = true;
    entry.OnCloseQuery = [&](bool& canClose) { canClose = !refuse; };
    // The first close is refused; posted work in between allows the second.
    PostMessageA(entry.Handle(), WM_CLOSE, 0, 0);
    Application().Post([&] { refuse = false; });
    PostMessageA(entry.Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(entry.RunModalLoop(), mrCancel);
    EXPECT_TRUE(IsWindowEnabled(form->Handle()));

    // A quit during the modal loop ends it and stays queued for the main loop.
    PostQuitMessage(3);
    EXPECT_EQ(entry.RunModalLoop(), mrCancel);
    EXPECT_TRUE(testsupport::DrainQueue());
}

TEST_F(FormTest, TabMnemonicsAndKeyPreviewWorkWithoutADialogManager) {
    auto& first = form->Create<TEdit>(*form, "Edit1", TBounds{8, 8, 100, 21});
    auto& second = form->Create<TEdit>(*form, "Edit2", TBounds{8, 40, 100, 21});
    auto& button = form->Create<TButton>(*form, "Button1", TBounds{8, 70, 80, 24}, "&Backup");
    auto& label = form->Create<TLabel>(*form, "Label1", TBounds{120, 8, 60, 16}, "&Name");
    label.FocusControl = &second;
    int clicks = 0, firstEntered = 0, secondEntered = 0;
    button.OnClick = [&] { ++clicks; };
    // Focus is read from the enter events: another process may take it a moment later.
    first.OnEnter = [&] { ++firstEntered; };
    second.OnEnter = [&] { ++secondEntered; };
    ShowForm();

    PressKey(first.Handle(), VK_TAB);
    EXPECT_EQ(secondEntered, 1);
    PressKey(second.Handle(), VK_TAB, ssShift);
    EXPECT_EQ(firstEntered, 1);

    PressKey(first.Handle(), 'B', ssAlt);
    EXPECT_EQ(clicks, 1);
    PressKey(first.Handle(), 'N', ssAlt);
    EXPECT_EQ(secondEntered, 2);

    std::vector<std::string> order;
    form->KeyPreview = true;
    form->OnKeyDown = [&](WORD& key, TShiftState shift) {
        order.push_back("form");
        if (key == VK_F5 && (shift & ssCtrl)) key = 0;
    };
    second.OnKeyDown = [&](WORD&, TShiftState) { order.push_back("edit"); };
    PressKey(second.Handle(), VK_F6);
    PressKey(second.Handle(), VK_F5, ssCtrl);
    EXPECT_EQ(order, (std::vector<std::string>{"form", "edit", "form"}));
}

TEST_F(FormTest, StayOnTopKeepsTheHandleAndDroppedFilesArrive) {
    const HWND before = form->Handle();
    form->Show();
    form->SetStayOnTop(true);
    EXPECT_TRUE(form->StayOnTop());
    EXPECT_TRUE(form->Visible());
    form->SetStayOnTop(false);
    EXPECT_FALSE(form->StayOnTop());
    EXPECT_EQ(form->Handle(), before);

    form->SetDragAcceptFiles(true);
    EXPECT_TRUE(form->DragAcceptsFiles());
    std::vector<std::string> dropped;
    form->OnDropFiles = [&](const std::vector<std::string>& files) { dropped = files; };
    // DROPFILES followed by wide names, each ended by a zero, then one more zero.
    const std::wstring names = std::wstring(L"C:\\data\\one.txt") + L'\0' + L"D:\\two" + L'\0' + L'\0';
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(header + 1, names.data(), names.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    SendMessageA(form->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    EXPECT_EQ(dropped, (std::vector<std::string>{"C:\\data\\one.txt", "D:\\two"}));
    form->SetDragAcceptFiles(false);
    EXPECT_FALSE(form->DragAcceptsFiles());
}

TEST_F(FormTest, DialogsCentreOverTheMainFormAndNeverGoNegative) {
    EntryForm entry;
    form->SetBounds(100, 100, 600, 400);
    entry.SetBounds(0, 0, 200, 100);
    entry.CenterOn(form->Handle());
    EXPECT_EQ(entry.Left(), 300);
    EXPECT_EQ(entry.Top(), 250);
    entry.CenterOn(form->Handle(), 250);
    EXPECT_EQ(entry.Top(), 175);
    form->SetBounds(-50, 10, 100, 60);
    entry.CenterOn(form->Handle());
    EXPECT_EQ(entry.Left(), 0);
    EXPECT_EQ(entry.Top(), 0);
}

TEST_F(FormTest, AHandlerThatThrowsIsReportedAndTheMessageLoopGoesOn) {
    auto& button = form->Create<TButton>(*form, "Button1", TBounds{8, 8, 80, 24}, "Go");
    button.OnClick = [] { throw std::runtime_error("disk full while writing volume 3"); };
    std::vector<std::string> logged;
    Application().OnException = [&](const std::string& what) { logged.push_back(what); };
    const auto wasHidden = Application().IsHidden;
    Application().IsHidden = [] { return false; };
    prompter.AnswerMessage(mrOk);
    SendMessageA(button.Handle(), BM_CLICK, 0, 0);
    Application().IsHidden = wasHidden;
    EXPECT_EQ(logged, (std::vector<std::string>{"disk full while writing volume 3"}));
    EXPECT_EQ(prompter.MessageTexts(), (std::vector<std::string>{"disk full while writing volume 3"}));
    EXPECT_TRUE(IsWindow(button.Handle()));
}

TEST_F(FormTest, ControlsAreFoundByNameAndTypeInsideFramesToo) {
    auto& frame = form->Create<TFrame>(*form, "FrameCDB", TBounds{0, 0, 10, 10}, false);
    frame.Create<TCheckBox>(frame, "EraseCD", TBounds{0, 0, 80, 20}, "Erase");
    form->Create<TEdit>(*form, "Edit7", TBounds{8, 8, 100, 21});
    EXPECT_EQ(form->Find<TEdit>("Edit7").Name(), "Edit7");
    EXPECT_THROW(form->Find<TButton>("Edit7"), std::out_of_range);
    EXPECT_EQ(form->FindOrNull<TCheckBox>("EraseCD"), nullptr);
    EXPECT_EQ(frame.Find<TCheckBox>("EraseCD").Name(), "EraseCD");
}

BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

int ThreadWindowCount() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), &CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

TEST(FormLifetime, SeveralMainFormsInSequenceLeaveNothingBehind) {
    Application();
    const int windowsBefore = ThreadWindowCount();
    for (int round = 0; round < 3; ++round) {
        int activations = 0, destroyed = 0;
        {
            TForm main("TwLifetimeTest", "Tarnwick", FormBounds{10, 10, 500, 400});
            Application().MainForm = &main;
            main.OnActivate = [&] { ++activations; };
            main.OnDestroy = [&] { ++destroyed; };
            auto& menu = main.Create<TMainMenu>(main, "MainMenu1");
            menu.Add("Files", "&Files").Add("Exit1", "E&xit");
            main.SetMenu(&menu);
            auto& pages = main.Create<TPageControl>(main, "PageControl1", TBounds{0, 0, 400, 300});
            auto& sheet = main.Create<TTabSheet>(pages, "TabSheet1", "Job");
            main.Create<TListBox>(sheet, "ListBox1", TBounds{0, 0, 100, 100}).SetHint("files\rto back up");
            main.Show();
            ProcessMessages();
            EXPECT_EQ(activations, 1) << "round " << round;
        }
        EXPECT_EQ(destroyed, 1);
        EXPECT_EQ(Application().MainForm, nullptr);
        testsupport::DrainQueue();
        EXPECT_EQ(ThreadWindowCount(), windowsBefore) << "round " << round;
    }
}

} // namespace
