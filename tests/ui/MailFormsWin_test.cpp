// The mail and run-before-and-after forms: what they store and how they read damaged input.

#include "gui/Edit.h"
#include "gui/IniDocument.h"
#include "gui/IniFile.h"
#include "job/MailReport.h"
#include "ui/Email1.h"
#include "ui/PreRun1.h"

#include <gtest/gtest.h>

using job::PrePostPrograms;
using job::SmtpPortOf;
using namespace ui;

TEST(PreRunForm, WaitsThatAreNoNumberKeepTheirValueAndNegativesBecomeZero) {
    TPreRun form;
    PrePostPrograms saved;
    int saves = 0;
    form.OnSave = [&](const PrePostPrograms& values) {
        saved = values;
        ++saves;
    };
    form.FormShow(nullptr, "Daily.dat", PrePostPrograms{"\"C:\\pre.exe\" /a", 10, "C:\\post.exe", 1});
    EXPECT_EQ(form.Caption(), "Run before and after Daily");
    EXPECT_EQ(form.EditPreWait->Text(), "10");
    form.EditPreWait->SetText("x");
    form.EditPostWait->SetText("-5");
    form.EditPostRun->SetText("C:\\other.exe");
    form.ButSaveClick();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(saved, (PrePostPrograms{"\"C:\\pre.exe\" /a", 10, "C:\\other.exe", 0}));
    EXPECT_EQ(form.EditPreWait->Text(), "10") << "shown again in normal form";
}

TEST(EmailForm, SettingsRoundTripAndNothingIsSentWithoutRecipientServerOrPort) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string path = std::string(temp) + "tw_email_form.ini";
    DeleteFileA(path.c_str());
    gui::TIniFile ini(path);
    {
        TEmail form(ini);
        form.edtTo->SetText("ops@example.org");
        form.SMTPServer->SetText("127.0.0.1");
        form.SMTPPort->SetText("");
        form.edtPassword->SetText("");
        form.ButSaveClick();
        std::vector<std::string> log;
        form.OnLog = [&](const std::string& line) { log.push_back(line); };
        EXPECT_FALSE(form.SendMail({"line"}, "Daily.dat", ""));
        EXPECT_TRUE(log.empty()) << "no port: silently nothing";
        form.SMTPPort->SetText("  ");
        EXPECT_FALSE(form.SendMail({"line"}, "Daily.dat", ""));
        form.SMTPPort->SetText("25");
        form.edtTo->SetText("   ");
        EXPECT_FALSE(form.SendMail({"line"}, "Daily.dat", ""));
        EXPECT_TRUE(log.empty()) << "blanks alone are no port and no recipient";
    }
    EXPECT_NE(ini.ReadString("EMail", "Password", ""), "") << "the empty password is stored scrambled";
    ini.WriteString("EMail", "Password", "garbage");
    TEmail again(ini);
    std::vector<std::string> log;
    again.OnLog = [&](const std::string& line) { log.push_back(line); };
    again.FormCreate();
    EXPECT_EQ(again.edtPassword->Text(), "");
    EXPECT_EQ(log.size(), 1u) << "a damaged password is logged";
    EXPECT_EQ(SmtpPortOf("2525"), 2525);
    EXPECT_EQ(SmtpPortOf("smtp"), 25);
    EXPECT_EQ(SmtpPortOf(" 2525 "), 2525) << "as the settings file will give it back";
    EXPECT_EQ(SmtpPortOf("70000"), 25);
    DeleteFileA(path.c_str());
}
