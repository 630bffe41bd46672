#include "notify/SmtpMailer.h"
#include "tests/support/BoundedCall.h"
#include "tests/support/FakeClock.h"
#include "tests/support/HostileHttpServer.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/SmtpTestPeer.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace vantrel;
using namespace vantrel::test;
using std::chrono::milliseconds;
using Peer = SmtpTestPeer;

namespace {

const std::string kAddress = "ops@example.org";
const std::string kUnexpected = "ERR-20001: Error While Communicating with Server.  Message From Server: ";
const std::string kMegabyte(1024 * 1024, 'x');

// The greeting and HELO answered, then `rest`.
std::vector<Peer::Step> afterHelo(std::vector<Peer::Step> rest) {
    std::vector<Peer::Step> steps{Peer::say("220 hi\r\n"), Peer::hear(), Peer::say("250 hello\r\n")};
    steps.insert(steps.end(), rest.begin(), rest.end());
    return steps;
}

struct HostileSession {
    const char* what;
    std::vector<Peer::Step> script;
    int flag;
    std::vector<int> errors; // any of these; the first when the test is not racy
};

class HostileSmtpTest : public ::testing::Test {
protected:
    // Every case on the same instance, each followed by a send to a server
    // that works: a failure leaves nothing behind that spoils the next send.
    void runOnOneInstance(std::size_t readSize, const std::vector<HostileSession>& cases) {
        SmtpMailer mailer(readSize, pump, clock, {milliseconds(2000), milliseconds(1000)});
        auto send = [&](const std::string& what) {
            return BoundedCall::run(what,
                                    [&] {
                                        return mailer.sendMail(kAddress, "\r\nSite down\r\n", kAddress,
                                                               peer.hostPort(), "S");
                                    },
                                    {&peer});
        };
        for (const HostileSession& c : cases) {
            peer.addSession(c.script);
            EXPECT_FALSE(send(c.what)) << c.what;
            EXPECT_EQ(mailer.stepFlag, c.flag) << c.what;
            EXPECT_NE(std::find(c.errors.begin(), c.errors.end(), mailer.lastError), c.errors.end())
                << c.what << ": " << mailer.lastError;
            EXPECT_TRUE(mailer.errorText.ends_with(" Flag: " + std::to_string(c.flag))) << c.what;
            EXPECT_LE(mailer.lastReply.size(), readSize) << c.what;
            if (mailer.lastError == -20001) {
                EXPECT_EQ(mailer.errorText,
                          kUnexpected + mailer.lastReply + " Flag: " + std::to_string(c.flag))
                    << c.what;
            }

            peer.addSession(Peer::acceptingSession());
            EXPECT_TRUE(send(std::string("next send after: ") + c.what))
                << c.what << ": " << mailer.errorText;
            EXPECT_EQ(mailer.lastError, 0) << c.what;
        }
    }

