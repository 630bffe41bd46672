#include "notify/SmtpMailer.h"
#include "notify/SocketErrorText.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FullBacklogListener.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/SmtpTestPeer.h"

#include <gtest/gtest.h>

#include <thread>

using namespace vantrel;
using std::chrono::milliseconds;
using vantrel::test::ChildProcess;
using vantrel::test::FakeClock;
using vantrel::test::FullBacklogListener;
using vantrel::test::RecordingEventPump;
using vantrel::test::SmtpTestPeer;
using Peer = SmtpTestPeer;

namespace {

const std::string kAddress = "ops@example.org";
const std::string kSubject = "Vantrel Error Report";
const std::vector<std::string> kAccepting{"250 hello\r\n",    "250 sender ok\r\n", "250 recipient ok\r\n",
                                          "354 go ahead\r\n", "250 queued\r\n",    "221 bye\r\n"};
const std::string kUnexpected = "ERR-20001: Error While Communicating with Server.  Message From Server: ";

// The greeting, then one reply for each command heard, the fifth command
// being the message text.
std::vector<Peer::Step> session(const std::string& greeting, const std::vector<std::string>& replies) {
    std::vector<Peer::Step> steps{Peer::say(greeting)};
    for (std::size_t i = 0; i < replies.size(); ++i) {
        steps.push_back(i == 4 ? Peer::hearData() : Peer::hear());
        steps.push_back(Peer::say(replies[i]));
    }
    return steps;
}

std::vector<Peer::Step> accepting() {
    return session("220 mail.test ready\r\n", kAccepting);
}

// The message text as the server received it, from the Date line to the end.
std::string messageOf(const std::string& received) {
    std::size_t from = received.find("DATA\r\n") + 6;
    return received.substr(from, received.rfind("QUIT \r\n") - from);
}

std::string headerLines() {
    // FakeClock's time; the test runs with TZ=UTC.
    return "Date: 08 Dec 2026 00:43:45\r\nFrom: " + kAddress + "\r\nSubject: " + kSubject +
           "\r\nTo: " + kAddress + "\r\n";
}

class SmtpMailerTest : public ::testing::Test {
protected:
    SmtpMailer makeMailer(std::size_t readSize, milliseconds replyTimeout = milliseconds(5000)) {
        return SmtpMailer(readSize, pump, clock, {milliseconds(5000), replyTimeout});
    }
    bool send(SmtpMailer& m, const std::string& body = "\r\nSite down\r\n") {
        return m.sendMail(kAddress, body, kAddress, peer.hostPort(), kSubject);
    }

