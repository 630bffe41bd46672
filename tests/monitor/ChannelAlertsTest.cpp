#include "monitor/ChannelAlerts.h"
#include "model/DateText.h"
#include "monitor/SiteMonitor.h"
#include "notify/AlertChannels.h"
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
#include <gtest/gtest.h>
#include <map>

using namespace vantrel;
using namespace vantrel::test;

namespace {

SiteEntry checkedSite(const std::string& status, std::time_t when) {
    SiteEntry e("Shop", "http://shop.test/", "", "Email", "", "01 Dec 2026", DateText::dateTime(when),
                status);
    if (status != "OK")
        e.reason = "HTTP 503";
    return e;
}

TEST(ChannelAlerts, DownRemindersAndRecovery) {
    ChannelAlerts alerts;
    const ChannelAlerts::Reminders every30{30, 2};
    std::time_t t = 1796690625;
    EXPECT_FALSE(alerts.checked(checkedSite("OK", t), "New", t, "", every30));

    t += 300;
    std::optional<AlertMessage> a =
        alerts.checked(checkedSite("404", t), "OK", t, "<h1>Busy</h1>\r\n\x01", every30);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->state, "down");
    EXPECT_EQ(a->reason, "HTTP 503");
    EXPECT_EQ(a->page, "Busy");
    EXPECT_EQ(a->lastGood, DateText::dateTime(t - 300));
    EXPECT_EQ(a->downSince, DateText::dateTime(t));

    // Still down: a reminder once 30 minutes have passed since the last
    // alert, at most two of them, none while paused.
    std::vector<std::string> sent;
    for (int minute = 10; minute <= 180; minute += 10) {
        alerts.setRemindersPaused(minute >= 60 && minute < 100);
        if (auto r = alerts.checked(checkedSite("404", t + minute * 60), "404", t + minute * 60, "", every30))
            sent.push_back(r->headline() + " | " + r->downSince);
    }
    EXPECT_EQ(sent, (std::vector<std::string>{
                        "Vantrel: Shop still down for 30 min | " + DateText::dateTime(t),
                        "Vantrel: Shop still down for 1 h 40 min | " + DateText::dateTime(t),
                    }));

    t += 130 * 60;
    a = alerts.checked(checkedSite("OK", t), "404", t, "", every30);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->headline(), "Vantrel: Shop is up again");
    EXPECT_EQ(a->duration, "2 h 10 min");
    // Up and down again: a new outage, its reminders counted afresh.
    a = alerts.checked(checkedSite("404", t + 60), "OK", t + 60, "", every30);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->lastGood, DateText::dateTime(t));
    EXPECT_TRUE(alerts.checked(checkedSite("404", t + 60 + 1800), "404", t + 60 + 1800, "", every30));
    // Reminders off (the default): nothing while it stays down.
    EXPECT_FALSE(alerts.checked(checkedSite("404", t + 99999), "404", t + 99999, "", {}));
}

TEST(ChannelAlerts, DurationsAndPageExcerpts) {
    EXPECT_EQ(ChannelAlerts::durationText(59), "0 min");
    EXPECT_EQ(ChannelAlerts::durationText(45 * 60), "45 min");
    EXPECT_EQ(ChannelAlerts::durationText(7800), "2 h 10 min");
    EXPECT_EQ(ChannelAlerts::durationText(3 * 86400 + 4 * 3600 + 59), "3 d 4 h");
    EXPECT_EQ(ChannelAlerts::pageExcerpt("<p>a\tb</p>\n<p>\xc3\xa9\xff\x1b[2J</p>"), "a b \xc3\xa9[2J");
    const std::string excerpt = ChannelAlerts::pageExcerpt(std::string(1000, 'x'));
    EXPECT_EQ(excerpt.size(), 300u);
    // Characters, not bytes: 300 two-byte letters.
    std::string wide;
    for (int i = 0; i < 400; ++i)
        wide += "\xc3\xa9";
    EXPECT_EQ(ChannelAlerts::pageExcerpt(wide).size(), 600u);
}

