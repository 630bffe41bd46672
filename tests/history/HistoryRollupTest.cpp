#include "history/SqliteCheckHistory.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

using namespace vantrel;
using namespace vantrel::test;

namespace {

constexpr std::time_t kHour = 60 * 60;
constexpr std::time_t kDay = 24 * kHour;

std::string url(int site) {
    return "https://site-" + std::to_string(site) + ".test/";
}

// A check of site `site` at `t`, good ("OK") or not fetched ("404").
CheckRecord check(std::time_t t, int site, const std::string& title, bool good, int totalMs) {
    CheckRecord c;
    c.time = t;
    c.url = url(site);
    c.title = title;
    c.outcome = good ? CheckRecord::kGood : CheckRecord::kNotFetched;
    c.status = good ? "OK" : "404";
    c.totalMs = totalMs;
    return c;
}

std::vector<CheckRecord> exported(SqliteCheckHistory& h, const std::string& u = {},
                                  const std::string& t = {}) {
    std::vector<CheckRecord> rows;
    EXPECT_TRUE(h.exportChecks(u, t, [&](const CheckRecord& r) { rows.push_back(r); }));
    return rows;
}

// Synthetic checks of a few sites, each with a failure pattern of its own:
// scattered failures, outages of some hours, and slow and missing-text
// spells. They are kept here too, to sum straight from the raw rows.
struct Synthetic {
    static constexpr int kSites = 3;
    std::vector<CheckRecord> checks;

    Synthetic(std::time_t from, std::time_t to, std::time_t step) {
        unsigned seed = 7;
        for (std::time_t t = from; t <= to; t += step) {
            for (int site = 0; site < kSites; ++site) {
                seed = seed * 1103515245u + 12345u;
                const unsigned r = seed >> 16 & 0x3ff;
                // Site 1 is down three hours every four days.
                const bool down = (site == 0 && r < 12) || (site == 1 && (t / kHour) % 97 < 3);
                CheckRecord c = check(t, site, "Site " + std::to_string(site), !down,
                                      down ? -1 : 40 + static_cast<int>(seed >> 8 & 0x1ff));
                if (site == 2 && r < 40) {
                    c.outcome = CheckRecord::kStringMissing;
                    c.status = "Bad - Test String text Not Found";
                }
                const bool slow = site == 2 && c.outcome == CheckRecord::kGood && (t / kDay) % 11 == 0;
                c.status = slow ? "Slow" : c.status;
                c.reasonKind = slow ? "slow" : c.outcome == CheckRecord::kGood ? "none" : "http_status";
                checks.push_back(c);
            }
        }
    }

