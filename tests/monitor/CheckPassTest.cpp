#include "model/DateText.h"
#include "monitor/SiteMonitor.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/FakeNetworkStatus.h"
#include "tests/support/FakeSoundPlayer.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/SmtpTestPeer.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>

using namespace vantrel;
using namespace vantrel::test;

namespace {

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
    FakeNetworkStatus network;
    // A server that never answers fails after one second without data.
    CurlHttpClient http{std::chrono::seconds(60), std::chrono::seconds(1)};
    SiteMonitor engine{view, MonitorServices{&pump, &clock, &http, &sound, &network, nullptr, &view}};
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
    engine.settings().email2 = "boss@example.test";
    setSites(
        {site("good", "Email", "404"), site("changed", "Sound", "OK"), site("refused", "URL", "OK", "")});
    smtp.addSession(SmtpTestPeer::acceptingSession());
    smtp.addSession(SmtpTestPeer::acceptingSession());
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

TEST_F(CheckPassTest, ReportMailsTakeTheSecurityAndLoginOfTheExtraSettings) {
    setSites({site("refused", "Email", "OK")});
    engine.extraSettings().mailUser = "ops";
    engine.setMailPassword("s3cret");
    engine.runCheckPass();
    // A login without encryption is refused before anything is sent.
    EXPECT_EQ(engine.mailer().submission(), (MailSubmission{MailSecurity::None, "ops", "s3cret"}));
    EXPECT_EQ(engine.mailer().stepFlag, SmtpMailer::kStepLogin);
    EXPECT_EQ(smtp.connections(), 0);

    engine.extraSettings().mailSecurity = MailSecurity::StartTls;
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
    engine.settings().monitor = "maybe";
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
    view.onBox = [&](const FakeMonitorView::Box&) { engine.sites().clear(); };
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
        engine.extraSettings().parallelFetches = parallel;
        setSites({site("good", "Email / Sound", "404"), site("changed", "Email / Sound", "OK")});
        engine.settings().email2 = "boss@example.test";
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

namespace {

// What a pass leaves behind that anyone can see, to compare two passes.
struct PassEffects {
    std::string log;
    std::vector<std::string> mails; // every SMTP session, byte for byte
    std::vector<std::string> rows;  // status and check date of each row
    std::vector<std::string> tray;
    std::vector<std::string> sounds;
    std::vector<std::string> boxes;
    int hookCalls = 0;
    std::string report;
    int checks = 0;
    bool operator==(const PassEffects&) const = default;
};

int countRequests(const HttpTestServer& server, const std::string& start) {
    int n = 0;
    for (const std::string& r : server.requests())
        n += r.rfind(start, 0) == 0;
    return n;
}

} // namespace

TEST_F(CheckPassTest, ParallelPassHasTheEffectsOfAOneAtATimePass) {
    HttpTestServer pages(true);
    pages.route("/hang", HttpTestServer::silent());
    pages.route("/good", HttpTestServer::ok("<html>Welcome home</html>"));
    pages.route("/changed", HttpTestServer::ok("<html>under maintenance</html>"));
    pages.route("/hook", HttpTestServer::ok("noted"));
    int made = 0;
    auto at = [&](const std::string& path, const std::string& action, const std::string& status) {
        SiteEntry e = site("good", action, status);
        e.title = "Site " + std::to_string(++made) + " " + path;
        e.url = path == "refused" ? refusedUrl : pages.url("/" + path);
        e.errorUrl = pages.url("/hook");
        return e;
    };
    const std::vector<SiteEntry> sites = {at("hang", "Email / Sound", "OK"),
                                          at("good", "Email", "404"),
                                          at("hang", "URL", "New"),
                                          at("changed", "Email / URL", "OK"),
                                          at("refused", "Email / URL / Sound", "OK"),
                                          at("good", "URL", "OK"),
                                          at("hang", "Email", "404"),
                                          at("good", "Email / Sound", "New"),
                                          at("changed", "Sound", "Bad - Test String text Not Found"),
                                          at("hang", "Email / URL", "OK")};
    clock.set(1796690625);
    engine.settings().email2 = "boss@example.test";
    engine.settings().everyError = "yes";

    auto passWith = [&](int parallel) {
        SmtpTestPeer mail;
        for (int k = 0; k < 30; ++k)
            mail.addSession(SmtpTestPeer::acceptingSession());
        engine.settings().smtpServer = mail.hostPort();
        engine.extraSettings().parallelFetches = parallel;
        setSites(sites);
        std::remove("vantrel.log");
        view.tray.clear();
        view.boxes.clear();
        sound.played.clear();
        engine.data().checkCount = 0;
        view.show();
        const int hooksBefore = countRequests(pages, "GET /hook ");
        const auto start = std::chrono::steady_clock::now();
        engine.runCheckPass();
        const auto took = std::chrono::steady_clock::now() - start;
        std::cout << "[ time     ] " << parallel
                  << " at once: " << std::chrono::duration_cast<std::chrono::milliseconds>(took).count()
                  << " ms\n";

        PassEffects e;
        e.log = TempDir::readFile("vantrel.log");
        for (int k = 0; k < mail.connections(); ++k)
            e.mails.push_back(mail.received(static_cast<size_t>(k)));
        for (int i = 0; i < engine.sites().rowCount(); ++i)
            e.rows.push_back(engine.sites().row(i).status + " " + engine.sites().row(i).checkDate);
        e.tray = view.tray;
        e.sounds = sound.played;
        for (const auto& b : view.boxes)
            e.boxes.push_back(b.caption + ": " + b.text);
        e.hookCalls = countRequests(pages, "GET /hook ") - hooksBefore;
        e.report = engine.reportBody();
        e.checks = engine.data().checkCount;
        return e;
    };

    const PassEffects oneAtATime = passWith(1);
    const PassEffects parallel = passWith(8);
    EXPECT_EQ(parallel.log, oneAtATime.log);
    ASSERT_EQ(parallel.mails.size(), oneAtATime.mails.size());
    for (size_t k = 0; k < parallel.mails.size(); ++k)
        EXPECT_EQ(parallel.mails[k], oneAtATime.mails[k]) << "mail " << k;
    EXPECT_EQ(parallel, oneAtATime);
    // Judged while the later pages still download, as under the window.
    pump.alongsideOnWorker = true;
    const PassEffects beside = passWith(8);
    pump.alongsideOnWorker = false;
    EXPECT_EQ(beside.log, oneAtATime.log);
    EXPECT_EQ(beside, oneAtATime);

    // The one-at-a-time pass is today's: four hanging sites among ten; five
    // error reports and two recovery reports, each to two addresses.
    EXPECT_EQ(std::count(oneAtATime.log.begin(), oneAtATime.log.end(), '\n'), 10);
    EXPECT_NE(oneAtATime.log.find(pages.url("/hang") + " 404"), std::string::npos);
    EXPECT_EQ(oneAtATime.mails.size(), 2u * (4 + 1 + 1 + 1));
    EXPECT_EQ(oneAtATime.hookCalls, 2 + 2 + 2 + 1 + 2);
    EXPECT_EQ(oneAtATime.sounds.size(), 3u);
    EXPECT_EQ(oneAtATime.checks, 10);
}

TEST_F(CheckPassTest, ConfirmedFailureCountsOnlyTheLastAttempt) {
    for (int parallel : {1, 8}) {
        SCOPED_TRACE("parallel " + std::to_string(parallel));
        engine.extraSettings().parallelFetches = parallel;
        std::remove("vantrel.log");
        pump.pauses.clear();
        sound.played.clear();
        const int sessions = smtp.connections();
        // Reset once, then the page; the test string missing once, then there.
        web.routeInTurn("/flaky", {HttpTestServer::reset(), HttpTestServer::ok("<html>Welcome back</html>")});
        web.routeInTurn("/shaky",
                        {HttpTestServer::ok("<html>maintenance</html>"), HttpTestServer::ok("Welcome")});
        engine.extraSettings().confirmAttempts = 3;
        setSites({site("flaky", "Email / Sound", "OK"), site("shaky", "Email / Sound", "OK"),
                  site("refused", "Email / Sound", "OK")});
        smtp.addSession(SmtpTestPeer::acceptingSession());
        engine.runCheckPass();

        const std::string stamp = DateText::dateTime(clock.now());
        EXPECT_EQ(TempDir::readFile("vantrel.log"), "\r\n" + stamp + " " + web.url("/flaky") + " OK\r\n" +
                                                        stamp + " " + web.url("/shaky") + " OK\r\n" + stamp +
                                                        " " + refusedUrl + " 404");
        EXPECT_EQ(engine.sites().row(0).status, "OK");
        EXPECT_EQ(engine.sites().row(1).status, "OK");
        EXPECT_EQ(engine.sites().row(2).status, "404");
        // Only the site that failed every attempt reports, once.
        EXPECT_EQ(smtp.connections(), sessions + 1);
        EXPECT_NE(smtp.received(static_cast<size_t>(sessions)).find(refusedUrl + " 404: 12029\r\n"),
                  std::string::npos);
        EXPECT_EQ(sound.played.size(), 1u);
        // Three seconds between attempts: the ahead fetch retries all failed
        // sites together, one site at a time retries each on its own.
        const auto pause = std::chrono::milliseconds(3000);
        const auto pauses = std::count(pump.pauses.begin(), pump.pauses.end(), pause);
        EXPECT_EQ(pauses, parallel == 1 ? 1 + 1 + 2 : 2);

        // With one attempt, the first answer counts, as it always has.
        engine.extraSettings().confirmAttempts = 1;
        web.routeInTurn("/flaky", {HttpTestServer::reset(), HttpTestServer::ok("<html>Welcome back</html>")});
        setSites({site("flaky", "Sound", "OK")});
        engine.runCheckPass();
        EXPECT_EQ(engine.sites().row(0).status, "404");
    }
}

TEST_F(CheckPassTest, OfflinePassLogsButReportsNothingUntilTheNetworkIsBack) {
    // Two sites on a port nothing listens on yet, one on a port that stays
    // refused: every connect of the pass is refused.
    const int port = ChildProcess::freePort();
    const std::string back = "http://127.0.0.1:" + std::to_string(port);
    auto offlineSite = [&](const std::string& url, const std::string& title) {
        SiteEntry e = site("good", "Email / URL / Sound", "OK");
        e.title = title;
        e.url = url;
        return e;
    };
    const std::vector<SiteEntry> sites = {offlineSite(back + "/good", "A"), offlineSite(back + "/good2", "B"),
                                          offlineSite(refusedUrl, "C")};
    setSites(sites);
    engine.runCheckPass();
    const std::string stamp = DateText::dateTime(clock.now());
    EXPECT_EQ(TempDir::readFile("vantrel.log"), "\r\n" + stamp + " " + back + "/good 404\r\n" + stamp + " " +
                                                    back + "/good2 404\r\n" + stamp + " " + refusedUrl +
                                                    " 404");
    // The log says what the checks found; the rows keep the state they had.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(engine.sites().row(i).status, "OK");
        EXPECT_EQ(engine.sites().row(i).checkDate, stamp);
    }
    EXPECT_EQ(smtp.connections(), 0);
    EXPECT_TRUE(sound.played.empty());
    EXPECT_EQ(hookCalls(), 0);
    EXPECT_TRUE(view.offline);
    EXPECT_EQ(view.tray, (std::vector<std::string>{"on", "on", "on"}));

    // Still offline the next pass: still nothing.
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 0);
    EXPECT_TRUE(view.offline);

