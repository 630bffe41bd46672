#include "model/DateText.h"
#include "model/ExtraSettingsFile.h"
#include "monitor/ConnectivityVerdict.h"
#include "monitor/SnoozePolicy.h"
#include "tests/monitor/CheckPassFixture.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace vantrel;
using namespace vantrel::test;

namespace {

class TriageTest : public CheckPassTest {
protected:
    // The error URL answers, and the engine keeps its checks and alerts in `history`.
    TriageTest() {
        web.route("/hook", HttpTestServer::ok("called"));
        engine.setHistory(&history);
    }

    SiteEntry site(const std::string& path, const std::string& status,
                   const std::string& action = "Email / URL / Sound") {
        return CheckPassTest::site(path, action, status);
    }

    // Quiet hours from the clock's hour to the next, in local time.
    std::string quietAroundNow() const {
        const std::time_t now = clock.now();
        std::tm tm{};
        localtime_r(&now, &tm);
        char text[16];
        std::snprintf(text, sizeof text, "%02d:00-%02d:00", tm.tm_hour, (tm.tm_hour + 1) % 24);
        return text;
    }
};

} // namespace

// Snoozed sites are checked, logged and kept, and alert nothing; when the
// snooze ends, a site still down mails its error, one that came back
// meanwhile sends nothing, and one reported down before that came back
// mails its recovery.
TEST_F(TriageTest, SnoozeHoldsAlertsUntilItEndsAndSendsOnlyWhatStillHolds) {
    down("a");
    down("b");
    up("c");
    setSites({site("a", "OK"), site("b", "OK"), site("c", "Bad - Test String Welcome Not Found")});
    const std::time_t until = clock.now() + 3600;
    for (int row = 0; row < 3; ++row)
        engine.snooze(row, until);
    const std::string untilText = DateText::dateTime(until);
    EXPECT_NE(TempDir::readFile("vantrel.dat").find("STATUS=OK\r\nSNOOZE=" + untilText + "\r\n\r\n"),
              std::string::npos);

    engine.runCheckPass();
    EXPECT_EQ(loggedUrls().size(), 3u);
    EXPECT_EQ(history.checks.size(), 3u);
    EXPECT_EQ(engine.sites().row(0).status.rfind("Bad", 0), 0u);
    EXPECT_EQ(engine.sites().row(2).status, "OK");
    EXPECT_EQ(smtp.connections(), 0);
    EXPECT_TRUE(sound.played.empty());
    EXPECT_EQ(hookCalls(), 0);
    EXPECT_TRUE(view.siteChangeSummaries.empty());
    ASSERT_TRUE(engine.nextRelease().has_value());
    EXPECT_EQ(*engine.nextRelease(), until);

    // B comes back before the end; then the snooze ends.
    up("b");
    clock.advance(3601);
    smtp.addSession(SmtpTestPeer::acceptingSession());
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.releaseHeld();
    ASSERT_EQ(smtp.connections(), 2);
    EXPECT_NE(smtp.received(0).find("Subject: Vantrel Error Report\r\n"), std::string::npos);
    EXPECT_NE(smtp.received(0).find(web.url("/a") + " String Not Found"), std::string::npos);
    EXPECT_NE(smtp.received(1).find("Subject: Vantrel Recovery Report\r\n"), std::string::npos);
    EXPECT_NE(smtp.received(1).find(web.url("/c") + " Service Restored."), std::string::npos);
    EXPECT_EQ(sound.played.size(), 1u);
    ASSERT_EQ(view.siteChangeSummaries.size(), 1u);
    EXPECT_EQ(view.siteChangeSummaries[0].size(), 2u);
    EXPECT_FALSE(engine.nextRelease().has_value());
    // An ended snooze leaves the record; nothing is held any longer.
    EXPECT_TRUE(engine.sites().row(0).options.snooze.empty());
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 2);
}