    Peer peer;
    RecordingEventPump pump;
    FakeClock clock;
    SmtpMailer mailer = makeMailer(1024);
};

TEST_F(SmtpMailerTest, SuccessfulDialogueByteForByte) {
    peer.addSession(accepting());
    ASSERT_TRUE(send(mailer, "\r\nSite: Home\r\nStatus: 404\r\n"));
    EXPECT_EQ(mailer.lastError, 0);
    EXPECT_EQ(mailer.lastReply, "221 bye\r\n");
    EXPECT_EQ(peer.received(0), "HELO 127.0.0.1 \r\n"
                                "MAIL FROM: <ops@example.org>\r\n"
                                "RCPT to: <ops@example.org>\r\n"
                                "DATA\r\n" +
                                    headerLines() +
                                    "\r\nSite: Home\r\nStatus: 404\r\n"
                                    "\r\n\r\n.\r\n"
                                    "QUIT \r\n");
    // One queued message taken at the start and after each of six replies;
    // the fixed pauses add up to 1.4 s per message.
    EXPECT_EQ(pump.dispatches, 7);
    EXPECT_EQ(pump.pauses, std::vector<milliseconds>(14, milliseconds(100)));
}

TEST_F(SmtpMailerTest, EveryFailureEndsWithItsCodeAndStep) {
    std::vector<std::string> quitRefused = kAccepting;
    quitRefused[5] = "250 bye\r\n";
    const struct {
        const char* what;
        std::vector<Peer::Step> script;
        int error;
        int flag;
        std::string text;
    } cases[] = {
        {"multi-line reply", session("220 hi\r\n", {"250-hello\r\n250 more\r\n"}), -20001, 4,
         kUnexpected + "250-hello\r\n250 more\r\n Flag: 4"},
        {"recipient refused",
         session("220 hi\r\n", {"250 hello\r\n", "250 ok\r\n", "550 5.1.1 no such user\r\n"}), -20001, 62,
         kUnexpected + "550 5.1.1 no such user\r\n Flag: 62"},
        {"DATA refused", session("220 hi\r\n", {"250 a\r\n", "250 b\r\n", "250 c\r\n", "250 d\r\n"}), -20001,
         7, kUnexpected + "250 d\r\n Flag: 7"},
        {"closed after the message",
         {Peer::say("220 hi\r\n"), Peer::hear(), Peer::say("250 a\r\n"), Peer::hear(), Peer::say("250 b\r\n"),
          Peer::hear(), Peer::say("250 c\r\n"), Peer::hear(), Peer::say("354 go\r\n"), Peer::hearData(),
          Peer::hangUp()},
         -20001,
         8,
         kUnexpected + " Flag: 8"},
        {"QUIT not confirmed", session("220 hi\r\n", quitRefused), -20001, 9,
         kUnexpected + "250 bye\r\n Flag: 9"},
        {"greeting refused", session("554 go away\r\n", {}), -20000, 2,
         "ERR-20000: Failed to Connect to Server. Flag: 2"},
        {"closed without greeting",
         {Peer::hangUp()},
         10101,
         3,
         "ERR-10094: Remote Server Shutting Down. Flag: 3"},
    };
    for (const auto& c : cases)
        peer.addSession(c.script);
    for (const auto& c : cases) {
        EXPECT_FALSE(send(mailer)) << c.what;
        EXPECT_EQ(mailer.lastError, c.error) << c.what;
        EXPECT_EQ(mailer.stepFlag, c.flag) << c.what;
        EXPECT_EQ(mailer.errorText, c.text) << c.what;
    }
    // A refused recipient: nothing after the RCPT line reached the server.
    EXPECT_TRUE(peer.received(1).ends_with("RCPT to: <ops@example.org>\r\n"));
}

TEST_F(SmtpMailerTest, NoWaitIsUnbounded) {
    SmtpMailer impatient = makeMailer(1024, milliseconds(300));
    peer.addSession({Peer::goSilent()});
    EXPECT_FALSE(send(impatient));
    EXPECT_EQ(impatient.errorText, "ERR-10060: Connection Timed Out. Flag: 3");

    peer.addSession({Peer::say("220 hi\r\n"), Peer::hear(), Peer::say("250 hello\r\n"), Peer::goSilent()});
    EXPECT_FALSE(send(impatient));
    EXPECT_EQ(impatient.errorText, "ERR-10060: Connection Timed Out. Flag: 5");

    // A reply that starts but never ends its line.
    peer.addSession({Peer::say("220 hi\r\n"), Peer::hear(), Peer::say("250 hel"), Peer::goSilent()});
    EXPECT_FALSE(send(impatient));
    EXPECT_EQ(impatient.lastError, 10060);
    EXPECT_EQ(impatient.stepFlag, 4);

    FullBacklogListener unanswered;
    if (unanswered.full()) {
        SmtpMailer m(1024, pump, clock, {milliseconds(300), milliseconds(300)});
        EXPECT_FALSE(
            m.sendMail(kAddress, "", kAddress, "127.0.0.1:" + std::to_string(unanswered.port()), kSubject));
        EXPECT_EQ(m.errorText, "ERR-10060: Connection Timed Out. Flag: 3");
    }
}

TEST_F(SmtpMailerTest, AStopEndsTheWaitUnderWayAndEverySendAfterIt) {
    // The server greets, hears HELO and falls silent: the reply wait (5 s
    // here) is cut short by a stop requested from another thread.
    peer.addSession({Peer::say("220 hi\r\n"), Peer::hear(), Peer::goSilent()});
    std::thread stopper([this] {
        std::this_thread::sleep_for(milliseconds(300));
        pump.stopSignal().request();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(send(mailer));
    const auto took = std::chrono::steady_clock::now() - start;
    stopper.join();
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_EQ(mailer.errorText,
              "ERR-10004: Socket disconnected due to interuption from Blocking Call. Flag: 4");

    // Once stopped, a send does not even connect (a failed connection would
    // be step 3).
    EXPECT_FALSE(send(mailer));
    EXPECT_EQ(mailer.lastError, 10004);
    EXPECT_EQ(mailer.stepFlag, 0);
}

TEST_F(SmtpMailerTest, ConnectionFailuresKeepTheirOwnReason) {
    const std::string closed = "127.0.0.1:" + std::to_string(ChildProcess::freePort());
    EXPECT_FALSE(mailer.sendMail(kAddress, "", kAddress, closed, kSubject));
    EXPECT_EQ(mailer.errorText, "ERR-10061: Connection Refused by remote server Flag: 3");
    EXPECT_FALSE(mailer.sendMail(kAddress, "", kAddress, "mail.example.invalid", kSubject));
    EXPECT_EQ(mailer.errorText, "ERR-11001: Host Not Found. Flag: 3");
}

TEST_F(SmtpMailerTest, RepliesInPiecesAndLeftoverLines) {
    // One reply that arrives in pieces is read whole.
    peer.addSession({Peer::sayInPieces({"22", "0 ready\r\n"}, milliseconds(200)), Peer::hear(),
                     Peer::sayInPieces({"250 hel", "lo\r\n"}, milliseconds(200)), Peer::hear(),
                     Peer::say("250 ok\r\n"), Peer::hear(), Peer::say("250 ok\r\n"), Peer::hear(),
                     Peer::say("354 go\r\n"), Peer::hearData(), Peer::say("250 ok\r\n"), Peer::hear(),
                     Peer::say("221 bye\r\n")});
    EXPECT_TRUE(send(mailer)) << mailer.errorText;

    // A greeting line that comes later, as a reply of its own, answers HELO.
    peer.addSession(
        {Peer::sayInPieces({"220-first line\r\n", "220 second line\r\n"}, milliseconds(300)), Peer::hear()});
    EXPECT_FALSE(send(mailer));
    EXPECT_EQ(mailer.lastError, -20001);
    EXPECT_EQ(mailer.stepFlag, 4);
    EXPECT_EQ(mailer.lastReply, "220 second line\r\n");
}

TEST_F(SmtpMailerTest, ReplyLongerThanTheReadSizeSpillsIntoTheNextReply) {
    std::vector<std::string> replies = kAccepting;
    replies[0] = "250 " + std::string(1100, 'x') + "\r\n";
    peer.addSession(session("220 hi\r\n", replies));
    peer.addSession(session("220 hi\r\n", replies));

    EXPECT_FALSE(send(mailer));
    EXPECT_EQ(mailer.stepFlag, 5);
    // The rest of the long reply comes first in the next one (the real reply
    // to MAIL FROM may follow in the same read).
    EXPECT_TRUE(mailer.lastReply.starts_with(std::string(1100 - 1020, 'x') + "\r\n")) << mailer.lastReply;

    SmtpMailer preferences = makeMailer(13000);
    EXPECT_TRUE(send(preferences)) << preferences.errorText;
}

TEST_F(SmtpMailerTest, MessageTextIsStuffedSeparatedAndSentWhole) {
    const std::string longLine(5000, 'x');
    peer.addSession(accepting());
    ASSERT_TRUE(send(mailer, "First line\r\n.\r\n..two\r\n" + longLine + "\r\n.end"));
    EXPECT_EQ(messageOf(peer.received(0)),
              headerLines() + "\r\nFirst line\r\n..\r\n...two\r\n" + longLine + "\r\n..end\r\n\r\n.\r\n");

    peer.addSession(accepting());
    ASSERT_TRUE(send(mailer, ""));
    EXPECT_EQ(messageOf(peer.received(1)), headerLines() + "\r\n\r\n.\r\n");

    peer.addSession(accepting());
    ASSERT_TRUE(send(mailer, ".hidden\nbare\n.dot"));
    EXPECT_EQ(messageOf(peer.received(2)), headerLines() + "\r\n..hidden\nbare\n..dot\r\n\r\n.\r\n");
}

TEST_F(SmtpMailerTest, LineBreaksInAddressesOrServerAreRefusedBeforeConnecting) {
    const std::string server = peer.hostPort();
    EXPECT_FALSE(mailer.sendMail("a@b.org\r\nRCPT to: <x@y.org>", "", kAddress, server, kSubject));
    EXPECT_EQ(mailer.errorText, "ERR-10022: Invalid Argument. The recipient contains a line break. Flag: 0");
    EXPECT_FALSE(mailer.sendMail(kAddress, "", "a@b.org\n", server, kSubject));
    EXPECT_EQ(mailer.errorText, "ERR-10022: Invalid Argument. The sender contains a line break. Flag: 0");
    EXPECT_FALSE(mailer.sendMail(kAddress, "", kAddress, server + "\r", kSubject));
    EXPECT_EQ(mailer.errorText, "ERR-10022: Invalid Argument. The server contains a line break. Flag: 0");
    EXPECT_EQ(peer.connections(), 0);
}

TEST_F(SmtpMailerTest, FailureTextSurvivesALaterSuccess) {
    peer.addSession(session("220 hi\r\n", {"250 hello\r\n", "250 ok\r\n", "550 no\r\n"}));
    peer.addSession(accepting());
    EXPECT_FALSE(send(mailer));
    const std::string failure = mailer.errorText;
    EXPECT_TRUE(send(mailer));
    EXPECT_EQ(mailer.lastError, 0);
    EXPECT_EQ(mailer.errorText, failure);
}

TEST_F(SmtpMailerTest, SendStartedFromADispatchedMessageKeepsTheOuterConnection) {
    Peer other;
    other.addSession(accepting());
    peer.addSession(accepting());
    bool nestedResult = false;
    pump.onDispatch = [&] {
        if (pump.dispatches == 2) // after HELO of the outer send
            nestedResult = mailer.sendMail(kAddress, "\r\nnested\r\n", kAddress, other.hostPort(), kSubject);
    };
    EXPECT_TRUE(send(mailer, "\r\nouter\r\n"));
    EXPECT_TRUE(nestedResult);
    EXPECT_NE(peer.received(0).find("\r\nouter\r\n"), std::string::npos);
    EXPECT_NE(other.received(0).find("\r\nnested\r\n"), std::string::npos);
}

TEST_F(SmtpMailerTest, ASendOnItsOwnTermsKeepsItsOutcomeApartFromTheMailers) {
    // The mailer's own send (1024-byte replies) is refused at RCPT. One started
    // inside it on its own terms takes a reply longer than 1024 bytes whole,
    // and neither outcome shows in the other.
    std::vector<std::string> longFirst = kAccepting;
    longFirst[0] = "250 " + std::string(1100, 'x') + "\r\n";
    Peer other;
    other.addSession(session("220 hi\r\n", longFirst));
    peer.addSession(session("220 hi\r\n", {"250 hello\r\n", "250 ok\r\n", "550 no such user\r\n"}));
    SmtpSend own;
    own.replyReadSize = 13000;
    bool nested = false;
    pump.onDispatch = [&] {
        if (pump.dispatches == 2) // after HELO of the outer send
            nested = mailer.sendMail(own, kAddress, "\r\nnested\r\n", kAddress, other.hostPort(), kSubject);
    };
    EXPECT_FALSE(send(mailer));
    EXPECT_TRUE(nested) << own.errorText;
    EXPECT_EQ(own.lastError, 0);
    EXPECT_EQ(own.lastReply, "221 bye\r\n");
    EXPECT_EQ(own.errorText, "");
    const std::string refused = kUnexpected + "550 no such user\r\n Flag: 62";
    EXPECT_EQ(mailer.errorText, refused);
    EXPECT_EQ(mailer.lastReply, "550 no such user\r\n");
    EXPECT_EQ(mailer.replyReadSize(), 1024u);
}

TEST(SmtpMailerServer, PlainHostMeansPort25) {
    const struct {
        std::string server;
        std::string host;
        int port;
    } cases[] = {
        {"mail.example.org", "mail.example.org", 25},
        {"mail:2525", "mail", 2525},
        {"[::1]:26", "::1", 26},
        {"[::1]", "::1", 25},
        {"::1", "::1", 25},
        {"mail:0", "mail:0", 25},
        {"mail:99999", "mail:99999", 25},
        {"mail:x", "mail:x", 25},
    };
    for (const auto& c : cases) {
        SmtpMailer::ServerAddress a = SmtpMailer::splitServer(c.server);
        EXPECT_EQ(a.host, c.host) << c.server;
        EXPECT_EQ(a.port, c.port) << c.server;
    }
}

TEST(SocketErrorText, TableOddities) {
    EXPECT_EQ(SocketErrorText::text(10101), "ERR-10094: Remote Server Shutting Down.");
    EXPECT_EQ(SocketErrorText::text(10094), "Error: Other Error");
    EXPECT_EQ(SocketErrorText::text(0), "Error: Other Error");
    EXPECT_EQ(SocketErrorText::text(-20001, "451 later\r\n"), kUnexpected + "451 later\r\n");
    EXPECT_EQ(SocketErrorText::text(10058), "ERR-10058: Cannot Send.  Socket Already Closed.");
}

} // namespace
