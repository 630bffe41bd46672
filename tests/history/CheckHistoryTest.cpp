#include "history/SqliteCheckHistory.h"
#include "model/DateText.h"
#include "monitor/HistoryCsv.h"
#include "monitor/MetricsText.h"
#include "monitor/SiteMonitor.h"
#include "platform/CurlHttpClient.h"
#include "tests/support/EngineSetup.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/FakeSoundPlayer.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/SmtpTestPeer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/stat.h>

using namespace vantrel;
using namespace vantrel::test;

namespace {

constexpr std::time_t kMinute = 60;
constexpr std::time_t kHour = 60 * kMinute;
constexpr std::time_t kDay = 24 * kHour;

std::vector<CheckRecord> exported(SqliteCheckHistory& h, const std::string& url = {},
                                  const std::string& title = {}) {
    std::vector<CheckRecord> rows;
    EXPECT_TRUE(h.exportChecks(url, title, [&](const CheckRecord& r) { rows.push_back(r); }));
    return rows;
}

CheckRecord check(std::time_t t, int outcome, int ms, const std::string& url = "http://a.test/") {
    CheckRecord c;
    c.time = t;
    c.url = url;
    c.title = "A";
    c.outcome = outcome;
    c.status = outcome == CheckRecord::kGood         ? "OK"
               : outcome == CheckRecord::kNotFetched ? "404"
                                                     : "Bad - Test String text Not Found";
    c.totalMs = ms;
    return c;
}

// The engine with real HTTP and SMTP peers on loopback and the history in
// memory: what a pass records, beside the log that stays as it was.
class CheckHistoryTest : public ::testing::Test {
protected:
    CheckHistoryTest() {
        view.engine = &engine;
        web.route("/good", HttpTestServer::ok("<html>Welcome home</html>"));
        web.route("/changed", HttpTestServer::ok("<html>under maintenance</html>"));
        web.route("/hook", HttpTestServer::ok("noted"));
        editSettings(engine, [&](Settings& s, ExtraSettings&) {
            s.email1 = "ops@example.test";
            s.smtpServer = smtp.hostPort();
            s.notify = "On Change";
            s.everyError = "no";
        });
        engine.setHistory(&history);
        engine.applyMonitorSetting();
    }

    void setSites(const std::vector<SiteEntry>& top) { test::setSites(engine, top); }

    SiteEntry site(const std::string& path, const std::string& action, const std::string& status) {
        SiteEntry e;
        e.title = "Site " + path;
        e.url = path == "refused" ? "http://127.0.0.1:1/" : web.url("/" + path);
        e.testString = "Welcome";
        e.action = action;
        e.status = status;
        e.errorUrl = web.url("/hook");
        return e;
    }

    TempDir dir;
    HttpTestServer web;
    SmtpTestPeer smtp;
    FakeMonitorView view;
    RecordingEventPump pump;
    FakeClock clock;
    FakeSoundPlayer sound;
    CurlHttpClient http;
    SqliteCheckHistory history{":memory:", 90, 1024LL << 20, clock};
    SiteMonitor engine{view, MonitorServices{&pump, &clock, &http, &sound}};
};

} // namespace