    // The network is back: the two sites answer and were fine before the
    // spell, so they mail no recovery; the third was fine and is down now,
    // so it reports.
    HttpTestServer returned(false, static_cast<std::uint16_t>(port));
    returned.route("/good", HttpTestServer::ok("Welcome"));
    returned.route("/good2", HttpTestServer::ok("Welcome"));
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.runCheckPass();
    EXPECT_FALSE(view.offline);
    EXPECT_EQ(engine.sites().row(0).status, "OK");
    EXPECT_EQ(engine.sites().row(2).status, "404");
    ASSERT_EQ(smtp.connections(), 1);
    EXPECT_NE(smtp.received(0).find("Subject: Vantrel Error Report\r\n"), std::string::npos);
    EXPECT_NE(smtp.received(0).find(refusedUrl + " 404: 12029\r\n"), std::string::npos);
    EXPECT_EQ(sound.played.size(), 1u);
    EXPECT_EQ(hookCalls(), 2 + 1 + 1);
}

TEST_F(CheckPassTest, OfflineGuardOffOrTooFewSitesReportsEveryFailure) {
    auto refused = [&](const std::string& title) {
        SiteEntry e = site("refused", "Email / URL / Sound", "OK");
        e.title = title;
        return e;
    };
    // The guard off: three refused sites report as they always have.
    engine.extraSettings().offlineGuard = false;
    setSites({refused("A"), refused("B"), refused("C")});
    for (int k = 0; k < 3; ++k)
        smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 3);
    EXPECT_EQ(sound.played.size(), 3u);
    EXPECT_EQ(hookCalls(), 6);
    EXPECT_FALSE(view.offline);
    EXPECT_EQ(network.asked, 0);

    // The guard on, two sites only: not enough to call the machine offline.
    engine.extraSettings().offlineGuard = true;
    setSites({refused("A"), refused("B")});
    engine.settings().everyError = "yes";
    smtp.addSession(SmtpTestPeer::acceptingSession());
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 5);
    EXPECT_FALSE(view.offline);

    // No interface up: a site on this machine still reports, since its
    // failure is not the network's; the window says offline all the same.
    network.up = false;
    setSites({refused("A")});
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 6);
    EXPECT_TRUE(view.offline);
    network.up = true;
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
        engine.sites().setRow(1, edited);
    };
    engine.runCheckPass();
    EXPECT_EQ(engine.sites().row(1).status, "OK");
    EXPECT_TRUE(sound.played.empty());
    EXPECT_NE(TempDir::readFile("vantrel.log").rfind(web.url("/good") + " OK"), std::string::npos);
}

