// The check history at the size of a year: 10,000 sites checked every 5
// minutes. Raw checks of the last three whole days and today are written as
// a run writes them; the hourly roll-ups of the 27 days before and the daily
// ones of two years before that are written directly (generating the year of
// raw checks, 105 million, would take hours). The roll-up of the three raw
// days is then done and timed, which gives its CPU per day of data.
//
// Printed side by side: the file size against the 1 GiB default cap, bytes
// per raw check in the earlier layout (one wide table and its index, built
// from the same checks of 1,000 sites for a day) and now, and the roll-up
// CPU. Timed by Google Benchmark: a site's 30-day and 365-day views (its
// figures and its chart's points), and its summary.
#include "history/SqliteCheckHistory.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace vantrel;

namespace {

// VANTREL_BENCH_SITES sets fewer sites for a quick look.
const int kSites =
    std::getenv("VANTREL_BENCH_SITES") ? std::max(100, std::atoi(std::getenv("VANTREL_BENCH_SITES"))) : 10000;
constexpr std::time_t kStep = 5 * 60;
constexpr std::time_t kHour = 3600;
constexpr std::time_t kDay = 24 * kHour;
constexpr int kRawDays = 3;
constexpr int kHourlyDays = SqliteCheckHistory::kHourlyDays;
constexpr int kDailyDays = SqliteCheckHistory::kDefaultRollupDays;

std::string siteUrl(int i) {
    return "https://site-" + std::to_string(i) + ".example.test/status";
}
std::string siteTitle(int i) {
    return "Site " + std::to_string(i);
}

// One synthetic check: about one in 200 fails, a few with missing text.
void synthetic(CheckRecord& c, unsigned& seed) {
    seed = seed * 1103515245u + 12345u;
    const unsigned r = seed >> 16 & 0x3ff;
    c.outcome = r < 4 ? CheckRecord::kNotFetched : r < 6 ? CheckRecord::kStringMissing : CheckRecord::kGood;
    c.status = c.outcome == CheckRecord::kGood         ? "OK"
               : c.outcome == CheckRecord::kNotFetched ? "404"
                                                       : "Bad - Test String text Not Found";
    c.reasonKind = c.outcome == CheckRecord::kGood ? "none" : "http_status";
    c.reason = c.outcome == CheckRecord::kNotFetched ? "connection refused" : "";
    const bool fetched = c.outcome != CheckRecord::kNotFetched;
    c.httpStatus = fetched ? 200 : -1;
    c.totalMs = fetched ? 40 + static_cast<int>(seed >> 8 & 0x1ff) : -1;
    c.nameLookupMs = fetched ? 2 : -1;
    c.connectMs = fetched ? 10 : -1;
    c.tlsMs = fetched ? 25 : -1;
    c.firstByteMs = fetched ? c.totalMs - 5 : -1;
    c.bytesReceived = fetched ? 5000 + (seed & 0xfff) : 0;
    c.errorNumber = fetched ? 0 : 12029;
    c.certDaysLeft = 60;
}

long long fileSize(const char* name) {
    struct stat st {};
    return ::stat(name, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// Bytes the named tables and indexes take, and the rows of `table`, read
// from SQLite's own page statistics.
double bytesPerRow(const char* file, const char* names, const char* table) {
    sqlite3* db = nullptr;
    sqlite3_open(file, &db);
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    const std::string sql = std::string("SELECT (SELECT sum(pgsize) FROM dbstat WHERE name IN (") + names +
                            ")), (SELECT count(*) FROM " + table + ")";
    sqlite3_stmt* s = nullptr;
    double result = -1;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW &&
        sqlite3_column_int64(s, 1) > 0)
        result =
            static_cast<double>(sqlite3_column_int64(s, 0)) / static_cast<double>(sqlite3_column_int64(s, 1));
    sqlite3_finalize(s);
    sqlite3_close(db);
    return result;
}

// CPU of the whole process, the history's writer thread included.
double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The same day of 1,000 sites in the earlier layout and in this one.
void compareLayouts(std::time_t day) {
    constexpr int kSlice = 1000;
    {
        sqlite3* db = nullptr;
        sqlite3_open("earlier.db", &db);
        sqlite3_exec(
            db,
            "PRAGMA auto_vacuum=INCREMENTAL; PRAGMA journal_mode=WAL;"
            "CREATE TABLE checks(id INTEGER PRIMARY KEY, site INTEGER NOT NULL, time INTEGER NOT NULL,"
            " outcome INTEGER NOT NULL, status TEXT NOT NULL, http_status INTEGER, total_ms INTEGER,"
            " lookup_ms INTEGER, connect_ms INTEGER, tls_ms INTEGER, first_byte_ms INTEGER, bytes INTEGER,"
            " error_number INTEGER, cert_days INTEGER);"
            "CREATE INDEX checks_by_site ON checks(site, time, outcome, total_ms); BEGIN",
            nullptr, nullptr, nullptr);
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO checks VALUES(NULL,?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13)",
                           -1, &s, nullptr);
        unsigned seed = 12345;
        CheckRecord c;
        for (std::time_t t = day; t < day + kDay; t += kStep) {
            for (int site = 1; site <= kSlice; ++site) {
                synthetic(c, seed);
                const long long values[] = {site,
                                            t,
                                            c.outcome,
                                            0,
                                            c.httpStatus,
                                            c.totalMs,
                                            c.nameLookupMs,
                                            c.connectMs,
                                            c.tlsMs,
                                            c.firstByteMs,
                                            c.bytesReceived,
                                            c.errorNumber,
                                            c.certDaysLeft};
                for (int i = 0; i < 13; ++i) {
                    if (i == 3)
                        sqlite3_bind_text(s, 4, c.status.c_str(), -1, SQLITE_TRANSIENT);
                    else if (values[i] < 0)
                        sqlite3_bind_null(s, i + 1);
                    else
                        sqlite3_bind_int64(s, i + 1, values[i]);
                }
                sqlite3_step(s);
                sqlite3_reset(s);
            }
        }
        sqlite3_finalize(s);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    {
        test::FakeClock clock(day + kDay);
        SqliteCheckHistory h("now.db", 3650, 1LL << 40, clock);
        unsigned seed = 12345;
        std::time_t t = day;
        int site = 1;
        h.writeAll([&](CheckRecord& c) {
            if (t >= day + kDay)
                return false;
            synthetic(c, seed);
            c.time = t;
            c.url = siteUrl(site);
            c.title = siteTitle(site);
            if (++site > kSlice) {
                site = 1;
                t += kStep;
            }
            return true;
        });
    }
    std::printf("bytes per raw check, 1,000 sites for a day: earlier layout %.1f (table %.1f + index %.1f),"
                " now %.1f\n",
                bytesPerRow("earlier.db", "'checks','checks_by_site'", "checks"),
                bytesPerRow("earlier.db", "'checks'", "checks"),
                bytesPerRow("earlier.db", "'checks_by_site'", "checks"),
                bytesPerRow("now.db", "'raw'", "raw"));
}

struct Fixture {
    test::TempDir dir;
    test::FakeClock clock; // 00:43 UTC
    std::unique_ptr<SqliteCheckHistory> history;

    Fixture() {
        const std::time_t now = clock.now();
        const long long today = now / kDay;
        compareLayouts((today - 1) * kDay);
        // While the checks are written the clock stands at the start of
        // their first day, so that no day is finished and none rolled up.
        clock.set((today - kRawDays) * kDay);
        history = std::make_unique<SqliteCheckHistory>("year.db", kRawDays, 1024LL << 20, clock);
        const auto start = std::chrono::steady_clock::now();

        // Daily rows, then hourly rows, day after day as the roll-up makes them.
        auto rollups = [&](bool daily, long long firstDay, long long endDay) {
            unsigned seed = 777;
            long long bucket = daily ? firstDay : firstDay * 24;
            const long long end = daily ? endDay : endDay * 24;
            int site = 0;
            history->writeRollups(daily, [&](SqliteCheckHistory::RollupRow& row) {
                if (bucket >= end)
                    return false;
                seed = seed * 1103515245u + 12345u;
                const long long checks = daily ? 288 : 12;
                row.url = siteUrl(site);
                row.title = siteTitle(site);
                row.bucket = bucket;
                row.figures.checks = checks;
                row.figures.failures = (seed >> 16 & 0xff) < 3 ? 1 + (seed & 3) : 0;
                row.figures.slow = 0;
                row.figures.timed = checks - row.figures.failures;
                row.figures.minMs = 40 + static_cast<int>(seed >> 8 & 0x1f);
                row.figures.averageMs = 290 + static_cast<int>(seed >> 4 & 0x1f);
                row.figures.p95Ms = 520 + static_cast<int>(seed >> 12 & 0x1f);
                if (++site == kSites) {
                    site = 0;
                    ++bucket;
                }
                return true;
            });
        };
        rollups(true, today - kDailyDays, today - kRawDays);
        rollups(false, today - kHourlyDays, today - kRawDays);
        const double rollupSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        // Raw checks of the last days and today, a day a transaction.
        long long rows = 0;
        unsigned seed = 12345;
        for (long long day = today - kRawDays; day <= today; ++day) {
            std::time_t t = day * kDay;
            const std::time_t end = std::min<std::time_t>((day + 1) * kDay, now + 1);
            int site = 0;
            history->writeAll([&](CheckRecord& c) {
                if (t >= end)
                    return false;
                synthetic(c, seed);
                c.time = t;
                c.url = siteUrl(site);
                c.title = siteTitle(site);
                ++rows;
                if (++site == kSites) {
                    site = 0;
                    t += kStep;
                }
                return true;
            });
        }
        const double loadSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() - rollupSeconds;

        // The roll-up of the raw days once they are over (with the day's
        // upkeep), as the writer does it between batches.
        history->flush();
        const double cpu = cpuSeconds();
        const auto rollStart = std::chrono::steady_clock::now();
        clock.set(now);
        history->catchUp();
        const double rollCpu = cpuSeconds() - cpu;
        const double rollWall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - rollStart).count();
        history->flush();
        const double perRaw = bytesPerRow("year.db", "'raw'", "raw");
        const double perHourly = bytesPerRow("year.db", "'hourly'", "hourly");
        const double perDaily = bytesPerRow("year.db", "'daily'", "daily");
        const long long size = fileSize("year.db");
        std::printf(
            "history of %d sites every 5 minutes: %lld raw checks (%d days and today), %lld hourly and"
            " %lld daily rows; written in %.0f s (roll-ups) + %.0f s (checks)\n",
            kSites, rows, kRawDays, static_cast<long long>(kSites) * (kHourlyDays - kRawDays) * 24,
            static_cast<long long>(kSites) * (kDailyDays - kRawDays), rollupSeconds, loadSeconds);
        std::printf(
            "file size %.1f MiB = %.2f of the 1 GiB default cap; bytes per row: raw %.1f, hourly %.1f,"
            " daily %.1f\n",
            static_cast<double>(size) / (1 << 20), static_cast<double>(size) / (1LL << 30), perRaw, perHourly,
            perDaily);
        std::printf(
            "roll-up of %d days of raw checks: %.2f s CPU (%.2f s wall), %.2f s CPU per day of data\n",
            kRawDays, rollCpu, rollWall, rollCpu / kRawDays);
        std::fflush(stdout);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void view(benchmark::State& state, std::time_t span) {
    Fixture& f = fixture();
    int site = 0;
    const std::time_t now = f.clock.now();
    for (auto _ : state) {
        const RangeFigures figures = f.history->figures(siteUrl(site), siteTitle(site), now - span, now);
        const auto points = f.history->series(siteUrl(site), siteTitle(site), now - span, now);
        benchmark::DoNotOptimize(points.size());
        if (figures.checks < span / kStep * 9 / 10)
            state.SkipWithError("the view saw too few checks");
        site = (site + 37) % kSites;
    }
}

void BM_View30Days(benchmark::State& state) {
    view(state, 30 * kDay);
}

void BM_View365Days(benchmark::State& state) {
    view(state, 365 * kDay);
}

void BM_Summary(benchmark::State& state) {
    Fixture& f = fixture();
    int site = 0;
    for (auto _ : state) {
        const SiteSummary s = f.history->summary(siteUrl(site), siteTitle(site), f.clock.now());
        benchmark::DoNotOptimize(s.uptime30d);
        site = (site + 37) % kSites;
    }
}

} // namespace

BENCHMARK(BM_View30Days)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_View365Days)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Summary)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
