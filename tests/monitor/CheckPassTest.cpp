#include "tests/monitor/CheckPassFixture.h"
#include "tests/support/EngineSetup.h"

using namespace vantrel;
using namespace vantrel::test;

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
        editSettings(engine, [&](Settings& s, ExtraSettings&) { s.everyError = c.everyError; });
        editSettings(engine, [&](Settings& s, ExtraSettings&) { s.notify = c.notify; });
        SiteEntry e = site(c.page, c.action, c.previous);
        e.errorUrl.clear();
        setSites({e});
        if (c.expectSubject)
            smtp.addSession(SmtpTestPeer::acceptingSession());
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
    editSettings(engine, [&](Settings& s, ExtraSettings&) { s.email2 = "boss@example.test"; });
    setSites(
        {site("good", "Email", "404"), site("changed", "Sound", "OK"), site("refused", "URL", "OK", "")});
    smtp.addSession(SmtpTestPeer::acceptingSession());
    smtp.addSession(SmtpTestPeer::acceptingSession());
    editData(engine, [&](DialogData& d) { d.checkCount = 7; });
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

TEST_F(CheckPassTest, ReportMailsTakeTheSecurityAndLoginOfTheExtraSettings) {
    setSites({site("refused", "Email", "OK")});
    editExtra(engine, [&](ExtraSettings& x) { x.mailUser = "ops"; });
    engine.setMailPassword("s3cret");
    engine.runCheckPass();
    // A login without encryption is refused before anything is sent.
    EXPECT_EQ(engine.mailer().submission(), (MailSubmission{MailSecurity::None, "ops", "s3cret"}));
    EXPECT_EQ(engine.mailer().stepFlag, SmtpMailer::kStepLogin);
    EXPECT_EQ(smtp.connections(), 0);

    editExtra(engine, [&](ExtraSettings& x) { x.mailSecurity = MailSecurity::StartTls; });
    setSites({site("refused", "Email", "OK")});
    engine.runCheckPass();
    EXPECT_EQ(engine.mailer().submission(), (MailSubmission{MailSecurity::StartTls, "ops", "s3cret"}));
    EXPECT_EQ(smtp.connections(), 1); // the peer closes at once: no script for it
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
    editSettings(engine, [&](Settings& s, ExtraSettings&) { s.monitor = "maybe"; });
    const size_t periods = view.timerPeriods.size();
    engine.runCheckPass();
    EXPECT_EQ(engine.data().statusText, "Done.");
    EXPECT_EQ(view.timerPeriods.size(), periods);
}

TEST_F(CheckPassTest, TickDuringAPassIsIgnored) {
    setSites({site("good", "Email", "404"), site("good", "Email", "404")});
    smtp.addSession(SmtpTestPeer::acceptingSession());
    smtp.addSession(SmtpTestPeer::acceptingSession());
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
    view.onBox = [&](const FakeMonitorView::Box&) { test::setSites(engine, {}); };
    engine.runCheckPass();
    EXPECT_EQ(engine.sites().rowCount(), 0);
    EXPECT_EQ(view.boxes.size(), 1u); // the pass stopped at the end of the list as it is now
    EXPECT_EQ(engine.data().statusText, "Monitor.");
}

TEST_F(CheckPassTest, AStopKeepsTheResultsReachedAndGoesNoFurther) {
    // One page at a time, and all pages fetched ahead at once.
    for (int parallel : {1, 8}) {
        SCOPED_TRACE(parallel);
        TempDir::writeFile("vantrel.log", "");
        editExtra(engine, [&](ExtraSettings& x) { x.parallelFetches = parallel; });
        setSites({site("good", "Email / Sound", "404"), site("changed", "Email / Sound", "OK")});
        editSettings(engine, [&](Settings& s, ExtraSettings&) { s.email2 = "boss@example.test"; });
        pump.onDispatch = [&] { engine.requestStop(); }; // the end is asked for as the first mail starts
        const std::size_t asked = web.requests().size();
        engine.runCheckPass();

        // The first site's result is in its row and the log; no mail went
        // out, neither to the first address nor to the second, and the second
        // site was neither judged nor logged (nor fetched, one at a time).
        EXPECT_EQ(engine.sites().row(0).status, "OK");
        EXPECT_EQ(TempDir::readFile("vantrel.log"),
                  "\r\n" + engine.sites().row(0).checkDate + " " + web.url("/good") + " OK");
        EXPECT_EQ(smtp.connections(), 0);
        EXPECT_EQ(engine.sites().row(1).status, "OK");
        EXPECT_EQ(engine.sites().row(1).checkDate, "");
        if (parallel == 1) {
            EXPECT_EQ(web.requests().size(), asked + 1);
        }
        EXPECT_TRUE(sound.played.empty());

        // No pass starts after the stop.
        const std::size_t before = web.requests().size();
        engine.onTimer();
        EXPECT_EQ(web.requests().size(), before);
        pump.stopSignal().reset();
        pump.onDispatch = nullptr;
    }
}

TEST_F(CheckPassTest, ANulBytePartsNothing) {
    // The whole page is searched, also past a NUL byte.
    web.route("/nul", HttpTestServer::ok(std::string("<html>\0 Welcome home</html>", 27)));
    setSites({site("nul", "Sound", "OK"), site("nul", "Sound", "OK", std::string("\0 Wel", 5))});
    engine.runCheckPass();
    EXPECT_EQ(engine.sites().row(0).status, "OK");
    EXPECT_EQ(engine.sites().row(1).status, "OK");
    EXPECT_TRUE(sound.played.empty());
}

TEST(OfflineGuard, WithNoInterfaceUpOnlySitesElsewhereAreHeldBack) {
    OfflineGuard guard;
    guard.beginPass(true, false);
    EXPECT_TRUE(guard.offline());
    EXPECT_TRUE(guard.holdsBack("http://www.example.test/page"));
    EXPECT_TRUE(guard.holdsBack("https://user@example.test:8443/"));
    EXPECT_FALSE(guard.holdsBack("http://127.0.0.1:8080/"));
    EXPECT_FALSE(guard.holdsBack("http://LocalHost/"));
    EXPECT_FALSE(guard.holdsBack("http://[::1]:81/x"));
    guard.judgeResults({12029, 12007, 12029});
    EXPECT_TRUE(guard.holdsBack("http://127.0.0.1:8080/")); // every site unreachable

    guard.beginPass(true, true);
    guard.judgeResults({12029, 12002, 12029}); // a time-out is not a missing network
    EXPECT_FALSE(guard.offline());
    guard.judgeResults({12029, 12029});
    EXPECT_FALSE(guard.offline());
    guard.beginPass(false, false);
    guard.judgeResults({12029, 12029, 12029});
    EXPECT_FALSE(guard.offline());
}

TEST_F(CheckPassTest, RowWhoseUrlChangedBeforeItsTurnIsFetchedWithItsNewUrl) {
    SiteEntry broken = site("good", "URL", "OK");
    broken.errorUrl = refusedUrl + "hook";
    setSites({broken, site("changed", "Sound", "OK")});
    view.onBox = [&](const FakeMonitorView::Box&) {
        SiteEntry edited = engine.sites().row(1);
        edited.url = web.url("/good");
        setRow(engine, 1, edited);
    };
    engine.runCheckPass();
    EXPECT_EQ(engine.sites().row(1).status, "OK");
    EXPECT_TRUE(sound.played.empty());
    EXPECT_NE(TempDir::readFile("vantrel.log").rfind(web.url("/good") + " OK"), std::string::npos);
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