namespace {

// An https server on loopback whose certificate, signed by a CA made here,
// ends in three days.
class ShortLivedTlsServer {
public:
    explicit ShortLivedTlsServer(const std::string& dir) : dir_(dir) {
        const std::string d = dir + "/";
        const std::string openssl = "openssl";
        made_ =
            ChildProcess::run({openssl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                               d + "ca.key", "-out", d + "ca.pem", "-days", "30", "-subj", "/CN=Test CA"}) &&
            ChildProcess::run({openssl, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", d + "site.key",
                               "-out", d + "site.csr", "-subj", "/CN=127.0.0.1"}) &&
            writeExtensions(d + "site.ext") &&
            ChildProcess::run({openssl, "x509", "-req", "-in", d + "site.csr", "-CA", d + "ca.pem", "-CAkey",
                               d + "ca.key", "-CAcreateserial", "-out", d + "site.pem", "-days", "3",
                               "-extfile", d + "site.ext"});
        if (!made_)
            return;
        port_ = ChildProcess::freePort();
        const char* script = R"(import http.server, ssl, sys
class Page(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = b"<html>Welcome, securely</html>"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", int(sys.argv[1])), Page)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(sys.argv[2], sys.argv[3])
server.socket = context.wrap_socket(server.socket, server_side=True)
server.serve_forever()
)";
        server_ = std::make_unique<ChildProcess>(std::vector<std::string>{
            "python3", "-c", script, std::to_string(port_), d + "site.pem", d + "site.key"});
        made_ = ChildProcess::waitForPort(port_, std::chrono::seconds(20));
    }

