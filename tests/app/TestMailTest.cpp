#include "app/SiteMonitorDlg.h"
#include "tests/app/ByName.h"
#include "tests/app/ModalAnswerer.h"
#include "tests/app/PreferencesScript.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/SmtpTestPeer.h"
#include "tests/support/TempDir.h"
#include "ui/PreferencesDlg.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace vantrel;
using vantrel::test::byName;
using vantrel::test::HttpTestServer;
using vantrel::test::ModalAnswerer;
using vantrel::test::openPreferences;
using vantrel::test::SmtpTestPeer;
using vantrel::test::TempDir;
using P = SmtpTestPeer;

namespace {

// The whole dialogue of a server that takes the message, with `helo` as its
// answer to HELO.
std::vector<P::Step> accepting(P::Step helo) {
    std::vector<P::Step> session = P::acceptingSession();
    session[2] = std::move(helo);
    return session;
}

class TestMailTest : public ::testing::Test {
protected:
    void start(const std::string& ini) {
        TempDir::writeFile("vantrel.ini", "MONITOR=no\r\nEMAIL1=one@example\r\nSMTPSERVER=" +
                                              peer.hostPort() + "\r\n" + ini);
        window.OnInitDialog();
    }
    static void testEmail1(CPreferencesDlg& p) { byName<QPushButton>(p, "Test Email 1")->click(); }

    TempDir dir;
    SmtpTestPeer peer;
    CSiteMonitorDlg window;
};

} // namespace

TEST_F(TestMailTest, GoesThroughTheEnginesMailerOnItsOwnTermsAndShowsALineOnly) {
    // A reply longer than the report mails' 1024 bytes is read whole by the test.
    peer.addSession(accepting(P::say("250 " + std::string(1100, 'x') + "\r\n")));
    peer.addSession({P::say("554 no\r\n")}); // refused: still no box
    start("");
    ModalAnswerer answerer;
    std::vector<QString> results;
    openPreferences(window, [&](CPreferencesDlg& p) {
        testEmail1(p);
        results.push_back(byName<QLabel>(p, "Test Result")->text());
        testEmail1(p);
        results.push_back(p.testResult());
        QTest::keyClick(&p, Qt::Key_Escape);
    });
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].toStdString(), "Test message accepted by " + peer.hostPort());
    EXPECT_TRUE(results[1].startsWith("ERR-20000")) << results[1].toStdString();
    EXPECT_TRUE(results[1].endsWith("Flag: 2")) << results[1].toStdString();
    EXPECT_TRUE(answerer.seen().empty());
    const std::string sent = peer.received(0);
    EXPECT_NE(sent.find("MAIL FROM: <one@example>\r\nRCPT to: <one@example>\r\n"), std::string::npos) << sent;
    EXPECT_NE(sent.find("\r\nFrom: one@example\r\nSubject: Vantrel Test Email\r\nTo: one@example\r\n"),
              std::string::npos)
        << sent;
    EXPECT_NE(sent.find("\r\nVantrel Test Email\r\n\r\n.\r\n"), std::string::npos) << sent;
    EXPECT_EQ(peer.connections(), 2);
    // What the report mails see of the mailer is untouched by the tests.
    const SmtpMailer& reports = window.engine().mailer();
    EXPECT_EQ(reports.lastError, 0);
    EXPECT_EQ(reports.lastReply, "");
    EXPECT_EQ(reports.errorText, "");
}

TEST_F(TestMailTest, APassThatComesDueDuringTheTestRunsOnceTheTestHasEnded) {
    HttpTestServer web;
    web.route("/page", HttpTestServer::ok("Welcome"));
    TempDir::writeFile("vantrel.dat", "CREATOR=Vantrel 1.0\r\nST=Site\r\nURL=" + web.url("/page") +
                                          "\r\nTESTSTRING=Welcome\r\nCREATE=01 Jan 2026\r\nCHECK=\r\n"
                                          "URLEMAIL=\r\nACTION=\r\nSTATUS=OK\r\n");
    // The server takes its time over HELO: the test waits well past the tick.
    peer.addSession(accepting(P::sayInPieces({"250 ", "hello\r\n"}, std::chrono::milliseconds(800))));
    start("");
    window.ToggleMonitor(); // on; its timer's first tick is minutes away
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.secrets().ready(); }, 5000));
    bool ticked = false;
    size_t checkedDuringTest = 99;
    bool checkedAfter = false;
    openPreferences(window, [&](CPreferencesDlg& p) {
        QTimer::singleShot(300, &window, [&] {
            ticked = true;
            window.OnTimer();
        });
        testEmail1(p);
        checkedDuringTest = web.requests().size();
        EXPECT_EQ(p.testResult().toStdString(), "Test message accepted by " + peer.hostPort());
        checkedAfter = QTest::qWaitFor([&] { return !web.requests().empty(); }, 10000);
        QTest::keyClick(&p, Qt::Key_Escape);
    });
    EXPECT_TRUE(ticked);
    EXPECT_EQ(checkedDuringTest, 0u); // no pass inside the test's wait
    EXPECT_TRUE(checkedAfter);        // the tick's pass, right after it
    EXPECT_EQ(web.requests().size(), 1u);
    EXPECT_NE(peer.received(0).find("Vantrel Test Email"), std::string::npos);
}