    Peer peer;
    RecordingEventPump pump;
    FakeClock clock;
};

TEST_F(HostileSmtpTest, SilentClosingAndGarbageServersEndEverySendWithItsStep) {
    std::string garbage = HostileHttpServer::garbage();
    std::string garbageLines = garbage + "\r\n";
    std::string unendedGarbage = garbage;
    std::erase(unendedGarbage, '\n');
    runOnOneInstance(
        SmtpMailer::kBufferSize,
        {
            {"never greets", {Peer::goSilent()}, SmtpMailer::kStepGreetingRead, {10060}},
            {"greets, then silence",
             {Peer::say("220 hi\r\n"), Peer::goSilent()},
             SmtpMailer::kStepHelo,
             {10060}},
            {"closes while the message comes",
             afterHelo({Peer::hear(), Peer::say("250 ok\r\n"), Peer::hear(), Peer::say("250 ok\r\n"),
                        Peer::hear(), Peer::say("354 go ahead\r\n"), Peer::hear(), Peer::hangUp()}),
             SmtpMailer::kStepMessage,
             {-20001, 10054}},
            {"binary greeting", {Peer::say(garbage), Peer::goSilent()}, SmtpMailer::kStepGreeting, {-20000}},
            {"binary reply",
             afterHelo({Peer::hear(), Peer::say(garbageLines)}),
             SmtpMailer::kStepMailFrom,
             {-20001}},
            {"binary reply without a line end",
             afterHelo({Peer::hear(), Peer::say(unendedGarbage), Peer::goSilent()}),
             SmtpMailer::kStepMailFrom,
             {10060}},
        });
}

TEST_F(HostileSmtpTest, MegabyteLinesAreCutAtTheReadSize) {
    for (std::size_t readSize : {std::size_t{1024}, SmtpMailer::kBufferSize}) {
        runOnOneInstance(
            readSize,
            {
                // The greeting takes its first 13000 bytes; the
                // rest of the line answers HELO.
                {"megabyte greeting",
                 {Peer::say("220 " + kMegabyte + "\r\n"), Peer::goSilent()},
                 SmtpMailer::kStepHelo,
                 {-20001}},
                {"megabyte reply",
                 afterHelo({Peer::hear(), Peer::say("250 " + kMegabyte + "\r\n"), Peer::goSilent()}),
                 SmtpMailer::kStepRcpt,
                 {-20001}},
            });
    }
}

TEST_F(HostileSmtpTest, MultiLineReplies) {
    // A greeting of several lines that arrives at once is one greeting.
    std::vector<Peer::Step> multiGreeting = Peer::acceptingSession();
    multiGreeting[0] = Peer::say("220-mail.test\r\n220-no spam\r\n220 ready\r\n");
    peer.addSession(multiGreeting);
    SmtpMailer mailer(1024, pump, clock, {milliseconds(2000), milliseconds(1000)});
    EXPECT_TRUE(mailer.sendMail(kAddress, "", kAddress, peer.hostPort(), "S")) << mailer.errorText;

    // Any other reply of several lines fails its step: its first line does
    // not begin with the code and a blank.
    runOnOneInstance(1024,
                     {
                         {"multi-line HELO reply",
                          {Peer::say("220 hi\r\n"), Peer::hear(),
                           Peer::say("250-mail.test\r\n250-SIZE 1000\r\n250 HELP\r\n"), Peer::goSilent()},
                          SmtpMailer::kStepHelo,
                          {-20001}},
                         {"multi-line RCPT refusal",
                          afterHelo({Peer::hear(), Peer::say("250 ok\r\n"), Peer::hear(),
                                     Peer::say("550-no such user\r\n550 go away\r\n"), Peer::goSilent()}),
                          SmtpMailer::kStepRcpt,
                          {-20001}},
                     });
}

TEST_F(HostileSmtpTest, BareLineEndsInTheBodyCannotEndTheMessageEarly) {
    // Servers that take a bare CR or LF for a line end would read these as
    // the end of the data, and the lines after them as commands.
    peer.addSession(Peer::acceptingSession());
    SmtpMailer mailer(1024, pump, clock, {milliseconds(2000), milliseconds(1000)});
    const std::string body =
        "\r\nSite: a\r.\rMAIL FROM:<x@evil.test>\r\nb\n.\nRCPT to:<y@evil.test>\r\n.\r\nc\r.\n";
    ASSERT_TRUE(mailer.sendMail(kAddress, body, kAddress, peer.hostPort(), "S")) << mailer.errorText;

    const std::string received = peer.received(0);
    const std::size_t from = received.find("DATA\r\n") + 6;
    const std::size_t end = received.rfind("\r\n.\r\nQUIT \r\n");
    ASSERT_NE(end, std::string::npos);
    const std::string text = received.substr(from, end + 2 - from); // up to the final "."
    for (const char* early : {"\r.\r", "\r.\n", "\n.\r", "\n.\n"})
        EXPECT_EQ(text.find(early), std::string::npos) << "early end " << testing::PrintToString(early);
    EXPECT_NE(
        text.find(
            "\r\nSite: a\r..\rMAIL FROM:<x@evil.test>\r\nb\n..\nRCPT to:<y@evil.test>\r\n..\r\nc\r..\n"),
        std::string::npos)
        << text;
}

} // namespace