    bool made() const { return made_; }
    std::string url() const { return "https://127.0.0.1:" + std::to_string(port_) + "/"; }
    std::string caFile() const { return dir_ + "/ca.pem"; }

private:
    static bool writeExtensions(const std::string& path) {
        TempDir::writeFile(path, "subjectAltName=IP:127.0.0.1\n");
        return true;
    }

    std::string dir_;
    bool made_ = false;
    int port_ = 0;
    std::unique_ptr<ChildProcess> server_;
};

} // namespace

TEST_F(CheckPassTest, CertificateEndingSoonWarnsOnceADay) {
    ShortLivedTlsServer tls(dir.path());
    ASSERT_TRUE(tls.made()) << "openssl and python3 make and serve the certificate";
    http.setCaFile(tls.caFile());

    // What the fetch records: the days left, a part of a day counting whole.
    const HttpResponse direct = http.perform(PageFetcher::requestFor(tls.url()));
    ASSERT_TRUE(direct.ok) << direct.errorNumber;
    EXPECT_EQ(direct.certDaysLeft, 3);
    EXPECT_EQ(http.perform(PageFetcher::requestFor(web.url("/good"))).certDaysLeft, -1); // not https

    clock.set(1796690625);
    SiteEntry secure = site("good", "Email", "OK");
    secure.url = tls.url();
    setSites({site("good", "Email", "OK"), secure});
    smtp.addSession(SmtpTestPeer::acceptingSession());
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.runCheckPass();
    const std::string stamp = DateText::dateTime(clock.now());
    // The site is fine: status and log as for any good check.
    EXPECT_EQ(engine.sites().row(1).status, "OK");
    EXPECT_EQ(TempDir::readFile("vantrel.log"),
              "\r\n" + stamp + " " + web.url("/good") + " OK\r\n" + stamp + " " + tls.url() + " OK");
    ASSERT_EQ(smtp.connections(), 1);
    const std::string mail = smtp.received(0);
    EXPECT_NE(mail.find("Subject: Vantrel Certificate Warning\r\n"), std::string::npos) << mail;
    EXPECT_NE(
        mail.find("\r\n" + tls.url() + " Certificate ends in 3 days.\r\nVantrel Report " + stamp + "\r\n"),
        std::string::npos)
        << mail;
    EXPECT_EQ(view.certificates, std::vector<std::string>{"Site good " + tls.url() + " 3"});
    // The warning leaves the site's own report text as it was.
    EXPECT_EQ(engine.reportBody(), "\n" + tls.url() + " Service Restored.\nVantrel Report " + stamp + "\n");

    // The same day: no second warning. The next day: one more.
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 1);
    clock.set(1796690625 + 86400);
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 2);
    EXPECT_EQ(view.certificates.size(), 2u);

    // Warnings off.
    engine.extraSettings().certWarnDays = 0;
    clock.set(1796690625 + 2 * 86400);
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 2);
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
    smtp.addSession(SmtpTestPeer::acceptingSession());
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
    ASSERT_EQ(view.siteChangeSummaries.size(), 1u);
    const std::vector<SiteChange> expected = {
        {"Site good", web.url("/good"), "OK", true},
        {"Site changed", web.url("/changed"), "Bad - Test String text Not Found", false,
         "text \"Welcome\" not found"},
        {"Site refused", refusedUrl, "404", false, "connection refused or host unreachable"},
    };
    EXPECT_EQ(view.siteChangeSummaries[0], expected);

    // Nothing changes in the next pass: nothing is announced. Whether
    // notifications are on is the sink's to decide, not the engine's.
    engine.runCheckPass();
    EXPECT_EQ(view.siteChangeSummaries.size(), 1u);
    engine.extraSettings().notifications = false;
    setSites({site("refused", "Sound", "OK")});
    engine.runCheckPass();
    EXPECT_EQ(view.siteChangeSummaries.size(), 2u);
}

