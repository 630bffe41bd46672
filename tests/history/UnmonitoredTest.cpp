#include "history/SqliteCheckHistory.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace vantrel;
using namespace vantrel::test;

namespace {

constexpr std::time_t kHour = 60 * 60;
constexpr std::time_t kDay = 24 * kHour;

CheckRecord check(std::time_t t, bool good) {
    CheckRecord c;
    c.time = t;
    c.url = "http://a.test/";
    c.title = "A";
    c.outcome = good ? CheckRecord::kGood : CheckRecord::kNotFetched;
    c.status = good ? "OK" : "404";
    c.totalMs = good ? 100 : -1;
    return c;
}

bool hasTable(const std::string& path, const std::string& name) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master WHERE name = ?1", -1, &s, nullptr);
    sqlite3_bind_text(s, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    const bool found = sqlite3_step(s) == SQLITE_ROW && sqlite3_column_int(s, 0) > 0;
    sqlite3_finalize(s);
    sqlite3_close(db);
    return found;
}

} // namespace

// Checks every hour for three days; the failures of an evening asleep and of
// a night behind a portal fall in stretches not monitored. They stay in the
// export, but count neither as up nor as down: not in the uptime, the
// incidents, the chart or the roll-ups, and the stretches outlive a restart.
// A history that never had such a stretch keeps its layout.
TEST(HistoryUnmonitored, StretchesCountNeitherUpNorDown) {
    TempDir dir;
    const std::string path = dir.path() + "/h.db";
    FakeClock clock;
    const std::time_t now = clock.now();
    const std::time_t today = now / kDay * kDay;
    const std::time_t asleep = (now - 5 * kHour) / kHour * kHour;
    const std::time_t portal = today - 2 * kDay + 3 * kHour; // a day the roll-ups keep
    auto inStretch = [&](std::time_t t) {
        return (t >= asleep && t < asleep + 2 * kHour) || (t >= portal && t < portal + 5 * kHour);
    };
    {
        SqliteCheckHistory plain(dir.path() + "/plain.db", 1, 1024LL << 20, clock);
        plain.recordCheck(check(now, true));
        ASSERT_TRUE(plain.flush());
        EXPECT_FALSE(hasTable(dir.path() + "/plain.db", "unmonitored"));
    }
    {
        SqliteCheckHistory h(path, 1, 1024LL << 20, clock);
        // The stretches before the checks, which are of days long over: a
        // day is rolled up as soon as the writer finds it has checks.
        h.recordUnmonitored(asleep, asleep + 2 * kHour, "asleep");
        h.recordUnmonitored(portal, portal + 5 * kHour, "captive_portal");
        h.recordUnmonitored(portal + kHour, portal + 2 * kHour, "dns"); // within it
        h.recordUnmonitored(now, now, "offline");                       // no time at all: nothing kept
        ASSERT_TRUE(h.flush());
        EXPECT_TRUE(hasTable(path, "unmonitored"));
        std::time_t t = today - 3 * kDay;
        h.writeAll([&](CheckRecord& c) {
            if (t > now)
                return false;
            c = check(t, !inStretch(t));
            t += kHour;
            return true;
        });
    }
    SqliteCheckHistory h(path, 1, 1024LL << 20, clock);
    h.catchUp(); // the days before yesterday go to the roll-ups

    const SiteSummary s = h.summary("http://a.test/", "A", now);
    EXPECT_DOUBLE_EQ(s.uptime24h, 1.0);
    EXPECT_DOUBLE_EQ(s.uptime7d, 1.0);
    EXPECT_TRUE(s.incidents.empty());
    const RangeFigures days = h.figures("http://a.test/", "A", today - 3 * kDay, today - kDay - 1);
    EXPECT_EQ(days.failures, 0);
    EXPECT_EQ(days.checks, 2 * 24 - 5);

    for (const SeriesPoint& p : h.series("http://a.test/", "A", now - kDay, now)) {
        EXPECT_FALSE(p.failed);
        EXPECT_FALSE(inStretch(p.time));
    }
    const std::vector<UnmonitoredStretch> shown = h.unmonitored(now - kDay, now);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].from, asleep);
    EXPECT_EQ(shown[0].to, asleep + 2 * kHour);
    EXPECT_EQ(shown[0].reason, "asleep");
    EXPECT_EQ(h.unmonitored(today - 3 * kDay, now).size(), 3u);

    int failedKept = 0;
    ASSERT_TRUE(h.exportChecks("http://a.test/", "A",
                               [&](const CheckRecord& c) { failedKept += c.outcome != CheckRecord::kGood; }));
    EXPECT_EQ(failedKept, 2 + 5);
}

// Stretches go with the checks of their time: one older than anything the
// history keeps is gone after a prune and after a restart; a recent one stays.
TEST(HistoryUnmonitored, AStretchGoesWithTheLastCheckOfItsTime) {
    TempDir dir;
    const std::string path = dir.path() + "/h.db";
    FakeClock clock;
    const std::time_t now = clock.now();
    {
        SqliteCheckHistory h(path, 30, 1024LL << 20, clock, 60);
        h.recordUnmonitored(now - 90 * kDay, now - 90 * kDay + kHour, "asleep");
        h.recordUnmonitored(now - 2 * kDay, now - 2 * kDay + kHour, "offline");
        h.recordCheck(check(now, true));
        ASSERT_TRUE(h.flush());
        EXPECT_EQ(h.unmonitored(now - 100 * kDay, now).size(), 2u);
        h.prune();
        const std::vector<UnmonitoredStretch> kept = h.unmonitored(now - 100 * kDay, now);
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(kept[0].reason, "offline");
    }
    SqliteCheckHistory h(path, 30, 1024LL << 20, clock, 60);
    ASSERT_EQ(h.unmonitored(now - 100 * kDay, now).size(), 1u);
}