    RangeFigures expected(int site, std::time_t from, std::time_t to) const {
        RangeFigures f;
        std::vector<int> times;
        double sum = 0;
        for (const CheckRecord& c : checks) {
            if (c.url != url(site) || c.time < from || c.time > to)
                continue;
            ++f.checks;
            f.failures += c.outcome != CheckRecord::kGood;
            f.slow += c.status == "Slow";
            if (c.totalMs >= 0) {
                times.push_back(c.totalMs);
                sum += c.totalMs;
            }
        }
        if (!times.empty()) {
            std::sort(times.begin(), times.end());
            f.timed = static_cast<long long>(times.size());
            f.minMs = times.front();
            f.averageMs = sum / static_cast<double>(times.size());
            f.p95Ms = times[static_cast<size_t>(std::ceil(0.95 * static_cast<double>(times.size()))) - 1];
        }
        return f;
    }
};

// Every field of a check but its site, as the history keeps it.
void expectSameCheck(const CheckRecord& got, const CheckRecord& want) {
    EXPECT_EQ(got.time, want.time);
    EXPECT_EQ(got.outcome, want.outcome);
    EXPECT_EQ(got.status, want.status);
    EXPECT_EQ(got.httpStatus, want.httpStatus);
    EXPECT_EQ(got.totalMs, want.totalMs);
    EXPECT_EQ(got.nameLookupMs, want.nameLookupMs);
    EXPECT_EQ(got.connectMs, want.connectMs);
    EXPECT_EQ(got.tlsMs, want.tlsMs);
    EXPECT_EQ(got.firstByteMs, want.firstByteMs);
    EXPECT_EQ(got.bytesReceived, want.bytesReceived);
    EXPECT_EQ(got.errorNumber, want.errorNumber);
    EXPECT_EQ(got.certDaysLeft, want.certDaysLeft);
    EXPECT_EQ(got.reason, want.reason);
    EXPECT_EQ(got.reasonKind, want.reasonKind);
}

// The first row of `sql` run on the database file `file`, its columns as
// numbers; empty when there is no row. Waits up to a second for a writer.
std::vector<long long> queryRow(const char* file, const char* sql) {
    std::vector<long long> row;
    sqlite3* db = nullptr;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_open(file, &db) == SQLITE_OK && sqlite3_busy_timeout(db, 1000) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
        for (int i = 0; i < sqlite3_column_count(s); ++i)
            row.push_back(sqlite3_column_int64(s, i));
    sqlite3_finalize(s);
    sqlite3_close(db);
    return row;
}

void expectSameFigures(const RangeFigures& got, const RangeFigures& want, const std::string& what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(got.checks, want.checks);
    EXPECT_EQ(got.failures, want.failures);
    EXPECT_EQ(got.slow, want.slow);
    EXPECT_EQ(got.timed, want.timed);
    EXPECT_NEAR(got.uptime() * 100, want.uptime() * 100, 0.01);
    EXPECT_EQ(got.minMs, want.minMs);
    EXPECT_NEAR(got.averageMs, want.averageMs, 1.0);
    EXPECT_NEAR(got.p95Ms, want.p95Ms, want.p95Ms * 0.05); // estimated from the roll-ups' own
}

} // namespace

// A year of checks every ten minutes, rolled up and then cut to three days
// of raw rows: every range, of whole days or hours, adds up to what the raw
// rows said, and the chart's points carry every check.
TEST(HistoryRollup, AYearRolledUpGivesTheUptimeOfTheRawRows) {
    TempDir dir;
    FakeClock clock;
    const std::time_t now = clock.now();
    const std::time_t today = now / kDay * kDay;
    const Synthetic year(today - 366 * kDay, now, 5 * 60);
    SqliteCheckHistory h("year.db", 3, 1024LL << 20, clock);
    size_t next = 0;
    h.writeAll([&](CheckRecord& c) {
        if (next == year.checks.size())
            return false;
        c = year.checks[next++];
        return true;
    });
    h.catchUp();

    const std::vector<CheckRecord> raw = exported(h);
    ASSERT_FALSE(raw.empty());
    EXPECT_EQ(raw.front().time, today - 3 * kDay); // three whole days and today
    EXPECT_EQ(raw.size(), static_cast<size_t>(Synthetic::kSites * ((now - (today - 3 * kDay)) / 300 + 1)));

    const std::time_t monthHour = (now - 30 * kDay + kHour - 1) / kHour * kHour;
    const std::time_t hourOfBefore = now - 200 * kDay; // a stretch long past the raw rows
    for (int site = 0; site < Synthetic::kSites; ++site) {
        const std::string title = "Site " + std::to_string(site);
        const std::string s = title + ": ";
        const std::time_t oldDay = hourOfBefore / kDay * kDay;
        for (const auto& [what, from, to] : {std::tuple{"year", today - 365 * kDay, now},
                                             {"30 days of whole hours", monthHour, now},
                                             {"week", today - 7 * kDay, now},
                                             {"ten days long ago", oldDay, oldDay + 10 * kDay - 1}})
            expectSameFigures(h.figures(url(site), title, from, to), year.expected(site, from, to), s + what);

        // The summary: the 24 hours from raw rows, the month from hourly
        // roll-ups (from its first whole hour).
        const SiteSummary summary = h.summary(url(site), title, now);
        EXPECT_NEAR(summary.uptime24h, year.expected(site, now - kDay, now).uptime(), 1e-9) << s;
        EXPECT_NEAR(summary.uptime30d * 100, year.expected(site, monthHour, now).uptime() * 100, 0.01) << s;
        EXPECT_EQ(summary.checks30d, year.expected(site, monthHour, now).checks) << s;

        // The year's chart: a point a day, then an hour, then a check.
        const std::vector<SeriesPoint> points = h.series(url(site), title, today - 365 * kDay, now);
        long long checks = 0, failures = 0;
        for (const SeriesPoint& p : points) {
            checks += p.checks;
            failures += p.failures;
            EXPECT_EQ(p.failed, p.failures > 0);
        }
        const RangeFigures want = year.expected(site, today - 365 * kDay, now);
        EXPECT_EQ(checks, want.checks) << s;
        EXPECT_EQ(failures, want.failures) << s;
        EXPECT_EQ(points.size(), static_cast<size_t>(335 + 27 * 24 + (now - (today - 3 * kDay)) / 300 + 1))
            << s;
        EXPECT_TRUE(
            std::is_sorted(points.begin(), points.end(),
                           [](const SeriesPoint& a, const SeriesPoint& b) { return a.time < b.time; }));
    }

    // Opened again: the tiers' bounds were kept, and nothing is rolled twice.
    h.flush();
    SqliteCheckHistory again("year.db", 3, 1024LL << 20, clock);
    again.catchUp();
    expectSameFigures(again.figures(url(1), "Site 1", today - 365 * kDay, now),
                      year.expected(1, today - 365 * kDay, now), "opened again");
}

