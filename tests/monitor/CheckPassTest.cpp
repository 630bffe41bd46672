#include "model/DateText.h"
#include "monitor/SiteMonitor.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/FakeSoundPlayer.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/SmtpTestPeer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using namespace vantrel;
using namespace vantrel::test;

namespace {

std::vector<SmtpTestPeer::Step> acceptingSession() {
    using P = SmtpTestPeer;
    return {P::say("220 mail ready\r\n"), P::hear(),     P::say("250 hello\r\n"),  P::hear(),
            P::say("250 ok\r\n"),         P::hear(),     P::say("250 ok\r\n"),     P::hear(),
            P::say("354 go ahead\r\n"),   P::hearData(), P::say("250 queued\r\n"), P::hear(),
            P::say("221 bye\r\n")};
}

// The engine with the window faked in memory, real HTTP and SMTP peers on
// loopback, a clock that stands still and waits that take no time.
class CheckPassTest : public ::testing::Test {
protected:
    CheckPassTest() {
        view.data = &engine.data();
        web.route("/good", HttpTestServer::ok("<html>Welcome home</html>"));
        web.route("/changed", HttpTestServer::ok("<html>welcome, under maintenance</html>"));
        web.route("/hook", HttpTestServer::status(500, "Internal Server Error", "broken"));
        Settings& s = engine.settings();
        s.email1 = "ops@example.test";
        s.smtpServer = smtp.hostPort();
        s.notify = "On Change";
        s.everyError = "no";
        engine.applyMonitorSetting();
    }

    // Sites from the top row down.
    void setSites(const std::vector<SiteEntry>& top) {
        engine.sites().clear();
        for (auto it = top.rbegin(); it != top.rend(); ++it)
            engine.sites().insertAtTop(*it);
    }

    SiteEntry site(const std::string& path, const std::string& action, const std::string& status,
                   const std::string& test = "Welcome") {
        SiteEntry e;
        e.title = "Site " + path;
        e.url = path == "refused" ? refusedUrl : web.url("/" + path);
        e.testString = test;
        e.action = action;
        e.status = status;
        e.errorUrl = web.url("/hook");
        return e;
    }

    int hookCalls() const {
        int n = 0;
        for (const std::string& r : web.requests())
            n += r.rfind("GET /hook ", 0) == 0 || r.rfind("POST /", 0) == 0;
        return n;
    }

    TempDir dir;
    HttpTestServer web;
    SmtpTestPeer smtp;
    FakeMonitorView view;
    RecordingEventPump pump;
    FakeClock clock;
    FakeSoundPlayer sound;
    CurlHttpClient http;
    SiteMonitor engine{view, MonitorServices{&pump, &clock, &http, &sound}};
    // Nothing listens on port 1 of the loopback address: refused at once.
    std::string refusedUrl = "http://127.0.0.1:1/";
};

} // namespace

TEST_F(CheckPassTest, MailDecisionTable) {
    struct Case {
        const char* page;
        const char* action;
        const char* previous;
        const char* everyError;
        const char* notify;
        const char* expectStatus;
        const char* expectSubject; // nullptr: no mail
    };
    const Case cases[] = {
        {"refused", "Email", "OK", "no", "On Change", "404", "Vantrel Error Report"},
        {"refused", "Email", "404", "no", "On Change", "404", nullptr},
        {"refused", "Email", "New", "no", "Every Check", "404", nullptr}, // NOTIFY plays no part here
        {"refused", "Email / Sound", "404", "yes", "On Change", "404", "Vantrel Error Report"},
        {"changed", "Email", "OK", "no", "On Change", "Bad - Test String text Not Found",
         "Vantrel Error Report"},
        {"changed", "Email", "Bad - Test String text Not Found", "yes", "On Change",
         "Bad - Test String text Not Found", nullptr}, // EVERYERROR plays no part here
        {"changed", "Email", "New", "no", "Every Check", "Bad - Test String text Not Found",
         "Vantrel Error Report"},
        {"good", "Email", "OK", "yes", "Every Check", "OK", nullptr},
        {"good", "Email / URL", "404", "no", "On Change", "OK", "Vantrel Recovery Report"},
        {"good", "Email", "New", "no", "On Change", "OK", "Vantrel Recovery Report"},
        {"refused", "Sound", "OK", "yes", "Every Check", "404", nullptr},
        {"refused", "email", "OK", "yes", "Every Check", "404", nullptr}, // actions are case-sensitive
    };
    int sessions = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.page) + " " + c.action + " " + c.previous);
        engine.settings().everyError = c.everyError;
        engine.settings().notify = c.notify;
        SiteEntry e = site(c.page, c.action, c.previous);
        e.errorUrl.clear();
        setSites({e});
        if (c.expectSubject)
            smtp.addSession(acceptingSession());
        engine.runCheckPass();
        EXPECT_EQ(engine.sites().row(0).status, c.expectStatus);
        if (c.expectSubject) {
            std::string sent = smtp.received(static_cast<size_t>(sessions++));
            EXPECT_NE(sent.find(std::string("Subject: ") + c.expectSubject + "\r\n"), std::string::npos)
                << sent;
            EXPECT_NE(sent.find("MAIL FROM: <ops@example.test>\r\n"), std::string::npos);
        }
        EXPECT_EQ(smtp.connections(), sessions);
    }
}