// A snooze's end is in the files, so it outlasts a restart; a snooze for
// all is cleared from the extra file as it was set.
TEST_F(TriageTest, SnoozesSurviveARestartAndClearBackToTheDefaultFiles) {
    setSites({site("a", "OK")});
    engine.saveSiteList();
    const std::string before = TempDir::readFile("vantrel.dat");
    const std::time_t until = clock.now() + 600;
    engine.snooze(0, until);
    engine.snoozeAll(until);
    EXPECT_NE(
        TempDir::readFile(ExtraSettingsFile::kFileName)
            .find("\r\nSNOOZEALL=" + DateText::dateTime(until) + "\r\nQUIETHOURS=\r\nQUIETMAIL=send\r\n"),
        std::string::npos);
    {
        FakeMonitorView otherView;
        SiteMonitor restarted(
            otherView, MonitorServices{&pump, &clock, &resolver, &sound, &network, nullptr, &otherView});
        otherView.engine = &restarted;
        restarted.loadSettings();
        restarted.loadSiteList();
        ASSERT_EQ(restarted.sites().rowCount(), 1);
        EXPECT_EQ(restarted.sites().row(0).options.snooze, DateText::dateTime(until));
        EXPECT_EQ(restarted.extraSettings().snoozeAll, DateText::dateTime(until));
        SiteEntry unsnoozed = restarted.sites().row(0);
        unsnoozed.options.snooze.clear();
        EXPECT_TRUE(SnoozePolicy::snoozed(unsnoozed, restarted.extraSettings(), clock.now()));
        EXPECT_FALSE(SnoozePolicy::snoozed(unsnoozed, restarted.extraSettings(), until));
    }
    engine.clearSnooze(0);
    engine.clearSnoozeAll();
    EXPECT_EQ(TempDir::readFile("vantrel.dat"), before);
    EXPECT_EQ(engine.extraSettings(), ExtraSettings{});
}

// Quiet hours silence sound and notifications; mail goes out, or waits for
// their end with QUIETMAIL=hold.
TEST_F(TriageTest, QuietHoursSilenceSoundAndNotificationsAndMailWaitsOnlyWhenHeld) {
    editExtra(engine, [&](ExtraSettings& x) { x.quietHours = quietAroundNow(); });
    down("a");
    setSites({site("a", "OK")});
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 1);
    EXPECT_EQ(hookCalls(), 2); // the error URL is no notification: called as ever
    EXPECT_TRUE(sound.played.empty());
    EXPECT_TRUE(view.siteChangeSummaries.empty());

    editExtra(engine, [&](ExtraSettings& x) { x.quietMail = QuietMail::Hold; });
    up("a");
    engine.runCheckPass(); // the recovery mail waits
    EXPECT_EQ(smtp.connections(), 1);
    const std::optional<std::time_t> end = engine.nextRelease();
    ASSERT_TRUE(end.has_value());
    EXPECT_GT(*end, clock.now());
    EXPECT_LE(*end - clock.now(), 3600);
    engine.releaseHeld(); // still quiet: nothing
    EXPECT_EQ(smtp.connections(), 1);

    clock.set(*end);
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.releaseHeld();
    ASSERT_EQ(smtp.connections(), 2);
    EXPECT_NE(smtp.received(1).find("Subject: Vantrel Recovery Report\r\n"), std::string::npos);
    EXPECT_FALSE(engine.nextRelease().has_value());
}

// Do-not-disturb holds notifications and the sound, never mail or the
// error URL, and gives one summary when it ends.
TEST_F(TriageTest, DoNotDisturbHoldsNotificationsAndSoundForOneSummary) {
    engine.setDoNotDisturb(true);
    down("a");
    down("b");
    setSites({site("a", "OK"), site("b", "OK", "Sound")});
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.runCheckPass();
    up("b");
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 1);
    EXPECT_EQ(hookCalls(), 2 * 2); // site a, both passes: called twice a failed check
    EXPECT_TRUE(sound.played.empty());
    EXPECT_TRUE(view.siteChangeSummaries.empty());

    engine.setDoNotDisturb(false);
    ASSERT_EQ(view.siteChangeSummaries.size(), 1u);
    ASSERT_EQ(view.siteChangeSummaries[0].size(), 2u); // b's latest change only: it is back
    EXPECT_EQ(view.siteChangeSummaries[0][0].url, web.url("/a"));
    EXPECT_TRUE(view.siteChangeSummaries[0][1].recovered);
    EXPECT_EQ(sound.played.size(), 1u);
    engine.setDoNotDisturb(false); // no second summary
    EXPECT_EQ(view.siteChangeSummaries.size(), 1u);
}

