// The menu lock on the whole program hosted in-process: a lock set with a trailing blank
// holds over restarts with per-user data off and on, a wrong password changes and asks
// nothing, the right one empties "Menu"; while locked the Backup menu is refused and only the
// other tabs show; a dialog's activation leaves the user's tab where it was.
#include "ProgramSite.h"
#include "WinTestSupport.h"
#include "gui/Action.h"
#include "gui/Clock.h"
#include "gui/Edit.h"
#include "gui/IniFile.h"
#include "gui/Menu.h"
#include "gui/PageControl.h"
#include "gui/ScriptedPrompter.h"
#include "gui/Shell.h"
#include "ui/MFo.h"
#include "ui/Program.h"
#include "ui/SmallDialogs.h"

#include <gtest/gtest.h>

using testsupport::TempFolder;

namespace {

class MenuLockTest : public testing::TestWithParam<bool>, protected testsupport::ProgramSite<> {
  protected:
    void SetUp() override {
        if (GetParam())
            registry.Set(core::RegistryRoot::CurrentUser,
                         "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\", "AppData",
                         appData.Path());
        else
            testsupport::WriteWholeFile(programFolder / "tarnwick.ini",
                                        "[Settings]\r\nUseUserData2kXP=0\r\n");
    }
    void Start() {
        program.reset();
        program = std::make_unique<ui::TProgram>(environment);
        ASSERT_TRUE(program->Start());
        form = program->MainForm();
        program->Flags().Hidden = false;
        form->StartUpDone = true;
    }
    void TearDown() override {
        program.reset();
        gui::SetShell(nullptr);
        gui::SetClock(nullptr);
        testsupport::DrainQueue();
    }
    void AnswerEntry(const std::string& text, bool ok = true) {
        prompter.AnswerModal([text, ok](gui::TForm& entry) {
            static_cast<ui::TChgFile&>(entry).Edit1->SetText(text);
            return ok ? gui::mrOk : gui::mrCancel;
        });
    }
    std::string StoredMenu() {
        const std::string file =
            GetParam() ? appData / "Tarnwick\\tarnwick.ini" : programFolder / "tarnwick.ini";
        return gui::TIniFile(file).ReadString("Settings", "Menu", "<none>");
    }
    bool Locked() {
        const bool locked = form->lockmenu->Caption() == "Unlock menu";
        EXPECT_EQ(form->Find<gui::TMenuItem>("Files").Enabled(), !locked);
        EXPECT_EQ(form->Find<gui::TMenuItem>("Backup1").Enabled(), !locked);
        EXPECT_EQ(form->TabSheet1->TabVisible(), !locked);
        EXPECT_EQ(form->TabSheet2->TabVisible(), !locked);
        return locked;
    }

    TempFolder appData;
    gui::TScriptedPrompter prompter;
    gui::TPrompterScope prompterScope{prompter};
    std::unique_ptr<ui::TProgram> program;
    ui::TMF* form = nullptr;
};

} // namespace

TEST_P(MenuLockTest, LockHoldsOverRestartsAndOnlyTheRightPasswordOpensIt) {
    Start();
    EXPECT_FALSE(Locked());
    // Cancelled at once, then a mismatch: unlocked, nothing written.
    AnswerEntry("", false);
    form->lockmenu->Execute();
    AnswerEntry("abc");
    AnswerEntry("abd");
    prompter.AnswerMessage(gui::mrOk);
    form->lockmenu->Execute();
    EXPECT_EQ(prompter.MessageTexts().back(),
              "Password not retyped correct, password cleared please try again");
    EXPECT_FALSE(Locked());
    EXPECT_NE(StoredMenu().substr(0, 1), "*");
    const std::string before = StoredMenu();

    form->PageControl1->SetActivePage(form->TabSheet4);
    AnswerEntry("abc ");
    AnswerEntry("abc ");
    form->lockmenu->Execute();
    EXPECT_TRUE(Locked());
    EXPECT_NE(StoredMenu(), before);
    EXPECT_NE(StoredMenu(), "abc ");
    EXPECT_EQ(form->PageControl1->ActivePage(), form->TabSheet3);
    // The user's tab survives a dialog's activation.
    form->PageControl1->SetActivePage(form->TabSheet4);
    form->FormActivate();
    EXPECT_EQ(form->PageControl1->ActivePage(), form->TabSheet4);

    Start();
    EXPECT_TRUE(Locked());
    EXPECT_EQ(form->PageControl1->ActivePage(), form->TabSheet3);
    const size_t asked = prompter.Requests().size();
    AnswerEntry("ABC");
    form->lockmenu->Execute();
    EXPECT_TRUE(Locked());
    EXPECT_EQ(prompter.Requests().size(), asked + 1); // the entry only, no message

    AnswerEntry("abc");
    form->lockmenu->Execute();
    EXPECT_FALSE(Locked());
    EXPECT_EQ(StoredMenu(), "");
    EXPECT_EQ(form->PageControl1->ActivePage(), form->TabSheet1);
    Start();
    EXPECT_FALSE(Locked());
    EXPECT_EQ(prompter.Pending(), 0u);
}

// A settings file held open by another program cannot take the lock: the user is told and the
// menu stays open; a lock that cannot be removed is told as well. A password longer than a
// stored one cannot be typed, so the lock opens after a restart with what was typed.
TEST_P(MenuLockTest, UnstoredLockIsToldAndAPasswordIsNoLongerThanItsStoredForm) {
    Start();
    const std::string file = form->UserIni().FileName();
    const std::string longPassword(300, 'p');
    auto hold = [&file] {
        return CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE holder = hold();
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    AnswerEntry("abc");
    AnswerEntry("abc");
    prompter.AnswerMessage(gui::mrOk);
    form->lockmenu->Execute();
    CloseHandle(holder);
    EXPECT_EQ(prompter.MessageTexts().back(),
              "The menu password could not be saved in " + file + ", the menu is not locked");
    EXPECT_FALSE(Locked());

    int limit = 0;
    for (int entry = 0; entry < 2; ++entry)
        prompter.AnswerModal([&](gui::TForm& form) {
            auto& edit = *static_cast<ui::TChgFile&>(form).Edit1;
            limit = static_cast<int>(SendMessageA(edit.Handle(), EM_GETLIMITTEXT, 0, 0));
            edit.SetText(longPassword);
            return gui::mrOk;
        });
    form->lockmenu->Execute();
    EXPECT_EQ(limit, 255);
    EXPECT_TRUE(Locked());

    Start();
    EXPECT_TRUE(Locked());
    holder = hold();
    AnswerEntry(longPassword.substr(0, 255));
    prompter.AnswerMessage(gui::mrOk);
    form->lockmenu->Execute();
    CloseHandle(holder);
    EXPECT_FALSE(Locked());
    EXPECT_EQ(prompter.MessageTexts().back(), "The menu password could not be removed from " + file +
                                                  ", the menu will be locked again at the next start");
    EXPECT_EQ(prompter.Pending(), 0u);
}

INSTANTIATE_TEST_SUITE_P(PerUserData, MenuLockTest, testing::Bool());