class RecordingChannels : public AlertChannels {
public:
    std::vector<std::pair<AlertMessage, std::vector<int>>> sent;
    void send(const AlertMessage& message, const std::vector<int>& only) override {
        sent.emplace_back(message, only);
    }
};

using Scripted = ScriptedHttp;

HttpResponse page(int status, std::string body) {
    return ScriptedHttp::answer(status, std::move(body));
}

class ChannelPassTest : public ::testing::Test {
protected:
    ChannelPassTest() {
        view.engine = &engine;
        editSettings(engine, [&](Settings& s, ExtraSettings&) {
            s.email1 = "ops@example.test";
            s.smtpServer = smtp.hostPort();
        });
        engine.applyMonitorSetting();
        engine.setAlertChannels(&channels);
    }

    TempDir dir;
    SmtpTestPeer smtp;
    FakeMonitorView view;
    RecordingEventPump pump;
    FakeClock clock;
    FakeSoundPlayer sound;
    FakeNetworkStatus network;
    Scripted http;
    RecordingChannels channels;
    SiteMonitor engine{view, MonitorServices{&pump, &clock, &http, &sound, &network}};
};

// The pass hands the channels one alert when a site goes down and one when
// it comes back, routed by the site's CHANNELS; a report mail keeps its
// bytes unless MAILEXPLAIN asks for the explanation.
TEST_F(ChannelPassTest, StateChangesReachTheChannelsAndMailExplainsOnlyWhenAsked) {
    SiteEntry shop("Shop", "http://shop.test/", "Welcome", "Email", "", "01 Dec 2026", "", "OK");
    shop.options.channels = "2, 3";
    addSite(engine, shop);
    http.script["http://shop.test/"] = {
        page(200, "<title>Maintenance</title> back soon"), page(200, "<p>Welcome</p>"),
        page(200, "<title>Maintenance</title> back soon"), page(200, "Welcome")};
    for (int i = 0; i < 4; ++i)
        smtp.addSession(SmtpTestPeer::acceptingSession());

    engine.runCheckPass(); // down: mail at the defaults
    clock.advance(600);
    engine.runCheckPass(); // up
    ASSERT_EQ(channels.sent.size(), 2u);
    EXPECT_EQ(channels.sent[0].first.state, "down");
    EXPECT_EQ(channels.sent[0].first.page, "Maintenance back soon");
    EXPECT_EQ(channels.sent[0].second, (std::vector<int>{2, 3}));
    EXPECT_EQ(channels.sent[1].first.state, "up");
    EXPECT_EQ(channels.sent[1].first.duration, "10 min");
    ASSERT_EQ(smtp.connections(), 2);
    const std::string plain = smtp.received(0);
    EXPECT_EQ(plain.find("The server sent"), std::string::npos) << plain;
    EXPECT_NE(plain.find("\r\nhttp://shop.test/ String Not Found\r\nVantrel Report "), std::string::npos);
    // The CHANNELS option alone does not turn on the reason line of sites
    // with options.
    EXPECT_EQ(plain.find("Reason:"), std::string::npos) << plain;

    editExtra(engine, [&](ExtraSettings& x) { x.mailExplain = true; });
    clock.advance(600);
    engine.runCheckPass(); // down, explained
    clock.advance(1200);
    engine.runCheckPass(); // up, explained
    ASSERT_EQ(smtp.connections(), 4);
    const std::string down = smtp.received(2);
    EXPECT_NE(down.find("\r\nReason: "), std::string::npos) << down;
    EXPECT_NE(down.find("\r\nLast good check: " + DateText::dateTime(clock.now() - 1800)), std::string::npos)
        << down;
    EXPECT_NE(down.find("\r\nThe server sent: Maintenance back soon\r\n"), std::string::npos) << down;
    const std::string up = smtp.received(3);
    EXPECT_NE(up.find("\r\nDown since: " + DateText::dateTime(clock.now() - 1200) + " (20 min)\r\n"),
              std::string::npos)
        << up;
    // A site with no route of its own goes to every channel.
    EXPECT_EQ(AlertDispatcher::routeOf(""), std::vector<int>{});
    EXPECT_EQ(AlertDispatcher::routeOf("none"), std::vector<int>{0});
}

} // namespace
