#pragma once
// The one routine that mails: the job end sends the job's log lines with the log attached, the
// disc step its notices, and the mail form's Test button a test mail. It composes the message
// from the [EMail] settings and hands it to the SMTP transport; the window only keeps the
// settings.

#include "core/Settings.h"

#include <functional>
#include <string>
#include <vector>

namespace job {

// Recipient, server and port are set (blanks alone are none): a mail can be sent. The one
// meaning of "mail is set up" for the job's notices and its report.
bool MailConfigured(const core::EMailSettings& settings);

// Sends nothing unless the mail is configured. Failures never reach the
// caller: the job goes on, and log gets "Mail not sent: " and the reason. True when the server took the mail.
// The subject is the configured one, " - " and the suffix.
bool SendMailReport(const core::EMailSettings& settings, const std::vector<std::string>& body,
                    const std::string& suffix, const std::string& attachment,
                    const std::function<void(const std::string&)>& log);

// The port as typed, blanks around it ignored; 25 when it is no number of a port.
int SmtpPortOf(const std::string& typed);

} // namespace job