TEST_F(CheckHistoryTest, PassRecordsEveryCheckAndAlertBesideAnUnchangedLog) {
    using P = SmtpTestPeer;
    smtp.addSession({P::say("220 mail ready\r\n"), P::hear(), P::say("250 hello\r\n"), P::hear(),
                     P::say("550 no such user\r\n"), P::hear(), P::say("221 bye\r\n")});
    setSites(
        {site("good", "Email", "OK"), site("changed", "URL / Sound", "OK"), site("refused", "Email", "OK")});
    engine.runCheckPass();
    const std::string stamp = DateText::dateTime(clock.now());
    EXPECT_EQ(TempDir::readFile("vantrel.log"),
              "\r\n" + stamp + " " + web.url("/good") + " OK\r\n" + stamp + " " + web.url("/changed") +
                  " Bad - Test String text Not Found\r\n" + stamp + " http://127.0.0.1:1/ 404");

    const std::vector<CheckRecord> rows = exported(history);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].title, "Site good");
    EXPECT_EQ(rows[0].url, web.url("/good"));
    EXPECT_EQ(rows[0].time, clock.now());
    EXPECT_EQ(rows[0].outcome, CheckRecord::kGood);
    EXPECT_EQ(rows[0].status, "OK");
    EXPECT_EQ(rows[0].httpStatus, 200);
    EXPECT_GE(rows[0].totalMs, 0);
    EXPECT_GE(rows[0].connectMs, 0);
    EXPECT_EQ(rows[0].tlsMs, -1); // plain http: no handshake
    EXPECT_EQ(rows[0].bytesReceived, 25);
    EXPECT_EQ(rows[0].errorNumber, 0);
    EXPECT_EQ(rows[1].status, "Bad - Test String text Not Found");
    EXPECT_EQ(rows[1].outcome, CheckRecord::kStringMissing);
    EXPECT_EQ(rows[2].outcome, CheckRecord::kNotFetched);
    EXPECT_EQ(rows[2].status, "404");
    EXPECT_EQ(rows[2].errorNumber, 12029);
    EXPECT_EQ(rows[2].httpStatus, -1);

    // One site's rows only.
    ASSERT_EQ(exported(history, web.url("/changed"), "Site changed").size(), 1u);
    EXPECT_TRUE(exported(history, "http://never.test/", "Never").empty());

    // The counters the metrics serve, and the alerts: the refused mail, the
    // sound and both error-URL calls of the failed site.
    EXPECT_EQ(engine.counters().checks(), 3);
    EXPECT_EQ(engine.counters().alertsSent(), 3);
    EXPECT_EQ(engine.counters().alertsFailed(), 1);
    const std::string metrics = MetricsText::render(engine);
    EXPECT_NE(metrics.find("vantrel_checks_total 3\n"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("vantrel_site_up{title=\"Site good\",url=\"" + web.url("/good") + "\"} 1\n"),
              std::string::npos)
        << metrics;
    EXPECT_NE(
        metrics.find("vantrel_site_http_status{title=\"Site good\",url=\"" + web.url("/good") + "\"} 200\n"),
        std::string::npos);
    EXPECT_NE(metrics.find("vantrel_site_up{title=\"Site refused\",url=\"http://127.0.0.1:1/\"} 0\n"),
              std::string::npos);
    EXPECT_NE(metrics.find("vantrel_history_available 1\n"), std::string::npos);

    const SiteSummary s = history.summary(web.url("/changed"), "Site changed", clock.now());
    EXPECT_EQ(s.checks30d, 1);
    EXPECT_EQ(s.uptime24h, 0.0);
    ASSERT_EQ(s.incidents.size(), 1u);
    EXPECT_EQ(s.incidents[0].end, 0);
    EXPECT_EQ(s.incidents[0].status, "Bad - Test String text Not Found");
}

TEST_F(CheckHistoryTest, DamagedFileNeverStopsAPass) {
    const std::string garbage(8192, '\x5a');
    TempDir::writeFile(SqliteCheckHistory::kFileName, garbage);
    SqliteCheckHistory damaged(SqliteCheckHistory::kFileName, 90, 1024LL << 20, clock);
    engine.setHistory(&damaged);
    setSites({site("good", "URL", "OK")});
    engine.runCheckPass();
    damaged.flush();
    EXPECT_FALSE(damaged.available());
    EXPECT_NE(damaged.problem().find("not a database"), std::string::npos) << damaged.problem();
    EXPECT_EQ(engine.sites().row(0).status, "OK");
    EXPECT_EQ(engine.data().checkCount, 1);
    EXPECT_EQ(view.boxes.size(), 0u);
    EXPECT_NE(TempDir::readFile("vantrel.log").find(" OK"), std::string::npos);
    EXPECT_EQ(damaged.summary(engine.sites().row(0).url, "Site good", clock.now()).checks30d, 0);
    EXPECT_NE(MetricsText::render(engine).find("vantrel_history_available 0\n"), std::string::npos);
    EXPECT_EQ(TempDir::readFile(SqliteCheckHistory::kFileName), garbage); // nothing written over it
}

