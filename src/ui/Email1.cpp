// The mail set-up form: the settings shown, saved and used for the Test button's mail.

#include "ui/Email1.h"

#include "core/Messages.h"
#include "gui/Button.h"
#include "gui/Edit.h"
#include "gui/IniAccess.h"
#include "gui/Label.h"
#include "job/MailReport.h"

namespace ui {

TEmail::TEmail(gui::IniAccess& programIni)
    : gui::TForm("TwEmail", "E-mail", gui::FormBounds{0, 0, 380, 300}, gui::TBorderStyle::bsDialog),
      programIni_(programIni) {
    struct Field {
        const char* name;
        const char* label;
        gui::TEdit** edit;
    };
    const Field fields[] = {{"edtTo", "To:", &edtTo},
                            {"EdtFrom", "From:", &EdtFrom},
                            {"edtSubject", "Subject:", &edtSubject},
                            {"SMTPServer", "SMTP server:", &SMTPServer},
                            {"SMTPPort", "Port:", &SMTPPort},
                            {"edtAccount", "Account:", &edtAccount},
                            {"edtPassword", "Password:", &edtPassword}};
    int top = 8;
    for (const Field& field : fields) {
        Create<gui::TLabel>(*this, std::string("Label_") + field.name, gui::TBounds{8, top + 3, 90, 17},
                            field.label);
        *field.edit = &Create<gui::TEdit>(*this, field.name, gui::TBounds{100, top, 260, 21});
        top += 28;
    }
    edtPassword->SetPasswordChar('*');
    ButSave = &Create<gui::TButton>(*this, "ButSave", gui::TBounds{100, top + 4, 75, 25}, "&Save");
    ButSave->ModalResult = gui::mrOk;
    ButSave->OnClick = [this] { ButSaveClick(); };
    Button2 = &Create<gui::TButton>(*this, "Button2", gui::TBounds{185, top + 4, 75, 25}, "&Test");
    Button2->OnClick = [this] { Button2Click(); };
    ActiveControl = edtTo;
    OnCreate = [this] { FormCreate(); };
    DoCreate();
}

void TEmail::Log(const std::string& text) {
    if (OnLog) OnLog(text);
}

void TEmail::FormCreate() {
    const core::EMailSettings mail = core::ReadEMail(programIni_);
    edtTo->SetText(mail.to);
    EdtFrom->SetText(mail.from);
    edtSubject->SetText(mail.subject);
    SMTPServer->SetText(mail.smtpServer);
    SMTPPort->SetText(mail.smtpPort);
    edtAccount->SetText(mail.account);
    edtPassword->SetText(mail.password);
    if (mail.passwordDamaged) Log("The stored mail password could not be read; it is taken as empty");
}

void TEmail::FormShow(HWND mainWindow) {
    CenterOn(mainWindow);
}

core::EMailSettings TEmail::Shown() const {
    core::EMailSettings mail;
    mail.to = edtTo->Text();
    mail.from = EdtFrom->Text();
    mail.subject = edtSubject->Text();
    mail.smtpServer = SMTPServer->Text();
    mail.smtpPort = SMTPPort->Text();
    mail.account = edtAccount->Text();
    mail.password = edtPassword->Text();
    return mail;
}

void TEmail::ButSaveClick() {
    core::WriteEMail(programIni_, Shown());
}

void TEmail::Button2Click() {
    SendMail({core::LoadMessage(65017)}, core::LoadMessage(65018), "");
}

bool TEmail::SendMail(const std::vector<std::string>& body, const std::string& suffix,
                      const std::string& attachment) {
    return job::SendMailReport(Shown(), body, suffix, attachment,
                               [this](const std::string& line) { Log(line); });
}

} // namespace ui
