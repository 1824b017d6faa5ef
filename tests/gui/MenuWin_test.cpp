// Menu bar, popup menus, actions and the tray icon, read back through the HMENU and the
// controls they drive.

#include "VisualWinSupport.h"
#include "gui/Action.h"
#include "gui/Button.h"
#include "gui/Edit.h"
#include "gui/Menu.h"
#include "gui/TrayIcon.h"

using namespace gui;

namespace {

std::string MenuText(HMENU menu, int position) {
    char text[128] = {};
    GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof text, MF_BYPOSITION);
    return text;
}

class MenuTest : public testsupport::VisualTest {
  protected:
    void SetUp() override {
        VisualTest::SetUp();
        menu = &form->Create<TMainMenu>(*form, "MainMenu1");
        files = &menu->Add("Files", "&Files");
        files->Add("Backup1", "&Backup");
        files->Add("Restore1", "&Restore");
        files->AddSeparator();
        files->Add("Exit1", "E&xit");
        auto& options = menu->Add("Options", "&Options");
        options.Add("RunAsService1", "Run as &service").AutoCheck = true;
        options.Add("SelectAll1", "Select &all").SetShortCut('A', ssCtrl);
        form->SetMenu(menu);
    }
    TMenuItem& Item(const std::string& name) { return form->Find<TMenuItem>(name); }

    TMainMenu* menu = nullptr;
    TMenuItem* files = nullptr;
};

TEST_F(MenuTest, HiddenItemsLeaveTheMenuAndComeBackAtTheirPlace) {
    ASSERT_EQ(GetMenu(form->Handle()), menu->Handle());
    HMENU sub = files->SubMenu();
    ASSERT_EQ(GetMenuItemCount(sub), 4);
    Item("Backup1").SetVisible(false);
    Item("Restore1").SetVisible(false);
    EXPECT_EQ(GetMenuItemCount(sub), 2);
    EXPECT_EQ(MenuText(sub, 1), "E&xit");

    Item("Restore1").SetChecked(true);
    Item("Restore1").SetVisible(true);
    EXPECT_EQ(MenuText(sub, 0), "&Restore");
    EXPECT_TRUE(GetMenuState(sub, 0, MF_BYPOSITION) & MF_CHECKED) << "state kept while hidden";
    Item("Backup1").SetVisible(true);
    EXPECT_EQ(MenuText(sub, 0), "&Backup");
    EXPECT_EQ(MenuText(sub, 1), "&Restore");
    EXPECT_EQ(MenuText(menu->Items()[1]->SubMenu(), 1), "Select &all\tCtrl+A");

    // A top-level menu that is hidden and shown keeps its sub-menu.
    files->SetVisible(false);
    EXPECT_EQ(MenuText(menu->Handle(), 0), "&Options");
    files->SetVisible(true);
    EXPECT_EQ(GetSubMenu(menu->Handle(), 0), sub);
}

TEST_F(MenuTest, CommandsPopupInitAndShortcutsReachTheItems) {
    int exits = 0, filesOpened = 0, selectAll = 0;
    Item("Exit1").OnClick = [&] { ++exits; };
    files->OnClick = [&] { ++filesOpened; };
    Item("SelectAll1").OnClick = [&] { ++selectAll; };

    SendMessageA(form->Handle(), WM_COMMAND, Item("Exit1").Command(), 0);
    EXPECT_EQ(exits, 1);
    SendMessageA(form->Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(files->SubMenu()), 0);
    EXPECT_EQ(filesOpened, 1);

    TMenuItem& service = Item("RunAsService1");
    bool checkedInHandler = false;
    service.OnClick = [&] { checkedInHandler = service.Checked(); };
    SendMessageA(form->Handle(), WM_COMMAND, service.Command(), 0);
    EXPECT_TRUE(checkedInHandler) << "an auto-check item has already toggled when its handler runs";

    Item("Exit1").SetEnabled(false);
    EXPECT_TRUE(GetMenuState(files->SubMenu(), Item("Exit1").Command(), MF_BYCOMMAND) & MF_GRAYED);
    SendMessageA(form->Handle(), WM_COMMAND, Item("Exit1").Command(), 0);
    EXPECT_EQ(exits, 1);

    auto& edit = form->Create<TEdit>(*form, "Edit1", TBounds{8, 8, 100, 21});
    PressKey(edit.Handle(), 'A', ssCtrl);
    EXPECT_EQ(selectAll, 1);
    PressKey(edit.Handle(), 'A');
    EXPECT_EQ(selectAll, 1);
    Item("SelectAll1").SetEnabled(false);
    PressKey(edit.Handle(), 'A', ssCtrl);
    EXPECT_EQ(selectAll, 1);
}