// Every field of a check survives the compact row, the reason and its kind
// too; two checks of a site in one second are both kept, in order.
TEST(HistoryRollup, RawRowsKeepEveryField) {
    FakeClock clock;
    SqliteCheckHistory h(":memory:", 90, 1024LL << 20, clock);
    CheckRecord c = check(clock.now(), 1, "Shop", false, 12345);
    c.httpStatus = 503;
    c.nameLookupMs = 0;
    c.connectMs = 7;
    c.tlsMs = -1;
    c.firstByteMs = 300;
    c.bytesReceived = 5'000'000'000LL;
    c.errorNumber = 12029;
    c.certDaysLeft = -3; // expired three days ago
    c.reason = "HTTP 503 (expected 200-299)";
    c.reasonKind = "http_status";
    CheckRecord second = c;
    second.outcome = CheckRecord::kGood;
    second.status = "Slow";
    second.reason = "answered in 12345 ms";
    second.reasonKind = "slow";
    second.certDaysLeft = -1;
    second.bytesReceived = -1;
    h.recordCheck(c);
    h.recordCheck(second);
    const std::vector<CheckRecord> rows = exported(h, url(1), "Shop");
    ASSERT_EQ(rows.size(), 2u);
    expectSameCheck(rows[0], c);
    expectSameCheck(rows[1], second);
    const RangeFigures f = h.figures(url(1), "Shop", c.time, c.time);
    EXPECT_EQ(f.checks, 2);
    EXPECT_EQ(f.failures, 1);
    EXPECT_EQ(f.slow, 1);
    EXPECT_EQ(h.summary(url(1), "Shop", c.time).incidents.at(0).status, "404");
}

