// The SMTP transport of the job report over libcurl (built from Debian's source, Schannel,
// static). The multi interface lets the GUI thread pump between 100 ms polls instead of
// blocking inside a transfer; curl's own timeouts bound the connect and the whole mail.

#include "job/Mail.h"

#include "gui/Wait.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace job {

namespace {

struct Upload {
    const std::string* text;
    size_t offset = 0;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* user) {
    auto* upload = static_cast<Upload*>(user);
    const size_t room = size * count;
    const size_t left = upload->text->size() - upload->offset;
    const size_t n = std::min(room, left);
    std::memcpy(buffer, upload->text->data() + upload->offset, n);
    upload->offset += n;
    return n;
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string Bracketed(const std::string& address) {
    return address.size() >= 2 && address.front() == '<' && address.back() == '>' ? address
                                                                                  : "<" + address + ">";
}

} // namespace

SmtpResult SendSmtp(const SmtpServer& server, const std::string& from,
                    const std::vector<std::string>& recipients, const std::string& message) {
    InitCurlOnce();
    SmtpResult result;
    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    curl_slist* rcpt = nullptr;
    if (!easy || !multi) {
        if (easy) curl_easy_cleanup(easy);
        if (multi) curl_multi_cleanup(multi);
        result.Error = "the mail library could not start";
        return result;
    }
    char errorText[CURL_ERROR_SIZE] = {};
    Upload upload{&message};
    const std::string url = "smtp://" + server.Host + ":" + std::to_string(server.Port);
    for (const std::string& address : recipients)
        rcpt = curl_slist_append(rcpt, Bracketed(address).c_str());
    const std::string mailFrom = Bracketed(from);

    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_MAIL_FROM, mailFrom.c_str());
    curl_easy_setopt(easy, CURLOPT_MAIL_RCPT, rcpt);
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, ReadUpload);
    curl_easy_setopt(easy, CURLOPT_READDATA, &upload);
    curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
    curl_easy_setopt(easy, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_NONE));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, 30000L);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, 300000L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    if (!server.Account.empty()) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, server.Account.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, server.Password.c_str());
        curl_easy_setopt(easy, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
    }

    CURLcode code = CURLE_OK;
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
        code = CURLE_FAILED_INIT;
    } else {
        int running = 1;
        while (running) {
            if (curl_multi_perform(multi, &running) != CURLM_OK) {
                code = CURLE_FAILED_INIT;
                break;
            }
            if (!running) break;
            curl_multi_poll(multi, nullptr, 0, 100, nullptr);
            // A queued quit stays queued for the main loop; the mail goes on.
            gui::ProcessMessages();
        }
        int left = 0;
        while (CURLMsg* done = curl_multi_info_read(multi, &left))
            if (done->msg == CURLMSG_DONE && done->easy_handle == easy) code = done->data.result;
        curl_multi_remove_handle(multi, easy);
    }
    result.Sent = code == CURLE_OK;
    if (!result.Sent) result.Error = errorText[0] ? errorText : curl_easy_strerror(code);
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
    return result;
}

} // namespace job