// Another program holding the file locked: the pass goes on, the history
// says it is unavailable and comes back once the lock is gone.
TEST_F(CheckHistoryTest, LockedFileNeverStopsAPassAndRecovers) {
    SqliteCheckHistory locked("locked.db", 90, 1024LL << 20, clock);
    engine.setHistory(&locked);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open("locked.db", &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    setSites({site("good", "Sound", "OK")});
    engine.runCheckPass();
    EXPECT_EQ(engine.sites().row(0).status, "OK");
    ASSERT_TRUE(locked.flush());
    EXPECT_FALSE(locked.available());
    EXPECT_NE(locked.problem().find("locked"), std::string::npos) << locked.problem();

    ASSERT_EQ(sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(other);
    engine.runCheckPass();
    ASSERT_TRUE(locked.flush());
    EXPECT_TRUE(locked.available());
    EXPECT_EQ(exported(locked).size(), 1u); // the check made under the lock was dropped
    EXPECT_EQ(engine.data().checkCount, 2);
}

// Uptime over each window, mean and 95th percentile, incidents from failure
// to recovery with their status, newest first.
TEST(HistoryQueries, SummaryAndSeriesOfOneSite) {
    FakeClock clock;
    const std::time_t now = clock.now();
    SqliteCheckHistory h(":memory:", 90, 1024LL << 20, clock);
    // 20 days of checks every hour: good at 100..119 ms, except a failed
    // stretch 10 days ago (three hours of 404) and a missing test string 2
    // hours ago, not recovered yet.
    for (std::time_t t = now - 20 * kDay; t <= now; t += kHour) {
        int outcome = CheckRecord::kGood;
        if (t >= now - 10 * kDay && t < now - 10 * kDay + 3 * kHour)
            outcome = CheckRecord::kNotFetched;
        if (t >= now - 2 * kHour)
            outcome = CheckRecord::kStringMissing;
        h.recordCheck(check(
            t, outcome, outcome == CheckRecord::kNotFetched ? -1 : 100 + static_cast<int>(t / kHour % 20)));
    }
    h.recordCheck(check(now - kHour, CheckRecord::kGood, 5, "http://other.test/")); // another site
    const SiteSummary s = h.summary("http://a.test/", "A", now);
    EXPECT_EQ(s.checks30d, 20 * 24 + 1);
    EXPECT_DOUBLE_EQ(s.uptime24h, 22.0 / 25.0); // 25 checks in the last day, 3 failed
    EXPECT_DOUBLE_EQ(s.uptime7d, (7 * 24 + 1 - 3) / double(7 * 24 + 1));
    EXPECT_DOUBLE_EQ(s.uptime30d, (20 * 24 + 1 - 6) / double(20 * 24 + 1));
    EXPECT_NEAR(s.averageMs, 109.5, 0.1);
    EXPECT_GE(s.p95Ms, 118); // the top twentieth of the times is 119 ms
    EXPECT_LE(s.p95Ms, 119);
    ASSERT_EQ(s.incidents.size(), 2u);
    EXPECT_EQ(s.incidents[0].start, now - 2 * kHour);
    EXPECT_EQ(s.incidents[0].end, 0);
    EXPECT_EQ(s.incidents[0].status, "Bad - Test String text Not Found");
    EXPECT_EQ(s.incidents[1].start, now - 10 * kDay);
    EXPECT_EQ(s.incidents[1].end, now - 10 * kDay + 3 * kHour);
    EXPECT_EQ(s.incidents[1].durationSeconds(now), 3 * kHour);
    EXPECT_EQ(s.incidents[1].status, "404");
    EXPECT_EQ(h.summary("http://a.test/", "A", now, 1).incidents.size(), 1u);

    const std::vector<SeriesPoint> day = h.series("http://a.test/", "A", now - kDay, now);
    ASSERT_EQ(day.size(), 25u);
    EXPECT_FALSE(day.front().failed);
    EXPECT_TRUE(day.back().failed);
    EXPECT_EQ(h.summary("http://none.test/", "A", now).uptime24h, -1);
}

// Older than the kept days is deleted at start and by the daily pruning;
// the size cap keeps the file near its limit however much is written.
TEST(HistoryQueries, RetentionAndSizeCap) {
    TempDir dir;
    FakeClock clock;
    const std::time_t now = clock.now();
    {
        SqliteCheckHistory h("kept.db", 90, 1024LL << 20, clock);
        for (std::time_t t = now - 100 * kDay; t <= now; t += kDay)
            h.recordCheck(check(t, CheckRecord::kGood, 10));
        h.flush();
        EXPECT_EQ(exported(h).size(), 101u);
    }
    {
        SqliteCheckHistory h("kept.db", 30, 1024LL << 20, clock); // opened again with fewer days
        EXPECT_EQ(exported(h).size(), 31u);
        EXPECT_EQ(exported(h).front().time, now - 30 * kDay);
        clock.advance(5 * kDay);
        h.prune();
        EXPECT_EQ(exported(h).size(), 26u);
    }

    SqliteCheckHistory capped("capped.db", 3650, 1LL << 20, clock);
    for (int i = 0; i < 40000; ++i) {
        CheckRecord c = check(now + i, CheckRecord::kStringMissing, i % 1000,
                              "http://capped.test/" + std::to_string(i % 50));
        capped.recordCheck(c);
        if (i % 5000 == 4999)
            capped.flush(); // so that the bounded queue keeps them all
    }
    ASSERT_TRUE(capped.flush());
    EXPECT_EQ(capped.droppedRecords(), 0);
    EXPECT_TRUE(capped.available());
    struct stat st {};
    ASSERT_EQ(::stat("capped.db", &st), 0);
    EXPECT_LE(st.st_size, 1300 * 1024) << "database file";
    const std::vector<CheckRecord> left = exported(capped);
    EXPECT_LT(left.size(), 40000u);
    EXPECT_GT(left.size(), 1000u);
    EXPECT_EQ(left.back().time, now + 39999); // the newest stay
}

TEST(HistoryQueries, CsvLines) {
    CheckRecord c = check(1796690625, CheckRecord::kStringMissing, 87);
    c.title = "Shop, \"main\"";
    c.httpStatus = 200;
    c.bytesReceived = 512;
    c.reason = "text \"Welcome\" not found";
    EXPECT_EQ(HistoryCsv::header().substr(0, 39), "time,unix_time,title,url,status,http_st");
    const std::string line = HistoryCsv::line(c);
    EXPECT_NE(line.find(",1796690625,\"Shop, \"\"main\"\"\",http://a.test/,Bad - Test String text Not "
                        "Found,200,87,,,,,512,,,\"text \"\"Welcome\"\" not found\"\r\n"),
              std::string::npos)
        << line;
}
