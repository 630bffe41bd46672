#include "model/DateText.h"
#include "monitor/CheckPass.h"
#include "monitor/MetricsText.h"
#include "monitor/SiteMonitor.h"
#include "tests/support/EngineSetup.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/FakeNetworkStatus.h"
#include "tests/support/FakeSoundPlayer.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/ScriptedHttp.h"
#include "tests/support/SmtpTestPeer.h"
#include "tests/support/TempDir.h"

#include <deque>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

using namespace vantrel;
using namespace vantrel::test;

namespace {

constexpr auto answer = &ScriptedHttp::answer;

std::string fileText(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class CheckOptionsPassTest : public ::testing::Test {
protected:
    CheckOptionsPassTest() {
        view.engine = &engine;
        editSettings(engine, [&](Settings& s, ExtraSettings&) {
            s.email1 = "ops@example.test";
            s.smtpServer = smtp.hostPort();
            s.everyError = "no";
            s.notify = "On Change";
        });
        engine.applyMonitorSetting();
    }

    SiteEntry site(const std::string& name, const std::string& status, SiteOptions options = {}) {
        SiteEntry e("Site " + name, "http://" + name + ".test/", "", "Email / Sound", "", "01 Dec 2026", "",
                    status);
        e.options = std::move(options);
        return e;
    }

    TempDir dir;
    SmtpTestPeer smtp;
    FakeMonitorView view;
    RecordingEventPump pump;
    FakeClock clock;
    FakeSoundPlayer sound;
    FakeNetworkStatus network;
    ScriptedHttp http;
    SiteMonitor engine{view, MonitorServices{&pump, &clock, &http, &sound, &network, nullptr, &view}};
};

} // namespace

TEST_F(CheckOptionsPassTest, SlowAfterItsChecksInARowAlertsAsSlowAndRecoversWhenFast) {
    SiteOptions o;
    o.slowMs = "2000";
    o.slowCount = "2";
    addSite(engine, site("slow", "OK", o));
    http.script["http://slow.test/"] = {answer(200, "", 4200), answer(200, "", 4200), answer(200, "", 4200),
                                        answer(200, "", 300)};
    smtp.addSession(SmtpTestPeer::acceptingSession());
    smtp.addSession(SmtpTestPeer::acceptingSession());
    std::vector<std::string> statuses;
    for (int pass = 0; pass < 4; ++pass) {
        engine.runCheckPass();
        statuses.push_back(engine.sites().row(0).status);
        clock.advance(600);
    }
    // One slow check is not yet slow; the second is; it stays slow without
    // a second report; a fast check is a recovery.
    EXPECT_EQ(statuses, (std::vector<std::string>{"OK", "Slow", "Slow", "OK"}));
    ASSERT_EQ(smtp.connections(), 2);
    const std::string slowMail = smtp.received(0);
    EXPECT_NE(slowMail.find("Subject: Vantrel Slow Report\r\n"), std::string::npos) << slowMail;
    EXPECT_NE(slowMail.find("\r\nhttp://slow.test/ Slow Response\r\nVantrel Report "), std::string::npos);
    EXPECT_NE(slowMail.find("\r\nReason: slow: 4.2 s (limit 2 s)\r\n"), std::string::npos) << slowMail;
    EXPECT_NE(smtp.received(1).find("Subject: Vantrel Recovery Report\r\n"), std::string::npos);
    EXPECT_EQ(sound.played.size(), 2u); // on each slow check, as on each failure
    const std::string log = fileText("vantrel.log");
    EXPECT_NE(log.find(" http://slow.test/ Slow\r\n"), std::string::npos) << log;
    // The window hears of the change each way, with the reason.
    ASSERT_EQ(view.siteChangeSummaries.size(), 2u);
    EXPECT_EQ(view.siteChangeSummaries[0][0],
              SiteChange("Site slow", "http://slow.test/", "Slow", false, "slow: 4.2 s (limit 2 s)"));
    EXPECT_TRUE(view.siteChangeSummaries[1][0].recovered);
}

TEST_F(CheckOptionsPassTest, TheReasonReachesTheRowTheMailTheHistoryAndTheMetrics) {
    SiteOptions o;
    o.statusCodes = "200-299";
    addSite(engine, site("plain", "OK"));
    addSite(engine, site("coded", "OK", o));
    http.script["http://coded.test/"] = {answer(503, "down for maintenance", 20)};
    http.script["http://plain.test/"] = {HttpResponse{}}; // refused, say
    http.script["http://plain.test/"].front().errorNumber = 12007;
    smtp.addSession(SmtpTestPeer::acceptingSession());
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.runCheckPass();

    EXPECT_EQ(engine.sites().row(0).status, "404");
    EXPECT_EQ(engine.sites().row(0).reason, "HTTP 503 (expected 200-299)");
    EXPECT_EQ(engine.sites().row(1).reason, "DNS: no such host");
    const std::string coded = smtp.received(0);
    EXPECT_NE(coded.find("\r\nhttp://coded.test/ 404: 503\r\nVantrel Report "), std::string::npos) << coded;
    EXPECT_NE(coded.find("\r\nReason: HTTP 503 (expected 200-299)\r\n"), std::string::npos) << coded;
    // A site without options mails exactly what it always did.
    const std::string plain = smtp.received(1);
    EXPECT_NE(plain.find("\r\nhttp://plain.test/ 404: 12007\r\nVantrel Report "), std::string::npos) << plain;
    EXPECT_EQ(plain.find("Reason:"), std::string::npos) << plain;

    const std::string metrics = MetricsText::render(engine);
    EXPECT_NE(
        metrics.find(
            "vantrel_site_reason{title=\"Site coded\",url=\"http://coded.test/\",reason=\"http_status\"} 1"),
        std::string::npos)
        << metrics;
    EXPECT_NE(metrics.find("reason=\"dns\"} 1"), std::string::npos);
}

TEST_F(CheckOptionsPassTest, OwnIntervalsCheckOnlyTheSitesThatAreDue) {
    SiteOptions every1;
    every1.every = "1";
    SiteOptions every10;
    every10.every = "10";
    SiteEntry recent = site("recent", "OK", every10);
    recent.checkDate = DateText::dateTime(clock.now() - 5 * 60); // kept from before a restart
    addSite(engine, site("interval", "OK"));
    addSite(engine, recent);
    addSite(engine, site("often", "OK", every1)); // never checked: due at once
    for (const char* name : {"interval", "recent", "often"})
        http.script[std::string("http://") + name + ".test/"] = {answer(200, "", 5)};
    engine.applyMonitorSetting(); // monitoring starts now
    EXPECT_EQ(view.timerPeriods.back(), std::chrono::seconds(1));

    auto passAt = [&](std::time_t offset) {
        clock.set(1796690625 + offset);
        http.fetched.clear();
        engine.runCheckPass();
        return http.fetched;
    };
    EXPECT_EQ(passAt(1), std::vector<std::string>{"http://often.test/"});
    EXPECT_EQ(view.timerPeriods.back(), std::chrono::seconds(60));
    EXPECT_EQ(passAt(61), std::vector<std::string>{"http://often.test/"});
    // Five minutes in: the settings' interval and the ten minutes since the
    // check before the restart are up.
    EXPECT_EQ(passAt(300), (std::vector<std::string>{"http://often.test/", "http://recent.test/",
                                                     "http://interval.test/"}));
    EXPECT_EQ(view.timerPeriods.back(), std::chrono::seconds(60));
    EXPECT_EQ(passAt(330), std::vector<std::string>{});
}
