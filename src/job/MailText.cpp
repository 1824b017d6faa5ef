// Message composition for the job report. The body is text in the ANSI code page, so it is
// sent quoted-printable with that charset named; the attachment is the job log byte for byte,
// base64. The part boundary begins with "=_", which neither encoding can produce, so no body
// text can end a part early.

#include "job/MailText.h"

#include "gui/CivilDate.h"
#include "gui/TextTrim.h"

#include <cmath>
#include <cstdio>

namespace job {

namespace {

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char kHex[] = "0123456789ABCDEF";

bool IsPlainHeaderText(std::string_view text) {
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7e) return false;
    // An encoded word's opening in plain text would be read as one.
    return text.find("=?") == std::string_view::npos;
}

std::string Base64(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v =
            uint32_t(uint8_t(bytes[i])) << 16 | uint32_t(uint8_t(bytes[i + 1])) << 8 | uint8_t(bytes[i + 2]);
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += kBase64[(v >> 6) & 63];
        out += kBase64[v & 63];
    }
    if (i < bytes.size()) {
        uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
        if (i + 1 < bytes.size()) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kBase64[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// Bytes of the character that starts at text[at]: two for a lead byte of a double-byte charset,
// a whole sequence in UTF-8, else one.
size_t CharacterLength(std::string_view text, size_t at, std::string_view charset) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    size_t length = 1;
    if (charset == "utf-8") {
        if (c >= 0xF0)
            length = 4;
        else if (c >= 0xE0)
            length = 3;
        else if (c >= 0xC0)
            length = 2;
    } else if (charset == "shift_jis") {
        if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) length = 2;
    } else if (charset == "gbk" || charset == "ks_c_5601-1987" || charset == "big5") {
        if (c >= 0x81 && c <= 0xFE) length = 2;
    }
    return std::min(length, text.size() - at);
}

// A quoted string for a MIME parameter.
std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

} // namespace

std::vector<std::string> SplitRecipients(std::string_view text) {
    std::vector<std::string> out;
    size_t start = 0;
    bool quoted = false, bracketed = false;
    for (size_t at = 0; at <= text.size(); ++at) {
        const char c = at < text.size() ? text[at] : ',';
        if (c == '"' && !bracketed) {
            quoted = !quoted;
        } else if (c == '\\' && quoted && at + 1 < text.size()) {
            ++at;
        } else if (!quoted && (c == '<' || c == '>')) {
            bracketed = c == '<';
        } else if ((c == ',' || c == ';') && ((!quoted && !bracketed) || at == text.size())) {
            std::string part = gui::Trim(text.substr(start, at - start));
            if (!part.empty()) out.push_back(std::move(part));
            start = at + 1;
        }
    }
    return out;
}

std::string EnvelopeAddress(std::string_view text) {
    const size_t open = text.rfind('<');
    const size_t close = open == std::string_view::npos ? open : text.find('>', open);
    if (close == std::string_view::npos) return gui::Trim(text);
    return gui::Trim(text.substr(open + 1, close - open - 1));
}

std::string HeaderAddress(std::string_view text, std::string_view charset) {
    const std::string whole = gui::Trim(text);
    const size_t open = whole.rfind('<');
    if (open == std::string::npos || whole.find('>', open) == std::string::npos) return whole;
    std::string name = gui::Trim(std::string_view(whole).substr(0, open));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    const std::string address = "<" + EnvelopeAddress(whole) + ">";
    if (name.empty()) return address;
    if (!IsPlainHeaderText(name)) return EncodedHeaderText(name, charset) + " " + address;
    // Plain text with a character that has a meaning in an address goes in quotes.
    if (name.find_first_of("()<>[]:;@\\,.\"") != std::string::npos) return Quoted(name) + " " + address;
    return name + " " + address;
}

std::string CharsetOfCodePage(unsigned codePage) {
    switch (codePage) {
    case 874:
        return "windows-874";
    case 932:
        return "shift_jis";
    case 936:
        return "gbk";
    case 949:
        return "ks_c_5601-1987";
    case 950:
        return "big5";
    case 65001:
        return "utf-8";
    default:
        return "windows-" + std::to_string(codePage);
    }
}

