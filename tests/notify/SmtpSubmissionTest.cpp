// The extended dialogue: STARTTLS or TLS from the first byte, the login, and
// every way they can fail. Real aiosmtpd servers on 127.0.0.1 with
// certificates made by the test, whose CA alone is trusted; scripted peers
// for the transcripts.
#include "notify/SmtpMailer.h"
#include "notify/SocketErrorText.h"
#include "tests/support/FakeClock.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/ScopedEnvVar.h"
#include "tests/support/SmtpServerProcess.h"
#include "tests/support/SmtpTestPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

#include <gtest/gtest.h>

using namespace vantrel;
using namespace vantrel::test;
using std::chrono::milliseconds;
using Peer = SmtpTestPeer;

namespace {

const std::string kAddress = "ops@example.org";
const std::string kSubject = "Vantrel Test Email";
const std::string kUnexpected = "ERR-20001: Error While Communicating with Server.  Message From Server: ";
const MailSubmission kLogin{MailSecurity::StartTls, "ops", "s3cret pass"};

class SmtpSubmissionTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (SmtpServerProcess::python().empty())
            GTEST_SKIP() << "python3-aiosmtpd is not installed";
        ASSERT_TRUE(certs.made());
    }

    SmtpServerProcess::Options server(const std::string& security, const TestCertificates::Pair& pair,
                                      const std::string& login = "ops:s3cret pass") {
        SmtpServerProcess::Options o;
        o.security = security;
        o.cert = pair.cert;
        o.key = pair.key;
        o.login = login;
        return o;
    }

    bool send(const MailSubmission& submission, const std::string& server) {
        mailer.setSubmission(submission);
        return mailer.sendMail(kAddress, "\r\nSite: Home\r\n.\r\nStatus: 404\r\n", kAddress, server,
                               kSubject);
    }

    static void expectDelivered(const SmtpServerProcess& s) {
        ASSERT_EQ(s.messages().size(), 1u) << s.output();
        const std::string stored = s.messages()[0];
        EXPECT_NE(stored.find("Subject: Vantrel Test Email\n"), std::string::npos) << stored;
        EXPECT_NE(stored.find("X-RcptTo: ops@example.org\n"), std::string::npos) << stored;
        EXPECT_NE(stored.find("\nSite: Home\n.\nStatus: 404\n"), std::string::npos) << stored;
    }

    TempDir dir;
    TestCertificates certs{dir.path()};
    // Only the test's CA is trusted, whatever the system's store holds.
    ScopedEnvVar trustedFile{"SSL_CERT_FILE", certs.caFile().c_str()};
    ScopedEnvVar trustedDir{"SSL_CERT_DIR", dir.path().c_str()};
    RecordingEventPump pump;
    FakeClock clock;
    SmtpMailer mailer{1024, pump, clock, {milliseconds(5000), milliseconds(5000)}};
};

TEST_F(SmtpSubmissionTest, StartTlsWithLoginDeliversAndAWrongPasswordIsRefused) {
    SmtpServerProcess s(dir.path(), server("starttls", certs.server()));
    ASSERT_TRUE(s.ready()) << s.output();

    ASSERT_TRUE(send(kLogin, s.address("localhost"))) << mailer.errorText;
    EXPECT_EQ(mailer.lastError, 0);
    EXPECT_TRUE(mailer.lastReply.starts_with("221 ")) << mailer.lastReply;
    expectDelivered(s);
    // Offered PLAIN and LOGIN, the mailer takes PLAIN. One queued message at
    // the start and after each of nine accepted replies (EHLO, STARTTLS,
    // EHLO, AUTH, MAIL, RCPT, DATA, text, QUIT).
    EXPECT_EQ(s.authLog(), "PLAIN accepted\n");
    EXPECT_EQ(pump.dispatches, 10);

    EXPECT_FALSE(send({MailSecurity::StartTls, "ops", "wrong"}, s.address("localhost")));
    EXPECT_EQ(mailer.stepFlag, SmtpMailer::kStepLogin);
    EXPECT_EQ(mailer.lastError, SocketErrorText::kUnexpectedReply);
    EXPECT_EQ(mailer.errorText, kUnexpected + "535 5.7.8 Authentication credentials invalid\r\n Flag: 13");
    EXPECT_EQ(s.messages().size(), 1u);
}

