#pragma once
// The job report as an Internet message: headers, a quoted-printable text part in the ANSI
// code page and the job log as a base64 attachment. Header words that are not plain ASCII go
// out as RFC 2047 encoded words. Kept apart from the transport so the text rules build in
// every preset.

#include <string>
#include <string_view>
#include <vector>

namespace job {

// The address list as typed: split at "," and ";", blanks trimmed, empty parts dropped. A
// display name in quotes or an address in angle brackets may hold either character.
std::vector<std::string> SplitRecipients(std::string_view text);

// An address as typed may carry a display name: "Backup <ops@example.test>". The envelope
// takes what lies inside the angle brackets (the whole text, trimmed, when there are none);
// the header keeps the whole text, its display name encoded when it is not plain ASCII.
std::string EnvelopeAddress(std::string_view text);
std::string HeaderAddress(std::string_view text, std::string_view charset);

// The MIME charset name of an ANSI code page ("windows-1252" for 1252).
std::string CharsetOfCodePage(unsigned codePage);

// The text as is when it is printable ASCII, else encoded words of at most 75 characters
// joined by folding white space. No word ends inside a character of a double-byte charset or
// of UTF-8, since each word must decode on its own.
std::string EncodedHeaderText(std::string_view text, std::string_view charset);

// Quoted-printable with CR LF line ends; lines of at most 76 characters.
std::string QuotedPrintable(const std::vector<std::string>& lines);

// Base64 in lines of 76 characters, each ended by CR LF.
std::string Base64Lines(std::string_view bytes);

// "Mon, 07 Dec 2026 03:50:08 +0100" of a local date-time (days since 1899-12-30) and its
// offset east of UTC in minutes.
std::string MailDateText(double localDateTime, int minutesEastOfUtc);

struct MailContent {
    std::string From;
    std::vector<std::string> To;
    std::string Subject;
    std::vector<std::string> BodyLines;
    std::string Charset = "windows-1252";
    std::string Date;
    std::string AttachmentName; // empty: no attachment
    std::string AttachmentBytes;
};

// The whole message with CR LF line ends, ready for the DATA phase.
std::string ComposeMail(const MailContent& mail);

} // namespace job