TEST_F(CheckPassTest, LogReportsAndRowsOfOnePass) {
    clock.set(1796690625);
    const std::string stamp = DateText::dateTime(clock.now());
    engine.settings().email2 = "boss@example.test";
    setSites(
        {site("good", "Email", "404"), site("changed", "Sound", "OK"), site("refused", "URL", "OK", "")});
    smtp.addSession(acceptingSession());
    smtp.addSession(acceptingSession());
    engine.data().checkCount = 7;
    view.show(); // the counter on screen is what the pass counts on from
    engine.runCheckPass();

    EXPECT_EQ(TempDir::readFile("vantrel.log"),
              "\r\n" + stamp + " " + web.url("/good") + " OK\r\n" + stamp + " " + web.url("/changed") +
                  " Bad - Test String text Not Found\r\n" + stamp + " " + refusedUrl + " 404");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(engine.sites().row(i).checkDate, stamp);
    EXPECT_EQ(engine.data().checkCount, 10);
    EXPECT_EQ(engine.data().statusText, "Monitor.");

    // The recovery report goes to each address in turn, each its own sender.
    const std::string first = smtp.received(0);
    const std::string second = smtp.received(1);
    const std::string body =
        "\r\n" + web.url("/good") + " Service Restored.\r\nVantrel Report " + stamp + "\r\n";
    EXPECT_NE(first.find("RCPT to: <ops@example.test>\r\n"), std::string::npos);
    EXPECT_NE(first.find(body), std::string::npos) << first;
    EXPECT_NE(second.find("MAIL FROM: <boss@example.test>\r\n"), std::string::npos);
    EXPECT_EQ(smtp.connections(), 2);

    // Last site's report stays behind; its fetch error number is in it.
    EXPECT_EQ(engine.reportBody().rfind("\n" + refusedUrl + " 404: 12029\n", 0), 0u) << engine.reportBody();
    EXPECT_EQ(sound.played, std::vector<std::string>{"air.wav"});
    EXPECT_EQ(engine.settings().errorSound, "air.wav");
    EXPECT_EQ(view.tray, (std::vector<std::string>{"on", "alert", "alert"}));
    EXPECT_EQ(pump.pauses.front(), std::chrono::milliseconds(2000));
}

TEST_F(CheckPassTest, ErrorUrlIsCalledTwiceOnFailureAndOnceOnSuccess) {
    setSites({site("good", "URL", "OK"), site("changed", "URL / Sound", "OK"), site("good", "Sound", "OK")});
    engine.runCheckPass();
    EXPECT_EQ(hookCalls(), 3); // a status 500 still counts as a call that worked
    EXPECT_TRUE(view.boxes.empty());

    SiteEntry posting = site("refused", "URL", "OK");
    posting.errorUrl = "http://" + web.hostPort() + "/POST /notify $HTTPsite=one&msg=site down";
    setSites({posting});
    engine.runCheckPass();
    const std::string post = web.lastRequest();
    EXPECT_EQ(post.rfind("POST /notify HTTP/1.1\r\n", 0), 0u) << post;
    EXPECT_NE(post.find("\r\n\r\nsite=one&msg=sitedown"), std::string::npos);

    SiteEntry broken = site("refused", "URL", "OK");
    broken.errorUrl = refusedUrl + "hook";
    setSites({broken});
    engine.runCheckPass();
    ASSERT_EQ(view.boxes.size(), 2u);
    EXPECT_EQ(view.boxes[0].text, "Unable to load URL\r\nPlease check URL and update your listing.");
    EXPECT_EQ(view.boxes[0].caption, "Error");
}

TEST_F(CheckPassTest, EmptyListAndMonitoringOff) {
    engine.runCheckPass();
    EXPECT_FALSE(TempDir::exists("vantrel.log"));
    EXPECT_EQ(engine.data().statusText, "Monitor.");
    EXPECT_EQ(view.timerPeriods.back(), std::chrono::minutes(5));

    setSites({site("good", "Email", "OK")});
    engine.toggleMonitor();
    EXPECT_EQ(engine.data().statusText, "Off.");
    EXPECT_EQ(view.tray.back(), "off");
    const size_t periods = view.timerPeriods.size();
    engine.onTimer();
    EXPECT_EQ(engine.data().statusText, "Off.");
    EXPECT_FALSE(TempDir::exists("vantrel.log"));
    EXPECT_EQ(view.timerPeriods.size(), periods);
}

