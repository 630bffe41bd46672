// The check history at its intended size: 90 days of 200 sites checked every
// 5 minutes (5,184,000 checks), built once in a file in one transaction.
// Figures: the cost of recording one check (queued for the writer thread, and
// written in a transaction of its own), and loading a site's 30-day summary
// and its week of chart points. The database size is printed.
#include "history/SqliteCheckHistory.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <sys/stat.h>

using namespace vantrel;

namespace {

constexpr int kSites = 200;
constexpr int kDays = 90;
constexpr std::time_t kStep = 5 * 60;

std::string siteUrl(int i) {
    return "https://site-" + std::to_string(i) + ".example.test/status";
}
std::string siteTitle(int i) {
    return "Site " + std::to_string(i);
}

struct Fixture {
    test::TempDir dir;
    test::FakeClock clock;
    std::unique_ptr<SqliteCheckHistory> history;
    long long rows = 0;

    Fixture() {
        const std::time_t now = clock.now();
        history = std::make_unique<SqliteCheckHistory>("bench-history.db", kDays, 1024LL << 20, clock);
        const std::time_t first = now - kDays * 24 * 3600 + kStep;
        std::time_t t = first;
        int site = 0;
        unsigned seed = 12345;
        const auto start = std::chrono::steady_clock::now();
        history->writeAll([&](CheckRecord& c) {
            if (t > now)
                return false;
            seed = seed * 1103515245u + 12345u;
            c.time = t;
            c.url = siteUrl(site);
            c.title = siteTitle(site);
            // About one check in 200 fails, a few of them with missing text.
            const unsigned r = seed >> 16 & 0x3ff;
            c.outcome = r < 4   ? CheckRecord::kNotFetched
                        : r < 6 ? CheckRecord::kStringMissing
                                : CheckRecord::kGood;
            c.status = c.outcome == CheckRecord::kGood         ? "OK"
                       : c.outcome == CheckRecord::kNotFetched ? "404"
                                                               : "Bad - Test String text Not Found";
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
            ++rows;
            if (++site == kSites) {
                site = 0;
                t += kStep;
            }
            return true;
        });
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        struct stat st {};
        ::stat("bench-history.db", &st);
        std::printf("history database: %lld checks of %d sites over %d days, %.1f MiB, built in %.0f s\n",
                    rows, kSites, kDays, static_cast<double>(st.st_size) / (1 << 20), seconds);
        std::fflush(stdout);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_RecordCheckQueued(benchmark::State& state) {
    Fixture& f = fixture();
    CheckRecord c;
    c.url = siteUrl(kSites + 1); // not one of the sites the queries read
    c.title = siteTitle(kSites + 1);
    c.status = "OK";
    c.outcome = CheckRecord::kGood;
    c.totalMs = 120;
    long n = 0;
    for (auto _ : state) {
        c.time = f.clock.now();
        f.history->recordCheck(c);
        // Kept below the queue's bound, so that every record is queued and
        // none is dropped; the writer's work is not timed here.
        if (++n % 2000 == 0) {
            state.PauseTiming();
            f.history->flush(std::chrono::seconds(60));
            state.ResumeTiming();
        }
    }
    f.history->flush(std::chrono::seconds(60));
    if (f.history->droppedRecords() != 0)
        state.SkipWithError("records were dropped");
}

void BM_WriteOneCheck(benchmark::State& state) {
    Fixture& f = fixture();
    CheckRecord c;
    c.url = siteUrl(kSites + 2);
    c.title = siteTitle(kSites + 2);
    c.status = "OK";
    c.outcome = CheckRecord::kGood;
    c.totalMs = 120;
    for (auto _ : state) {
        c.time = f.clock.now();
        f.history->writeNow(c); // one transaction per check
    }
}

void BM_Summary30Days(benchmark::State& state) {
    Fixture& f = fixture();
    int site = 0;
    for (auto _ : state) {
        const SiteSummary s = f.history->summary(siteUrl(site), siteTitle(site), f.clock.now());
        benchmark::DoNotOptimize(s.uptime30d);
        if (s.checks30d < 8000)
            state.SkipWithError("summary saw too few checks");
        site = (site + 37) % kSites;
    }
}

void BM_SeriesWeek(benchmark::State& state) {
    Fixture& f = fixture();
    int site = 0;
    for (auto _ : state) {
        const auto points =
            f.history->series(siteUrl(site), siteTitle(site), f.clock.now() - 7 * 24 * 3600, f.clock.now());
        benchmark::DoNotOptimize(points.size());
        site = (site + 37) % kSites;
    }
}

} // namespace

BENCHMARK(BM_RecordCheckQueued)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteOneCheck)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Summary30Days)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeriesWeek)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