TEST_F(SmtpSubmissionTest, LoginMethodComesFromTheProtectedEhloAndCleartextBeforeTheHandshakeIsDropped) {
    // The server offers AUTH LOGIN alone and, like a man in the middle, puts
    // "250 injected in the clear" behind its STARTTLS reply: taken for the
    // answer to the second EHLO it would hide the AUTH line.
    SmtpServerProcess::Options o = server("starttls", certs.server());
    o.mechanisms = "LOGIN";
    o.inject = true;
    SmtpServerProcess s(dir.path(), o);
    ASSERT_TRUE(s.ready()) << s.output();

    ASSERT_TRUE(send(kLogin, s.address("127.0.0.1"))) << mailer.errorText;
    EXPECT_EQ(s.authLog(), "LOGIN accepted\n");
    expectDelivered(s);
}

TEST_F(SmtpSubmissionTest, ImplicitTlsDeliversTheMessage) {
    SmtpServerProcess s(dir.path(), server("tls", certs.server()));
    ASSERT_TRUE(s.ready()) << s.output();

    ASSERT_TRUE(send({MailSecurity::Tls, "ops", "s3cret pass"}, s.address())) << mailer.errorText;
    EXPECT_EQ(s.authLog(), "PLAIN accepted\n");
    expectDelivered(s);
}

TEST_F(SmtpSubmissionTest, CertificateFailuresSayWhatIsWrongAndNothingIsSent) {
    const MailSubmission tls{MailSecurity::Tls, "ops", "s3cret pass"};
    SmtpServerProcess otherName(dir.path(), server("tls", certs.otherName()));
    ASSERT_TRUE(otherName.ready()) << otherName.output();
    EXPECT_FALSE(send(tls, otherName.address()));
    EXPECT_EQ(mailer.errorText, "ERR-20002: Secure Connection Failed: name does not match. Flag: 12");
    EXPECT_EQ(mailer.stepFlag, SmtpMailer::kStepTlsHandshake);

    SmtpServerProcess stranger(dir.path(), server("starttls", certs.selfSigned()));
    ASSERT_TRUE(stranger.ready()) << stranger.output();
    EXPECT_FALSE(send(kLogin, stranger.address("localhost")));
    EXPECT_EQ(mailer.errorText, "ERR-20002: Secure Connection Failed: certificate not trusted. Flag: 12");

    EXPECT_EQ(otherName.authLog() + stranger.authLog(), "");
    EXPECT_TRUE(otherName.messages().empty());
}

// The scripted peers need neither Python nor certificates.
class SmtpSubmissionTranscriptTest : public ::testing::Test {
protected:
    bool send(const MailSubmission& submission, SmtpMailer& m) {
        m.setSubmission(submission);
        return m.sendMail(kAddress, "\r\nSite down\r\n", kAddress, peer.hostPort(), kSubject);
    }

    Peer peer;
    RecordingEventPump pump;
    FakeClock clock;
    SmtpMailer mailer{1024, pump, clock, {milliseconds(5000), milliseconds(5000)}};
};

TEST_F(SmtpSubmissionTranscriptTest, PlainSubmissionIsTheOldDialogueEvenWithAPassword) {
    const std::vector<Peer::Step> accepting{
        Peer::say("220 mail ready\r\n"), Peer::hear(),     Peer::say("250 hello\r\n"),  Peer::hear(),
        Peer::say("250 ok\r\n"),         Peer::hear(),     Peer::say("250 ok\r\n"),     Peer::hear(),
        Peer::say("354 go ahead\r\n"),   Peer::hearData(), Peer::say("250 queued\r\n"), Peer::hear(),
        Peer::say("221 bye\r\n")};
    peer.addSession(accepting);
    peer.addSession(accepting);
    ASSERT_TRUE(send(MailSubmission{}, mailer));
    ASSERT_TRUE(send({MailSecurity::None, "", "not used"}, mailer)) << mailer.errorText;
    const std::string expected = "HELO 127.0.0.1 \r\n"
                                 "MAIL FROM: <ops@example.org>\r\n"
                                 "RCPT to: <ops@example.org>\r\n"
                                 "DATA\r\n"
                                 "Date: 08 Dec 2026 00:43:45\r\n"
                                 "From: ops@example.org\r\n"
                                 "Subject: Vantrel Test Email\r\n"
                                 "To: ops@example.org\r\n"
                                 "\r\nSite down\r\n"
                                 "\r\n\r\n.\r\n"
                                 "QUIT \r\n";
    EXPECT_EQ(peer.received(0), expected);
    EXPECT_EQ(peer.received(1), expected);
    EXPECT_EQ(pump.pauses, std::vector<milliseconds>(28, milliseconds(100)));
    EXPECT_EQ(pump.dispatches, 14);
}