TEST_F(CheckPassTest, MonitorNotYesEndsOnDoneWithoutRearming) {
    engine.settings().monitor = "maybe";
    const size_t periods = view.timerPeriods.size();
    engine.runCheckPass();
    EXPECT_EQ(engine.data().statusText, "Done.");
    EXPECT_EQ(view.timerPeriods.size(), periods);
}

TEST_F(CheckPassTest, TickDuringAPassIsIgnored) {
    setSites({site("good", "Email", "404"), site("good", "Email", "404")});
    smtp.addSession(acceptingSession());
    smtp.addSession(acceptingSession());
    int ticks = 0;
    pump.onDispatch = [&] {
        ++ticks;
        engine.onTimer(); // the mailer lets a queued tick through
    };
    engine.runCheckPass();
    EXPECT_GT(ticks, 0);
    const std::string log = TempDir::readFile("vantrel.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
    EXPECT_EQ(engine.data().checkCount, 2);
}

TEST_F(CheckPassTest, RowsRemovedWhileABoxIsOpenAreNeverTouched) {
    SiteEntry broken = site("good", "URL", "OK");
    broken.errorUrl = refusedUrl + "hook";
    setSites({broken, site("good", "Sound", "OK"), site("good", "Sound", "OK")});
    view.onBox = [&](const FakeMonitorView::Box&) { engine.sites().clear(); };
    engine.runCheckPass();
    EXPECT_EQ(engine.sites().rowCount(), 0);
    EXPECT_EQ(view.boxes.size(), 1u); // the pass stopped at the end of the list as it is now
    EXPECT_EQ(engine.data().statusText, "Monitor.");
}

TEST(CheckPeriod, IntervalIsReadLikeAtoiWithAFloorAndACeiling) {
    using std::chrono::minutes;
    EXPECT_EQ(SiteMonitor::checkPeriodFor("3"), minutes(5));
    EXPECT_EQ(SiteMonitor::checkPeriodFor("abc"), minutes(5));
    EXPECT_EQ(SiteMonitor::checkPeriodFor(""), minutes(5));
    EXPECT_EQ(SiteMonitor::checkPeriodFor("-20"), minutes(5));
    EXPECT_EQ(SiteMonitor::checkPeriodFor("60"), minutes(60));
    EXPECT_EQ(SiteMonitor::checkPeriodFor(" 10 minutes"), minutes(10));
    EXPECT_LE(SiteMonitor::checkPeriodFor("99999999999").count(), 2147483647LL);
}

TEST_F(CheckPassTest, EachReportMailsOutcomeAndOneSummaryOfTheSitesThatChanged) {
    using P = SmtpTestPeer;
    setSites({site("good", "Email", "404"), site("changed", "Email", "OK"), site("refused", "Sound", "New"),
              site("good", "Sound", "New"), site("refused", "Sound", "404")});
    smtp.addSession(acceptingSession());
    smtp.addSession({P::say("554 no mail today\r\n")});
    engine.runCheckPass();

    const std::string when = DateText::timeOfDay(clock.now());
    ASSERT_EQ(view.mailResults.size(), 2u);
    EXPECT_TRUE(view.mailResults[0].ok);
    EXPECT_EQ(view.mailResults[0].when, when);
    EXPECT_EQ(view.mailResults[0].errorText, "");
    EXPECT_FALSE(view.mailResults[1].ok);
    EXPECT_EQ(view.mailResults[1].errorText, engine.mailer().errorText);
    EXPECT_NE(view.mailResults[1].errorText.find("Flag: "), std::string::npos);

    // One summary at the end: the recovery, the failure after OK and the
    // failure of a new site; not a new site that is good, nor one still down.
    ASSERT_EQ(view.siteChanges.size(), 1u);
    const std::vector<SiteChange> expected = {
        {"Site good", web.url("/good"), "OK", true},
        {"Site changed", web.url("/changed"), "Bad - Test String text Not Found", false},
        {"Site refused", refusedUrl, "404", false},
    };
    EXPECT_EQ(view.siteChanges[0], expected);

    // Nothing changes in the next pass, and with notifications off nothing is announced.
    engine.runCheckPass();
    EXPECT_EQ(view.siteChanges.size(), 1u);
    engine.extraSettings().notifications = false;
    setSites({site("refused", "Sound", "OK")});
    engine.runCheckPass();
    EXPECT_EQ(view.siteChanges.size(), 1u);
}