// Many hanging sites among fast ones, judged while the rest download: every
// site is logged, stored and alerted in list order, the hanging ones as
// failed fetches.
TEST_F(CheckPassTest, ManyHangingSitesKeepListOrder) {
    HttpTestServer pages(true);
    std::vector<SiteEntry> sites;
    std::string expected;
    clock.set(1796690625);
    const std::string stamp = DateText::dateTime(clock.now());
    for (int i = 0; i < 40; ++i) {
        const char* path = i % 3 == 1 ? "hang" : i % 5 == 0 ? "changed" : "good";
        SiteEntry e = site("good", "Sound", "OK");
        e.title = "Site " + std::to_string(i);
        const std::string target = std::string("/") + path + std::to_string(i);
        pages.route(target, i % 3 == 1   ? HttpTestServer::silent()
                            : i % 5 == 0 ? HttpTestServer::ok("<html>under maintenance</html>")
                                         : HttpTestServer::ok("<html>Welcome home</html>"));
        e.url = pages.url(target);
        sites.push_back(e);
        const std::string status = i % 3 == 1   ? "404"
                                   : i % 5 == 0 ? "Bad - Test String text Not Found"
                                                : "OK";
        expected += "\r\n" + stamp + " " + e.url + " " + status;
    }
    setSites(sites);
    engine.extraSettings().parallelFetches = 4;
    pump.alongsideOnWorker = true;
    engine.runCheckPass();
    pump.alongsideOnWorker = false;

    EXPECT_EQ(TempDir::readFile("vantrel.log"), expected);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(engine.sites().row(i).status, i % 3 == 1   ? "404"
                                                : i % 5 == 0 ? "Bad - Test String text Not Found"
                                                             : "OK")
            << i;
    // Every failed check plays its sound: 13 hanging and 6 without the text
    // (of the eight on a fifth, sites 10 and 25 hang).
    EXPECT_EQ(sound.played.size(), 13u + 6u);
    EXPECT_EQ(engine.data().checkCount, 40);
}