// Check now runs the chosen rows through the one-site check, at once and
// without the opening wait or a new timer; asked for during a pass, it
// waits for the pass's end.
TEST_F(TriageTest, CheckNowRunsAtOnceLeavesTheTimerAndQueuesDuringAPass) {
    up("a");
    up("b");
    down("c");
    setSites({site("a", "OK"), site("b", "OK"), site("c", "OK")});
    const size_t timers = view.timerPeriods.size();
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.checkNow({2, 7});
    EXPECT_EQ(loggedUrls(), std::vector<std::string>{web.url("/c")});
    EXPECT_EQ(smtp.connections(), 1); // the same alerts as a pass
    EXPECT_EQ(hookCalls(), 2);
    EXPECT_EQ(view.timerPeriods.size(), timers);
    // No opening wait (the mail dialogue has pauses of its own).
    EXPECT_EQ(std::count(pump.pauses.begin(), pump.pauses.end(), std::chrono::milliseconds(2000)), 0);

    // The hook cannot be reached during the pass: its message box is where
    // the user asks.
    for (int row = 0; row < 3; ++row) {
        SiteEntry e = engine.sites().row(row);
        e.errorUrl = "http://127.0.0.1:1/hook";
        setRow(engine, row, e);
    }
    size_t loggedAtBox = 0;
    view.onBox = [&](const FakeMonitorView::Box&) {
        if (loggedAtBox)
            return;
        engine.checkNow({0});
        loggedAtBox = loggedUrls().size();
        EXPECT_TRUE(engine.passRunning());
    };
    engine.runCheckPass();
    EXPECT_EQ(loggedAtBox, 1u + 1u); // the box came at the first row's call
    // Nothing of the queued check ran inside the pass: row a once, then again.
    const std::vector<std::string> urls = loggedUrls();
    ASSERT_EQ(urls.size(), 1u + 3u + 1u);
    EXPECT_EQ(urls.back(), web.url("/a"));
    EXPECT_EQ(view.timerPeriods.size(), timers + 1); // the pass's own
}

TEST(ConnectivityVerdict, TellsThisMachinesFaultFromTheSites) {
    using F = ConnectivityVerdict::Fault;
    const int dns = CurlHttpClient::kErrNameNotResolved;
    const int refused = CurlHttpClient::kErrCannotConnect;
    auto fail = [](std::string url, int error, std::string finalUrl = {}, std::string body = {}) {
        return ConnectivityVerdict::Site{std::move(url), error, true, std::move(finalUrl), std::move(body)};
    };
    auto fine = [](std::string url) { return ConnectivityVerdict::Site{url, 0, false, url, "ok"}; };
    const std::string login = "<form><input type=\"password\" name=\"pw\"></form>";
    struct Case {
        const char* name;
        bool interfaceUp;
        std::vector<ConnectivityVerdict::Site> sites;
        F expect;
    };
    const Case cases[] = {
        {"no interface", false, {fine("http://a/")}, F::NoNetwork},
        {"every name unresolved",
         true,
         {fail("http://a/", dns), fail("http://b/", dns), fail("http://c/", dns)},
         F::DnsBroken},
        {"too few to tell", true, {fail("http://a/", dns), fail("http://b/", dns)}, F::SomeSites},
        {"refused and unresolved",
         true,
         {fail("http://a/", dns), fail("http://b/", refused), fail("http://c/", dns)},
         F::NoNetwork},
        {"one of three", true, {fail("http://a/", dns), fine("http://b/"), fine("http://c/")}, F::SomeSites},
        {"all sent to one host",
         true,
         {fail("http://a/", 0, "http://portal/x"), fail("http://b/", 0, "http://portal/y"),
          fail("http://c/", 0, "http://portal/z")},
         F::CaptivePortal},
        {"all sent to different hosts",
         true,
         {fail("http://a/", 0, "http://p1/"), fail("http://b/", 0, "http://p2/"),
          fail("http://c/", 0, "http://p3/")},
         F::SomeSites},
        {"a login elsewhere, the rest failing",
         true,
         {fail("http://a/", 0, "http://portal/login", login), fail("http://b/", 12157)},
         F::CaptivePortal},
        {"a site's own sign-in elsewhere",
         true,
         {fail("http://a/", 0, "http://sso/login", login), fine("http://b/")},
         F::SomeSites},
        {"all fine", true, {fine("http://a/"), fine("http://b/"), fine("http://c/")}, F::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ConnectivityVerdict::judge(c.interfaceUp, c.sites).fault(), c.expect);
    }
}

// Each fault of this machine's side on loopback: no mail, sound or call; the
// log as ever; the status bar each pass, one notification a spell; and the
// history keeps the pass as not monitored.
// Both ways of a pass: confirming attempts fetch every page before the
// first site's turn; one attempt checks the rows while later pages still
// download, and must hold its checks until the verdict is in.
class TriageVerdictTest : public TriageTest, public ::testing::WithParamInterface<int> {};
INSTANTIATE_TEST_SUITE_P(FetchedAheadAndAlongside, TriageVerdictTest, ::testing::Values(2, 1));

