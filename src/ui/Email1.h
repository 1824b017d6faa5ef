#pragma once
// The mail set-up form: the seven settings of [EMail] in the program-folder settings file, and
// the Test button. Mailing itself is the job engine's (job/MailReport.h).

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

namespace ui {

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

    // Mails with the settings as the form shows them (see job::SendMailReport).
    bool SendMail(const std::vector<std::string>& body, const std::string& suffix,
                  const std::string& attachment);

    // The program log.
    std::function<void(const std::string&)> OnLog;

  private:
    core::EMailSettings Shown() const;
    void Log(const std::string& text);
    gui::IniAccess& programIni_;
};

} // namespace ui
