// The message is composed from the settings and handed to the SMTP transport; the body is in
// the ANSI code page of the process.

#include "job/MailReport.h"

#include "gui/Clock.h"
#include "gui/TextTrim.h"
#include "job/Mail.h"
#include "job/MailText.h"

#include <windows.h>

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

// The size known up front: a log too large for the address space fails at once, not after it
// was read.
bool ReadWholeFile(const std::string& path, size_t size, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.reserve(size);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string NamePartOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool SendComposed(const core::EMailSettings& settings, const std::string& host,
                  const std::vector<std::string>& body, const std::string& suffix,
                  const std::string& attachment, const std::function<void(const std::string&)>& log) {
    MailContent content;
    content.From = settings.from;
    content.To = SplitRecipients(settings.to);
    content.Subject = settings.subject + " - " + suffix;
    content.BodyLines = body;
    content.Charset = CharsetOfCodePage(GetACP());
    content.Date = MailDateText(gui::CurrentClock().Now(), MinutesEastOfUtc());
    struct _stat info {};
    if (!attachment.empty() && _stat(attachment.c_str(), &info) == 0 && (info.st_mode & _S_IFREG) &&
        ReadWholeFile(attachment, static_cast<size_t>(info.st_size), content.AttachmentBytes))
        content.AttachmentName = NamePartOf(attachment);

    SmtpServer smtp;
    smtp.Host = host;
    smtp.Port = SmtpPortOf(settings.smtpPort);
    smtp.Account = settings.account;
    if (!smtp.Account.empty()) smtp.Password = settings.password;
    std::vector<std::string> envelope;
    for (const std::string& address : content.To)
        envelope.push_back(EnvelopeAddress(address));
    const SmtpResult result = SendSmtp(smtp, EnvelopeAddress(content.From), envelope, ComposeMail(content));
    if (!result.Sent && log) log("Mail not sent: " + result.Error);
    return result.Sent;
}

} // namespace

int SmtpPortOf(const std::string& typed) {
    const std::string text = gui::Trim(typed);
    if (text.empty() || text.size() > 5) return 25;
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 25;
        port = port * 10 + (c - '0');
    }
    return port >= 1 && port <= 65535 ? port : 25;
}

// The settings file gives its values trimmed; the form's Test button must mail as they will.
bool MailConfigured(const core::EMailSettings& settings) {
    return !gui::Trim(settings.to).empty() && !gui::Trim(settings.smtpServer).empty() &&
           !gui::Trim(settings.smtpPort).empty();
}

bool SendMailReport(const core::EMailSettings& settings, const std::vector<std::string>& body,
                    const std::string& suffix, const std::string& attachment,
                    const std::function<void(const std::string&)>& log) {
    if (!MailConfigured(settings)) return false;
    const std::string host = gui::Trim(settings.smtpServer);

    // A job log too large to mail fails like the network would: logged, and the job goes on.
    try {
        return SendComposed(settings, host, body, suffix, attachment, log);
    } catch (const std::exception& error) {
        if (log) log(std::string("Mail not sent: ") + error.what());
        return false;
    }
}

} // namespace job
