#pragma once
// The mail set-up form and the one routine that mails: the job end sends the job's log lines
// with the log attached, the disc step its notices, and the form's Test button a test mail.
// The seven settings live in [EMail] of the program-folder settings file.

#include "core/Settings.h"
#include "gui/Form.h"

#include <functional>
#include <string>
#include <vector>

namespace gui {
class IniAccess;
class TButton;
class TEdit;
} // namespace gui

namespace job {

class TEmail : public gui::TForm {
  public:
    explicit TEmail(gui::IniAccess& programIni);

    gui::TEdit* edtTo = nullptr;
    gui::TEdit* EdtFrom = nullptr;
    gui::TEdit* edtSubject = nullptr;
    gui::TEdit* SMTPServer = nullptr;
    gui::TEdit* SMTPPort = nullptr;
    gui::TEdit* edtAccount = nullptr;
    gui::TEdit* edtPassword = nullptr;
    gui::TButton* ButSave = nullptr;
    gui::TButton* Button2 = nullptr; // Test

    void FormCreate();
    // Centred over the main window.
    void FormShow(HWND mainWindow);
    void ButSaveClick();
    void Button2Click();

    // Sends nothing unless recipient, server and port are set. Failures never reach the
    // caller: the job goes on, and the program log gets "Mail not sent: " and the reason.
    // True when the server took the mail.
    bool SendMail(const std::vector<std::string>& body, const std::string& suffix,
                  const std::string& attachment);

    // The program log.
    std::function<void(const std::string&)> OnLog;

  private:
    void Log(const std::string& text);
    gui::IniAccess& programIni_;
};

// The port as typed, 25 when it is no number of a port.
int SmtpPortOf(const std::string& text);

} // namespace job
