#include "notify/MailMessage.h"
#include "notify/SmtpMailer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>

using namespace vantrel;
using vantrel::test::TempDir;

namespace {

// Python's strict RFC 5322 parser reads the message back: every header
// must parse without a defect, and the decoded subject and sender's name
// must be the ones given. Prints what the parser found.
std::string strictlyParsed(const std::string& message) {
    std::ofstream("message.eml", std::ios::binary) << message;
    const char* script =
        "import email, email.policy, sys\n"
        "m = email.message_from_bytes(open('message.eml','rb').read(), policy=email.policy.strict)\n"
        "d = m['Date'].datetime\n"
        "print(m['Subject']); print(m['From'].addresses[0].display_name);\n"
        "print(m['From'].addresses[0].addr_spec); print(d.utcoffset() is not None);\n"
        "print(bool(m['Message-ID'])); print(m.get_content_type(), m.get_content_charset());\n"
        "print(m.get_content(), end='')\n";
    std::ofstream("check.py") << script;
    FILE* p = ::popen("python3 check.py 2>&1", "r");
    std::string out;
    char buf[512];
    while (p && std::fgets(buf, sizeof buf, p))
        out += buf;
    if (p)
        ::pclose(p);
    return out;
}

TEST(MailMessage, ConformingHeaderParsesStrictly) {
    TempDir dir;
    // A Tuesday; the test runs with TZ=UTC.
    MailMessage::Header h{1796690625,
                          "Jörg \"Ops\" Müller",
                          "ops@example.org",
                          "team@example.org",
                          "Vantrel Error Report: Café \xe9t\xe9 " + std::string(60, 'x'),
                          ""};
    const std::string header = MailMessage::headerLines(h);
    EXPECT_TRUE(header.starts_with("Date: Tue, 08 Dec 2026 00:43:45 +0000\r\n")) << header;
    EXPECT_NE(header.find("\r\nMessage-ID: <1796690625."), std::string::npos);
    EXPECT_NE(
        header.find("@example.org>\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"),
        std::string::npos);
    const std::regex word("=\\?UTF-8\\?B\\?[A-Za-z0-9+/=]*\\?=");
    int words = 0;
    for (std::sregex_iterator it(header.begin(), header.end(), word), end; it != end; ++it, ++words)
        EXPECT_LE(it->length(), 75) << header;
    EXPECT_EQ(words, 4);
    const std::string parsed = strictlyParsed(header + "\r\nSite down: \xc3\xa9t\xc3\xa9\r\n");
    EXPECT_EQ(parsed, "Vantrel Error Report: Café été " + std::string(60, 'x') +
                          "\nJörg \"Ops\" Müller\nops@example.org\nTrue\nTrue\ntext/plain utf-8\n"
                          "Site down: été\r\n");

    EXPECT_EQ(MailMessage::displayName("Vantrel"), "Vantrel");
    EXPECT_EQ(MailMessage::displayName("Ops, Inc."), "\"Ops, Inc.\"");
    EXPECT_EQ(MailMessage::encodedWords("Vantrel Error Report"), "Vantrel Error Report");
    EXPECT_EQ(MailMessage::toUtf8("caf\xe9 \xc3\xa9"), "caf\xc3\xa9 \xc3\xa9");
    EXPECT_NE(MailMessage::newMessageId(1, "a@b.org"), MailMessage::newMessageId(1, "a@b.org"));
}

TEST(MailMessage, PortAndModeMismatchIsNamed) {
    EXPECT_EQ(SmtpMailer::portHint(MailSecurity::Tls, 587, SmtpMailer::kStepTlsHandshake),
              " Port 587 most likely expects STARTTLS (MAILSECURITY=starttls), not TLS from the first byte.");
    EXPECT_EQ(SmtpMailer::portHint(MailSecurity::StartTls, 465, SmtpMailer::kStepGreetingRead),
              " Port 465 most likely expects TLS from the first byte (MAILSECURITY=tls), not STARTTLS.");
    EXPECT_EQ(SmtpMailer::portHint(MailSecurity::StartTls, 587, SmtpMailer::kStepGreetingRead), "");
    EXPECT_EQ(SmtpMailer::portHint(MailSecurity::Tls, 587, SmtpMailer::kStepLogin), "");
}

} // namespace
