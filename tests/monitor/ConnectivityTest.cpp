#include "tests/monitor/TriageFixture.h"

#include "monitor/ConnectivityVerdict.h"

#include <gtest/gtest.h>

using namespace vantrel;
using namespace vantrel::test;

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
    engine.extraSettings().confirmAttempts = GetParam();
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
    http.unresolved = {"one.example", "two.example", "three.example"};
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
    engine.extraSettings().parallelFetches = 1;
    view.onBox = [&](const FakeMonitorView::Box&) { engine.sleepWake().beforeSleep(); };
    engine.runCheckPass();
    view.onBox = nullptr;
    EXPECT_EQ(loggedUrls().size(), 1u); // a only: the pass stopped after it
    EXPECT_FALSE(engine.stopRequested());
    const std::time_t slept = clock.now();
    engine.onTimer();
    engine.triage().checkNow({1});
    EXPECT_EQ(loggedUrls().size(), 1u);

    clock.advance(1800);
    // Names resolve again on the third look.
    pump.pauses.clear();
    int probes = 0;
    engine.sleepWake().setDnsProbe([&] { return ++probes >= 3; });
    engine.sleepWake().resumed();
    EXPECT_EQ(probes, 3);
    EXPECT_EQ(std::count(pump.pauses.begin(), pump.pauses.end(), std::chrono::milliseconds(1000)), 2);
    EXPECT_EQ(loggedUrls().size(), 1u + 3u);
    ASSERT_FALSE(history.gaps.empty());
    EXPECT_EQ(history.gaps[0].reason, "asleep");
    EXPECT_EQ(history.gaps[0].from, slept + 1); // after the checks of its first second
    EXPECT_EQ(history.gaps[0].to, slept + 1800);
}