// A file of the earlier layout: its rows are read as they are, moved over
// in steps without loss, and the old table goes.
TEST(HistoryRollup, EarlierLayoutIsReadAndMovedOverWithoutLoss) {
    TempDir dir;
    FakeClock clock;
    const std::time_t now = clock.now();
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open("old.db", &db), SQLITE_OK);
        const std::string schema =
            "PRAGMA auto_vacuum=INCREMENTAL; PRAGMA journal_mode=WAL;"
            "CREATE TABLE sites(id INTEGER PRIMARY KEY, url TEXT NOT NULL, title TEXT NOT NULL, UNIQUE(url, "
            "title));"
            "CREATE TABLE checks(id INTEGER PRIMARY KEY, site INTEGER NOT NULL, time INTEGER NOT NULL,"
            " outcome INTEGER NOT NULL, status TEXT NOT NULL, http_status INTEGER, total_ms INTEGER,"
            " lookup_ms INTEGER, connect_ms INTEGER, tls_ms INTEGER, first_byte_ms INTEGER, bytes INTEGER,"
            " error_number INTEGER, cert_days INTEGER);"
            "CREATE INDEX checks_by_site ON checks(site, time, outcome, total_ms);"
            "CREATE TABLE alerts(id INTEGER PRIMARY KEY, site INTEGER NOT NULL, time INTEGER NOT NULL,"
            " channel TEXT NOT NULL, ok INTEGER NOT NULL, detail TEXT NOT NULL);"
            "INSERT INTO sites VALUES(1, 'https://a.test/', 'A'), (2, 'https://b.test/', 'B');";
        // 12,000 rows, more than a step moves; every fiftieth of site A's
        // failed; row 102 is site A's second check in the second of row 100.
        const std::string rows =
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 11999)"
            " INSERT INTO checks SELECT NULL, 1 + i % 2, " +
            std::to_string(now - 20 * kDay) +
            " + (i / 2 - (i = 102)) * 120, iif(i % 50 = 8, 0, 2), iif(i % 50 = 8, '404', 'OK'),"
            " iif(i % 50 = 8, NULL, 200), 100 + i % 7, NULL, 3, NULL, 90 + i % 7, 1000 + i,"
            " iif(i % 50 = 8, 12029, 0), 45 FROM n;";
        ASSERT_EQ(sqlite3_exec(db, (schema + rows).c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
    SqliteCheckHistory h("old.db", 90, 1024LL << 20, clock);
    // Read before, while and after it is moved over.
    ASSERT_EQ(exported(h).size(), 12000u);
    const std::vector<CheckRecord> before = exported(h, "https://a.test/", "A");
    const SiteSummary summaryBefore = h.summary("https://a.test/", "A", now);
    ASSERT_EQ(before.size(), 6000u);
    h.recordCheck([&] {
        CheckRecord c = before.front();
        c.time = now;
        return c;
    }());
    h.catchUp();
    ASSERT_EQ(exported(h).size(), 12001u);
    const std::vector<CheckRecord> after = exported(h, "https://a.test/", "A");
    ASSERT_EQ(after.size(), 6001u);
    for (size_t i = 0; i < before.size(); ++i) {
        SCOPED_TRACE(i);
        expectSameCheck(after[i], before[i]);
        EXPECT_EQ(after[i].url, before[i].url);
        EXPECT_EQ(after[i].certDaysLeft, 45);
        if (::testing::Test::HasFailure())
            break;
    }
    EXPECT_EQ(before[0].time, now - 20 * kDay);
    EXPECT_EQ(before[50].time, before[51].time); // the second in which site A was checked twice
    EXPECT_EQ(before[50].bytesReceived, 1100);
    EXPECT_EQ(before[51].bytesReceived, 1102);
    const SiteSummary summaryAfter = h.summary("https://a.test/", "A", now);
    EXPECT_EQ(summaryAfter.checks30d, summaryBefore.checks30d + 1);
    EXPECT_DOUBLE_EQ(summaryBefore.uptime30d, 1.0 - 240.0 / 6000.0);
    ASSERT_EQ(summaryAfter.incidents.size(), summaryBefore.incidents.size());
    EXPECT_EQ(summaryAfter.incidents.back().status, "404");

    EXPECT_EQ(
        queryRow("old.db", "SELECT count(*) FROM sqlite_master WHERE name IN ('checks', 'checks_by_site')"),
        std::vector<long long>{0});
}

// Over the size cap, raw days go first (rolled up before they go) and the
// roll-ups last: the long view survives while the file shrinks to the cap.
TEST(HistoryRollup, CapDropsRawRowsBeforeRollups) {
    TempDir dir;
    FakeClock clock;
    const std::time_t now = clock.now();
    const std::time_t today = now / kDay * kDay;
    const std::time_t first = today - 60 * kDay;
    long long failures = 0;
    {
        SqliteCheckHistory h("capped.db", 90, 1024LL << 20, clock);
        // Time after time, as a run records them.
        std::time_t t = first;
        int site = 0;
        h.writeAll([&](CheckRecord& c) {
            if (t > now)
                return false;
            c = check(t, site, "S", (t / 600) % 100 != 0, 100 + static_cast<int>(t % 77));
            failures += site == 3 && c.outcome == CheckRecord::kNotFetched;
            if (++site == 20) {
                site = 0;
                t += 10 * 60;
            }
            return true;
        });
        h.catchUp();
    }
    SqliteCheckHistory h("capped.db", 90, 1LL << 20, clock);
    h.catchUp();
    const std::vector<long long> tiers =
        queryRow("capped.db",
                 "SELECT (SELECT count(*) FROM daily), (SELECT min(day) FROM daily),"
                 " (SELECT count(*) FROM raw), (SELECT min(time) FROM raw), (SELECT count(*) FROM hourly),"
                 " (SELECT (page_count - freelist_count) * page_size FROM pragma_page_count,"
                 " pragma_freelist_count, pragma_page_size)");
    ASSERT_EQ(tiers.size(), 6u);
    EXPECT_EQ(tiers[0], 20 * 60); // every day of every site, before today
    EXPECT_EQ(tiers[1], first / kDay);
    EXPECT_GT(tiers[2], 20 * 144);          // raw rows of at least the last day
    EXPECT_GT(tiers[3], first + 30 * kDay); // the oldest raw days went
    EXPECT_EQ(tiers[4], 20 * 30 * 24);      // while every hour stayed
    EXPECT_LE(tiers[5], 1LL << 20);         // the file's pages in use
    EXPECT_EQ(exported(h, url(3), "S").back().time, now / 600 * 600);
    // The whole stretch still adds up, from days, hours and checks.
    const RangeFigures all = h.figures(url(3), "S", first, now);
    EXPECT_EQ(all.checks, (now - first) / 600 + 1);
    EXPECT_EQ(all.failures, failures);
}

// The writer rolls finished days up by itself, between batches, in steps of
// a few hundred sites; the day being checked is left alone.
TEST(HistoryRollup, WriterRollsUpFinishedDaysBetweenBatches) {
    TempDir dir;
    FakeClock clock;
    const std::time_t today = clock.now() / kDay * kDay;
    clock.set(today - kDay);
    SqliteCheckHistory h("writer.db", 90, 1024LL << 20, clock);
    // Checks of yesterday and of today's first quarter hour, each recorded
    // when it was made.
    for (std::time_t t = today - kDay; t <= today + SqliteCheckHistory::kRollupGrace; t += kHour / 2) {
        clock.set(t == today ? t + SqliteCheckHistory::kRollupGrace : t);
        for (int site = 0; site < 300; ++site)
            h.recordCheck(check(t, site, "S", true, 50));
        ASSERT_TRUE(h.flush()); // the queue's bound is 10,000 records
    }
    std::vector<long long> rolled;
    for (int i = 0; i < 100 && (rolled.empty() || rolled[0] < 300); ++i) { // up to 5 s
        if (i > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        rolled = queryRow("writer.db", "SELECT (SELECT count(*) FROM daily), (SELECT count(*) FROM hourly)");
    }
    // Yesterday, of every site, and its hours; today is not over.
    EXPECT_EQ(rolled, (std::vector<long long>{300, 300 * 24}));
    const RangeFigures f = h.figures(url(299), "S", today - kDay, today - 1);
    EXPECT_EQ(f.checks, 48);
}