TEST_P(TriageVerdictTest, FaultsOfThisMachineAlertNothingAndSaySoOnceASpell) {
    HttpTestServer portal;
    portal.route("/login", HttpTestServer::ok("<form>Sign in <input type=password name=p></form>"));
    // The portal answers on "localhost", the sites on 127.0.0.1: another host.
    std::string portalHost = portal.url("/");
    portalHost.replace(portalHost.find("127.0.0.1"), 9, "localhost");
    for (const char* path : {"a", "b", "c"})
        web.route(std::string("/") + path,
                  HttpTestServer::redirect(portalHost.substr(0, portalHost.size() - 1) + "/login"));
    setSites({site("a", "OK"), site("b", "OK"), site("c", "OK")});
    editExtra(engine, [&](ExtraSettings& x) { x.confirmAttempts = GetParam(); });
    engine.runCheckPass();
    engine.runCheckPass();
    EXPECT_EQ(loggedUrls().size(), 6u);
    ASSERT_EQ(view.verdictTexts.size(), 2u);
    EXPECT_EQ(view.verdictTexts[0],
              "Offline: a login page at localhost stands in for the sites, not alerting.");
    EXPECT_EQ(
        view.verdictNotifications,
        std::vector<std::string>{
            "Your connection seems down (a login page at localhost): 3 sites not reachable, not alerting"});
    ASSERT_EQ(history.gaps.size(), 2u);
    EXPECT_EQ(history.gaps[0].reason, "captive_portal");
    // The stretch holds the checks of its pass, the last one's second too.
    for (const CheckRecord& c : history.checks)
        EXPECT_TRUE(c.time >= history.gaps[0].from && c.time < history.gaps[0].to);

    // The resolver answers nothing for any site.
    SiteEntry a = site("a", "OK"), b = site("b", "OK"), c = site("c", "OK");
    a.url = "http://one.example/";
    b.url = "http://two.example/";
    c.url = "http://three.example/";
    resolver.unresolved = {"one.example", "two.example", "three.example"};
    setSites({a, b, c});
    engine.runCheckPass();
    EXPECT_EQ(
        view.verdictNotifications.back(),
        "Your connection seems down (the name server answers nothing): 3 sites not reachable, not alerting");
    EXPECT_EQ(history.gaps.back().reason, "dns");

    // No interface at all.
    network.up = false;
    engine.runCheckPass();
    EXPECT_EQ(view.verdictNotifications.back(),
              "Your connection seems down: 3 sites not reachable, not alerting");
    EXPECT_EQ(view.verdictTexts.back(), "Offline: no network, not alerting.");
    EXPECT_EQ(history.gaps.back().reason, "no_network");
    EXPECT_EQ(view.verdictNotifications.size(), 3u);

    EXPECT_EQ(smtp.connections(), 0);
    EXPECT_TRUE(sound.played.empty());
    EXPECT_EQ(hookCalls(), 0);
    EXPECT_TRUE(view.siteChangeSummaries.empty());
    EXPECT_EQ(portal.requests().size(), 2u * 3u * static_cast<size_t>(GetParam()));
}

// Sleep stops a pass at its next safe point and no check runs while asleep;
// resume waits for the network, then checks every site at once, and the
// history keeps the time asleep as not monitored.
TEST_F(TriageTest, SleepStopsThePassAndResumeWaitsForTheNetworkThenChecksEverySite) {
    down("a");
    up("b");
    up("c");
    SiteEntry a = site("a", "OK", "URL");
    a.errorUrl = "http://127.0.0.1:1/hook"; // refused: its message box is where the lid closes
    setSites({a, site("b", "OK"), site("c", "OK")});
    editExtra(engine, [&](ExtraSettings& x) { x.parallelFetches = 1; });
    view.onBox = [&](const FakeMonitorView::Box&) { engine.beforeSleep(); };
    engine.runCheckPass();
    view.onBox = nullptr;
    EXPECT_EQ(loggedUrls().size(), 1u); // a only: the pass stopped after it
    EXPECT_FALSE(engine.stopRequested());
    const std::time_t slept = clock.now();
    engine.onTimer();
    engine.checkNow({1});
    EXPECT_EQ(loggedUrls().size(), 1u);

    clock.advance(1800);
    // Names resolve again on the third look.
    pump.pauses.clear();
    int probes = 0;
    engine.setDnsProbe([&] { return ++probes >= 3; });
    engine.resumed();
    EXPECT_EQ(probes, 3);
    EXPECT_EQ(std::count(pump.pauses.begin(), pump.pauses.end(), std::chrono::milliseconds(1000)), 2);
    EXPECT_EQ(loggedUrls().size(), 1u + 3u);
    ASSERT_FALSE(history.gaps.empty());
    EXPECT_EQ(history.gaps[0].reason, "asleep");
    EXPECT_EQ(history.gaps[0].from, slept + 1); // after the checks of its first second
    EXPECT_EQ(history.gaps[0].to, slept + 1800);
}