TEST_F(SmtpSubmissionTranscriptTest, ALoginIsNeverSentUnencrypted) {
    EXPECT_FALSE(send({MailSecurity::None, "ops", "s3cret"}, mailer));
    EXPECT_EQ(mailer.stepFlag, SmtpMailer::kStepLogin);
    EXPECT_EQ(mailer.lastError, SocketErrorText::kLoginNeedsEncryption);
    EXPECT_EQ(mailer.errorText, "ERR-20004: A Login Needs an Encrypted Connection (STARTTLS or TLS); it is "
                                "never sent unencrypted. Flag: 13");
    EXPECT_EQ(peer.connections(), 0);
}

TEST_F(SmtpSubmissionTranscriptTest, StartTlsOnlyWhenOfferedAndEhloRepliesAreReadWhole) {
    // Not offered: nothing follows EHLO, the login least of all.
    peer.addSession({Peer::say("220 mail ready\r\n"), Peer::hear(),
                     Peer::say("250-mail.test\r\n250-AUTH PLAIN LOGIN\r\n250 SIZE 1000\r\n")});
    EXPECT_FALSE(send(kLogin, mailer));
    EXPECT_EQ(mailer.errorText,
              "ERR-20003: Server Does Not Offer STARTTLS; nothing more is sent unencrypted. "
              "Flag: 11");
    EXPECT_EQ(peer.received(0), "EHLO [127.0.0.1]\r\n");

    // Offered in the second piece of a multi-line reply, then refused.
    peer.addSession({Peer::sayInPieces({"220-mail ready\r\n", "220 go on\r\n"}, milliseconds(200)),
                     Peer::hear(),
                     Peer::sayInPieces({"250-mail.test\r\n250-SIZE 1000\r\n", "250-STARTTLS\r\n250 HELP\r\n"},
                                       milliseconds(200)),
                     Peer::hear(), Peer::say("454 4.7.0 TLS not available\r\n")});
    EXPECT_FALSE(send(kLogin, mailer));
    EXPECT_EQ(mailer.errorText, kUnexpected + "454 4.7.0 TLS not available\r\n Flag: 11");
    EXPECT_EQ(peer.received(1), "EHLO [127.0.0.1]\r\nSTARTTLS\r\n");

    // A reply that never ends is bounded in size.
    std::string endless = "250-mail.test\r\n";
    while (endless.size() < 2 * SmtpMailer::kBufferSize)
        endless += "250-EXTENSION\r\n";
    peer.addSession({Peer::say("220 mail ready\r\n"), Peer::hear(), Peer::say(endless)});
    EXPECT_FALSE(send(kLogin, mailer));
    EXPECT_EQ(mailer.stepFlag, SmtpMailer::kStepEhlo);
    EXPECT_EQ(mailer.lastError, SocketErrorText::kUnexpectedReply);
    EXPECT_EQ(mailer.lastReply.size(), SmtpMailer::kBufferSize);
}

TEST_F(SmtpSubmissionTranscriptTest, TheHandshakeIsBoundedAndNotTlsIsNoTls) {
    SmtpMailer impatient(1024, pump, clock, {milliseconds(2000), milliseconds(300)});
    peer.addSession({Peer::goSilent()});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(send({MailSecurity::Tls, "", ""}, impatient));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(impatient.errorText, "ERR-10060: Connection Timed Out. Flag: 12");

    // A plain server on the TLS port, greeting once the handshake has begun.
    peer.addSession({Peer::sayInPieces({"", "220 mail ready\r\n"}, milliseconds(200))});
    EXPECT_FALSE(send({MailSecurity::Tls, "", ""}, mailer));
    EXPECT_EQ(mailer.stepFlag, SmtpMailer::kStepTlsHandshake);
    EXPECT_EQ(mailer.errorText, "ERR-20002: Secure Connection Failed: wrong version number. Flag: 12");
}

TEST(SmtpMailerServer, PortFollowsTheSecurityUnlessGiven) {
    EXPECT_EQ(SmtpMailer::defaultPort(MailSecurity::None), 25);
    EXPECT_EQ(SmtpMailer::defaultPort(MailSecurity::StartTls), 587);
    EXPECT_EQ(SmtpMailer::defaultPort(MailSecurity::Tls), 465);
    EXPECT_EQ(SmtpMailer::splitServer("mail.example.org", 587).port, 587);
    EXPECT_EQ(SmtpMailer::splitServer("[::1]", 465).port, 465);
    EXPECT_EQ(SmtpMailer::splitServer("mail.example.org:2525", 465).port, 2525);
}

} // namespace
