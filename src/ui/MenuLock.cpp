// The menu lock: a password of its own keeps the File and Backup menus and the Backup and
// Schedule tabs away from users of a configured machine. The password is kept trimmed, as the
// settings file gives it back trimmed, so a lock set with a trailing blank still opens after
// a restart. It goes to the user's settings file, the one it is read back from.
#include "core/ProgramBox.h"
#include "core/Scramble.h"
#include "core/Settings.h"
#include "gui/Action.h"
#include "gui/Edit.h"
#include "gui/Menu.h"
#include "gui/PageControl.h"
#include "gui/TextTrim.h"
#include "ui/JobTab.h"
#include "ui/MFo.h"
#include "ui/SmallDialogs.h"

namespace ui {

bool TMF::EntryForm(const std::string& caption, std::string& text, bool masked) {
    if (!ChgFile1) return false;
    TChgFile& entry = *ChgFile1;
    const std::string formCaption = entry.Caption();
    entry.SetCaption(caption);
    entry.Edit1->SetText(text);
    // A password is stored scrambled, which keeps its first 255 characters: no more can be
    // typed, so what is typed is what comes back.
    if (masked) {
        entry.Edit1->SetPasswordChar('*');
        entry.Edit1->SetMaxLength(core::MaxScrambledLength);
    }
    const int result = RunModal([&entry] { return entry.Execute(); });
    entry.Edit1->SetPasswordChar(0);
    entry.Edit1->SetMaxLength(0);
    entry.SetCaption(formCaption);
    if (result != gui::mrOk) return false;
    text = entry.Edit1->Text();
    if (masked && text.size() > core::MaxScrambledLength) text.resize(core::MaxScrambledLength);
    return true;
}

void TMF::BuildMenuLock() {
    lockmenu = &Create<gui::TAction>(*this, "lockmenu", "Lock menu");
    lockmenu->OnExecute = [this] { lockmenuExecute(); };
    gui::TMenuItem& item = Find<gui::TMenuItem>("Log1").Add("Lockmenu1", "Lock menu");
    item.SetAction(lockmenu);
}

// Once the settings are read.
void TMF::ApplyMenuLockSettings() {
    MenuPassword = creation_.menuPassword;
    Find<gui::TMenuItem>("Lockmenu1").SetVisible(creation_.lockMenu);
    JobTab->SetPassWord->SetVisible(creation_.allowPassWord);
    UpdateLockMenuCaption();
}

void TMF::lockmenuExecute() {
    if (MenuPassword.empty())
        SetMenuLock();
    else
        UnlockMenu();
}

void TMF::SetMenuLock() {
    TimerStopped stopped(*this);
    std::string first;
    MenuPassword = EntryForm("Menu password", first, true) ? gui::Trim(first) : std::string();
    if (!MenuPassword.empty()) {
        std::string second;
        if (!EntryForm("Confirm menu password", second, true)) {
            MenuPassword.clear();
        } else if (gui::Trim(second) != MenuPassword) {
            MenuPassword.clear();
            ShowBox("Password not retyped correct, password cleared please try again", gui::TMsgButtons::OK,
                    gui::TMsgIcon::Stop, 1);
        }
    }
    // A lock that is not stored would be gone at the next start: no lock then.
    if (!MenuPassword.empty() &&
        !UserIni().WriteString(core::ini::Settings, "Menu", core::StoredMenuPassword(MenuPassword))) {
        MenuPassword.clear();
        ReportMenuLockNotStored("The menu password could not be saved in " + UserIni().FileName() +
                                ", the menu is not locked");
    }
    UpdateLockMenuCaption();
}

void TMF::UnlockMenu() {
    TimerStopped stopped(*this);
    std::string text;
    if (EntryForm("Password ?", text, true) && gui::Trim(text) == MenuPassword) {
        MenuPassword.clear();
        if (!UserIni().WriteString(core::ini::Settings, "Menu", ""))
            ReportMenuLockNotStored("The menu password could not be removed from " + UserIni().FileName() +
                                    ", the menu will be locked again at the next start");
    }
    UpdateLockMenuCaption();
}

void TMF::ReportMenuLockNotStored(const std::string& text) {
    AddToLog(text);
    ShowBox(text, gui::TMsgButtons::OK, gui::TMsgIcon::Stop, 1);
}

// Applied at creation and on every activation, which follows every modal dialog: the page
// changes only with the lock itself or when the page shown was hidden, so a dialog never
// moves the user to another tab.
void TMF::UpdateLockMenuCaption() {
    const bool locked = !MenuPassword.empty();
    const bool changed = !lockShown_ || *lockShown_ != locked;
    lockShown_ = locked;
    lockmenu->SetCaption(locked ? "Unlock menu" : "Lock menu");
    Find<gui::TMenuItem>("Files").SetEnabled(!locked);
    Find<gui::TMenuItem>("Backup1").SetEnabled(!locked);
    TabSheet1->SetTabVisible(!locked);
    TabSheet2->SetTabVisible(!locked);
    gui::TTabSheet* active = PageControl1->ActivePage();
    if (changed || !active || !active->TabVisible())
        PageControl1->SetActivePage(locked ? TabSheet3 : TabSheet1);
}

} // namespace ui
