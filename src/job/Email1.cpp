// The mail set-up form and SendMail. The message is composed here from the form's fields and
// handed to the SMTP transport; the body is in the ANSI code page of the process.

#include "job/Email1.h"

#include "core/Messages.h"
#include "gui/Button.h"
#include "gui/Clock.h"
#include "gui/Edit.h"
#include "gui/IniAccess.h"
#include "gui/Label.h"
#include "job/Mail.h"
#include "job/MailText.h"

#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace job {

namespace {

int MinutesEastOfUtc() {
    TIME_ZONE_INFORMATION zone{};
    const DWORD kind = GetTimeZoneInformation(&zone);
    LONG bias = zone.Bias;
    if (kind == TIME_ZONE_ID_DAYLIGHT)
        bias += zone.DaylightBias;
    else if (kind == TIME_ZONE_ID_STANDARD)
        bias += zone.StandardBias;
    return -static_cast<int>(bias);
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string NamePartOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int SmtpPortOf(const std::string& text) {
    if (text.empty() || text.size() > 5) return 25;
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 25;
        port = port * 10 + (c - '0');
    }
    return port >= 1 && port <= 65535 ? port : 25;
}

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

void TEmail::ButSaveClick() {
    core::EMailSettings mail;
    mail.to = edtTo->Text();
    mail.from = EdtFrom->Text();
    mail.subject = edtSubject->Text();
    mail.smtpServer = SMTPServer->Text();
    mail.smtpPort = SMTPPort->Text();
    mail.account = edtAccount->Text();
    mail.password = edtPassword->Text();
    core::WriteEMail(programIni_, mail);
}

void TEmail::Button2Click() {
    SendMail({core::LoadMessage(65017)}, core::LoadMessage(65018), "");
}

bool TEmail::SendMail(const std::vector<std::string>& body, const std::string& suffix,
                      const std::string& attachment) {
    const std::string to = edtTo->Text();
    const std::string server = SMTPServer->Text();
    const std::string port = SMTPPort->Text();
    if (to.empty() || server.empty() || port.empty()) return false;

    MailContent content;
    content.From = EdtFrom->Text();
    content.To = SplitRecipients(to);
    content.Subject = edtSubject->Text() + " - " + suffix;
    content.BodyLines = body;
    content.Charset = CharsetOfCodePage(GetACP());
    content.Date = MailDateText(gui::CurrentClock().Now(), MinutesEastOfUtc());
    struct _stat info {};
    if (!attachment.empty() && _stat(attachment.c_str(), &info) == 0 && (info.st_mode & _S_IFREG) &&
        ReadWholeFile(attachment, content.AttachmentBytes))
        content.AttachmentName = NamePartOf(attachment);

    SmtpServer smtp;
    smtp.Host = server;
    smtp.Port = SmtpPortOf(port);
    smtp.Account = edtAccount->Text();
    if (!smtp.Account.empty()) smtp.Password = edtPassword->Text();
    std::vector<std::string> envelope;
    for (const std::string& address : content.To)
        envelope.push_back(EnvelopeAddress(address));
    const SmtpResult result = SendSmtp(smtp, EnvelopeAddress(content.From), envelope, ComposeMail(content));
    if (!result.Sent) Log("Mail not sent: " + result.Error);
    return result.Sent;
}

} // namespace job