std::string EncodedHeaderText(std::string_view text, std::string_view charset) {
    if (IsPlainHeaderText(text)) return std::string(text);
    const std::string prefix = "=?" + std::string(charset) + "?B?";
    // Each word stays within 75 characters: base64 of n bytes takes 4 * ceil(n / 3).
    const size_t room = prefix.size() + 2 < 75 ? 75 - prefix.size() - 2 : 4;
    const size_t chunk = room / 4 * 3;
    std::string out;
    for (size_t at = 0; at < text.size();) {
        size_t end = at;
        while (end < text.size()) {
            const size_t next = end + CharacterLength(text, end, charset);
            if (next - at > chunk && end > at) break;
            end = next;
        }
        if (!out.empty()) out += "\r\n ";
        out += prefix + Base64(text.substr(at, end - at)) + "?=";
        at = end;
    }
    return out;
}

std::string QuotedPrintable(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        size_t column = 0;
        for (size_t i = 0; i < line.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(line[i]);
            const bool last = i + 1 == line.size();
            const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
            const size_t width = literal ? 1 : 3;
            // A soft break leaves room for its "=" within 76 characters.
            if (column + width > 75) {
                out += "=\r\n";
                column = 0;
            }
            if (literal) {
                out += static_cast<char>(c);
            } else {
                out += '=';
                out += kHex[c >> 4];
                out += kHex[c & 15];
            }
            column += width;
        }
        out += "\r\n";
    }
    return out;
}

std::string Base64Lines(std::string_view bytes) {
    const std::string all = Base64(bytes);
    std::string out;
    out.reserve(all.size() + all.size() / 76 * 2 + 2);
    for (size_t at = 0; at < all.size(); at += 76)
        out.append(all, at, 76).append("\r\n");
    return out;
}

std::string MailDateText(double localDateTime, int minutesEastOfUtc) {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const double whole = std::floor(localDateTime);
    const int64_t dayCount = static_cast<int64_t>(whole) + gui::DateTimeEpochDays;
    int year = 1970, month = 1, day = 1;
    gui::CivilFromDays(dayCount, year, month, day);
    int64_t seconds = std::llround((localDateTime - whole) * 86400.0);
    if (seconds > 86399) seconds = 86399;
    const int weekday = static_cast<int>(((dayCount % 7) + 7 + 4) % 7); // 1970-01-01 was a Thursday
    const int offset = minutesEastOfUtc < 0 ? -minutesEastOfUtc : minutesEastOfUtc;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d", days[weekday], day,
                  months[month - 1], year, int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60),
                  minutesEastOfUtc < 0 ? '-' : '+', offset / 60, offset % 60);
    return text;
}

std::string ComposeMail(const MailContent& mail) {
    std::string to;
    for (const std::string& address : mail.To)
        to += (to.empty() ? "" : ",\r\n ") + HeaderAddress(address, mail.Charset);
    std::string out;
    if (!mail.Date.empty()) out += "Date: " + mail.Date + "\r\n";
    out += "From: " + HeaderAddress(mail.From, mail.Charset) + "\r\n";
    out += "To: " + to + "\r\n";
    out += "Subject: " + EncodedHeaderText(mail.Subject, mail.Charset) + "\r\n";
    out += "MIME-Version: 1.0\r\n";
    const std::string textHeaders = "Content-Type: text/plain; charset=" + mail.Charset +
                                    "\r\nContent-Transfer-Encoding: quoted-printable\r\n";
    const std::string body = QuotedPrintable(mail.BodyLines);
    if (mail.AttachmentName.empty()) return out + textHeaders + "\r\n" + body;

    const std::string boundary = "=_TarnwickReport_0";
    const std::string name = Quoted(EncodedHeaderText(mail.AttachmentName, mail.Charset));
    out += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    out += "--" + boundary + "\r\n" + textHeaders + "\r\n" + body;
    out += "--" + boundary + "\r\n";
    out += "Content-Type: application/octet-stream; name=" + name + "\r\n";
    out += "Content-Disposition: attachment; filename=" + name + "\r\n";
    out += "Content-Transfer-Encoding: base64\r\n\r\n";
    out += Base64Lines(mail.AttachmentBytes);
    out += "--" + boundary + "--\r\n";
    return out;
}

} // namespace job
