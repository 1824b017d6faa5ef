#pragma once
// Sends one prepared message over SMTP with libcurl's multi interface on the GUI thread,
// pumping the window's messages between short polls so the window stays alive and timers
// run. No STARTTLS: the server is spoken to in plain text, as the mail settings expect.

#include <string>
#include <vector>

namespace job {

struct SmtpServer {
    std::string Host;
    int Port = 25;
    std::string Account; // empty: no authentication
    std::string Password;
};

struct SmtpResult {
    bool Sent = false;
    std::string Error; // curl's text when not sent
};

// Connect within 30 s, the whole mail within 300 s. A quit message in the queue does not end
// the transfer: the job end mails after the window began to close.
SmtpResult SendSmtp(const SmtpServer& server, const std::string& from,
                    const std::vector<std::string>& recipients, const std::string& message);

} // namespace job