TEST_F(MenuTest, ActionsAreTheStateTheirMenuItemsAndButtonsMirror) {
    auto& start = form->Create<TAction>(*form, "Startbackup", "&Start");
    auto& button = form->Create<TButton>(*form, "Button1", TBounds{8, 8, 80, 24}, "");
    Item("Backup1").SetAction(&start);
    button.SetAction(&start);
    int runs = 0;
    start.OnExecute = [&] {
        ++runs;
        start.SetCaption(start.Caption() == "&Start" ? "&Cancel" : "&Start");
    };

    SendMessageA(button.Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(start.Caption(), "&Cancel");
    EXPECT_EQ(MenuText(files->SubMenu(), 0), "&Cancel");
    char text[32] = {};
    GetWindowTextA(button.Handle(), text, sizeof text);
    EXPECT_STREQ(text, "&Cancel");

    SendMessageA(form->Handle(), WM_COMMAND, Item("Backup1").Command(), 0);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(start.Caption(), "&Start");

    start.SetEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(button.Handle()));
    EXPECT_TRUE(GetMenuState(files->SubMenu(), 0, MF_BYPOSITION) & MF_GRAYED);
    start.SetVisible(false);
    EXPECT_EQ(MenuText(files->SubMenu(), 0), "&Restore");
    EXPECT_FALSE(GetWindowLongA(button.Handle(), GWL_STYLE) & WS_VISIBLE);
}

TEST_F(MenuTest, PopupMenusAskThePrompterAndRunTheChosenItem) {
    auto& popup = form->Create<TPopupMenu>(*form, "PopupMenuIncl");
    int included = 0;
    popup.Add("Incl1", "&Include").OnClick = [&] { ++included; };
    popup.Add("Incl2", "&Exclude");
    prompter.AnswerPopup("Incl1").AnswerPopup("");
    EXPECT_EQ(popup.Popup(100, 120), &form->Find<TMenuItem>("Incl1"));
    EXPECT_EQ(included, 1);
    EXPECT_EQ(popup.Popup(5, 6), nullptr);
    EXPECT_EQ(included, 1);
    const auto requests = prompter.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].X, 100);
    EXPECT_EQ(requests[0].Y, 120);

    popup.SetItemsEnabled(false);
    EXPECT_TRUE(GetMenuState(popup.Handle(), 0, MF_BYPOSITION) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(popup.Handle(), 1, MF_BYPOSITION) & MF_GRAYED);
}

TEST(TrayIcon, KeepsWhatWasAskedWhenTheShellHasNoTray) {
    TForm owner("TwTrayTest", "tray", FormBounds{0, 0, 100, 100});
    TTrayIcon tray;
    tray.SetTip("before add");
    EXPECT_FALSE(tray.Added());
    tray.Add(owner.Handle(), LoadIconA(nullptr, MAKEINTRESOURCEA(32512)), std::string(80, 'j'));
    EXPECT_TRUE(tray.Added());
    EXPECT_EQ(tray.Tip(), std::string(TTrayIcon::maxTipLength, 'j'));
    tray.SetTip("Tarnwick - daily");
    EXPECT_EQ(tray.Tip(), "Tarnwick - daily");

    // A job sets its progress tip once per file: the shell hears each change once.
    std::vector<std::string> heard;
    TTrayIcon::ShellNotify = [&](DWORD action, const NOTIFYICONDATAA& data) {
        if (action == NIM_MODIFY) heard.push_back(data.szTip);
        return true;
    };
    for (const char* tip : {"Daily 1%", "Daily 1%", "Daily 1%", "Daily 2%", "Daily 2%"})
        tray.SetTip(tip);
    TTrayIcon::ShellNotify = nullptr;
    EXPECT_EQ(heard, (std::vector<std::string>{"Daily 1%", "Daily 2%"}));
    tray.Remove();
    EXPECT_FALSE(tray.Added());
}

} // namespace
