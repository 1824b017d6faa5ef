// Header words of the job report: addresses with display names, and encoded words that never
// cut a character of a double-byte charset or of UTF-8 (each must decode alone).

#include "job/MailText.h"

#include <gtest/gtest.h>

using namespace job;

namespace {

// The bytes of every "=?charset?B?...?=" word, decoded one by one.
std::vector<std::string> DecodedWords(const std::string& header) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<std::string> words;
    for (size_t at = header.find("?B?"); at != std::string::npos; at = header.find("?B?", at)) {
        const size_t end = header.find("?=", at + 3);
        std::string bytes;
        uint32_t bits = 0;
        int count = 0;
        for (size_t i = at + 3; i < end && header[i] != '='; ++i) {
            bits = bits << 6 | static_cast<uint32_t>(alphabet.find(header[i]));
            if ((count += 6) >= 8) bytes += static_cast<char>(bits >> (count -= 8) & 0xFF);
        }
        words.push_back(bytes);
        at = end;
    }
    return words;
}

} // namespace

TEST(MailText, AddressesWithADisplayNameSplitIntoEnvelopeAndHeader) {
    EXPECT_EQ(EnvelopeAddress(" Backup <ops@example.test> "), "ops@example.test");
    EXPECT_EQ(EnvelopeAddress("ops@example.test"), "ops@example.test");
    EXPECT_EQ(EnvelopeAddress("<ops@example.test>"), "ops@example.test");
    EXPECT_EQ(HeaderAddress("Backup <ops@example.test>", "windows-1252"), "Backup <ops@example.test>");
    EXPECT_EQ(HeaderAddress("ops@example.test", "windows-1252"), "ops@example.test");
    EXPECT_EQ(HeaderAddress("Ops, night <ops@example.test>", "windows-1252"),
              "\"Ops, night\" <ops@example.test>");
    EXPECT_EQ(HeaderAddress("B\xf6rje <b@example.test>", "windows-1252"),
              "=?windows-1252?B?QvZyamU=?= <b@example.test>");

    // A list as typed: a quoted name or a bracketed address may hold the separators; an
    // unclosed quote takes the rest of the list.
    EXPECT_EQ(
        SplitRecipients(" \"Ops, night\" <ops@example.test>; b@example.test,,\"A \\\" ;B\" <a@x.test> "),
        (std::vector<std::string>{"\"Ops, night\" <ops@example.test>", "b@example.test",
                                  "\"A \\\" ;B\" <a@x.test>"}));
    EXPECT_EQ(SplitRecipients("Ops <ops;x@example.test>, \"open, b@example.test"),
              (std::vector<std::string>{"Ops <ops;x@example.test>", "\"open, b@example.test"}));
    EXPECT_EQ(EnvelopeAddress("\"Ops, night\" <ops@example.test>"), "ops@example.test");

    MailContent mail;
    mail.From = "Tarnwick Backup <tw@example.test>";
    mail.To = {"J\xfcrgen <j@example.test>", "ops@example.test"};
    mail.Subject = "Nightly";
    const std::string text = ComposeMail(mail);
    EXPECT_NE(text.find("From: Tarnwick Backup <tw@example.test>\r\n"), std::string::npos);
    EXPECT_NE(text.find("To: =?windows-1252?B?SvxyZ2Vu?= <j@example.test>,\r\n ops@example.test\r\n"),
              std::string::npos);
}

TEST(MailText, EncodedWordsEndOnCharacterBoundaries) {
    // Shift JIS: 40 two-byte characters; a word holds 45 bytes at most, an odd number.
    std::string japanese;
    for (int i = 0; i < 40; ++i)
        japanese += "\x82\xa0";
    const std::string header = EncodedHeaderText(japanese, "shift_jis");
    const std::vector<std::string> words = DecodedWords(header);
    ASSERT_GE(words.size(), 2u);
    std::string joined;
    for (const std::string& word : words) {
        EXPECT_EQ(word.size() % 2, 0u) << "a character cut between words";
        joined += word;
    }
    EXPECT_EQ(joined, japanese);
    size_t lineStart = 0;
    for (size_t end = header.find("\r\n"); lineStart != std::string::npos;
         end = header.find("\r\n", lineStart)) {
        EXPECT_LE((end == std::string::npos ? header.size() : end) - lineStart, 76u);
        lineStart = end == std::string::npos ? end : end + 2;
    }

    // UTF-8: three-byte characters stay whole.
    std::string utf8;
    for (int i = 0; i < 30; ++i)
        utf8 += "\xe2\x82\xac";
    for (const std::string& word : DecodedWords(EncodedHeaderText(utf8, "utf-8")))
        EXPECT_EQ(word.size() % 3, 0u);
}
