#include "history/SqliteCheckHistory.h"

#include "history/CheckDetail.h"
#include "history/SqliteStatement.h"

#include "monitor/HistoryRollup.h"
#include "monitor/HistorySummary.h"

#include <sqlite3.h>

#include <algorithm>

// What the window, the command line and the metrics read of the history.

namespace vantrel {

namespace {

using namespace sqlite;

constexpr std::time_t kHour = 60 * 60;
constexpr std::time_t kDay = 24 * kHour;

// The first bucket that starts at or after `t`, and the one `t` is in.
long long bucketFrom(std::time_t t, std::time_t size) {
    return t <= 0 ? 0 : (static_cast<long long>(t) + size - 1) / size;
}
long long bucketOf(std::time_t t, std::time_t size) {
    return t <= 0 ? 0 : static_cast<long long>(t) / size;
}

} // namespace

class SqliteCheckHistory::Snapshot {
public:
    // With the history's dbMutex_ held. The writer's own connection sees
    // its own state and needs none of this.
    explicit Snapshot(SqliteCheckHistory& h) : h_(h) {
        if (!h.readOnly_ || !h.db_ || !h.exec("BEGIN"))
            return;
        open_ = true;
        h.succeed();
        h.legacy_ =
            h.queryInt("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'checks'", 0) > 0;
        h.loadVerdicts();
        h.loadStretches();
        h.loadBounds();
    }
    ~Snapshot() {
        if (open_)
            sqlite3_exec(h_.db_, "COMMIT", nullptr, nullptr, nullptr);
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

private:
    SqliteCheckHistory& h_;
    bool open_ = false;
};

bool SqliteCheckHistory::flush(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(queueMutex_);
    return idle_.wait_for(lock, limit, [this] { return queue_.empty() && !writing_; });
}

std::vector<SqliteCheckHistory::RawCheck> SqliteCheckHistory::rawChecks(long long site, std::time_t from,
                                                                        std::time_t to) {
    std::vector<RawCheck> checks;
    sqlite3_stmt* s = prepare("SELECT time, verdict, total_ms FROM raw"
                              " WHERE site = ?1 AND time >= ?2 AND time <= ?3 ORDER BY time, n");
    if (!s)
        return checks;
    {
        Reset r{s};
        bindRange(s, site, from, to);
        while (sqlite3_step(s) == SQLITE_ROW) {
            const auto time = static_cast<std::time_t>(sqlite3_column_int64(s, 0));
            if (unmonitoredAt(time))
                continue;
            const Verdict& v = verdict(sqlite3_column_int64(s, 1));
            checks.push_back({time, v.outcome, v.slow, columnInt(s, 2)});
        }
    }
    if (!legacy_)
        return checks;
    // Rows of the earlier layout not moved over yet, merged in by time.
    sqlite3_stmt* old = prepare("SELECT time, outcome, status, total_ms FROM checks"
                                " WHERE site = ?1 AND time >= ?2 AND time <= ?3 ORDER BY time, id");
    if (!old)
        return checks;
    Reset r{old};
    bindRange(old, site, from, to);
    const size_t moved = checks.size();
    while (sqlite3_step(old) == SQLITE_ROW) {
        const auto time = static_cast<std::time_t>(sqlite3_column_int64(old, 0));
        if (!unmonitoredAt(time))
            checks.push_back(
                {time, sqlite3_column_int(old, 1), columnText(old, 2) == "Slow", columnInt(old, 3)});
    }
    std::inplace_merge(checks.begin(), checks.begin() + static_cast<long>(moved), checks.end(),
                       [](const RawCheck& a, const RawCheck& b) { return a.time < b.time; });
    return checks;
}

std::string SqliteCheckHistory::statusAt(long long site, std::time_t time) {
    sqlite3_stmt* s = prepare("SELECT verdict FROM raw WHERE site = ?1 AND time = ?2 ORDER BY n");
    if (s) {
        Reset r{s};
        sqlite3_bind_int64(s, 1, site);
        sqlite3_bind_int64(s, 2, static_cast<long long>(time));
        while (sqlite3_step(s) == SQLITE_ROW) {
            const Verdict& v = verdict(sqlite3_column_int64(s, 0));
            if (v.outcome != CheckRecord::kGood)
                return v.status;
        }
    }
    sqlite3_stmt* old = legacy_ ? prepare("SELECT status FROM checks WHERE site = ?1 AND time = ?2"
                                          " AND outcome <> 2 LIMIT 1")
                                : nullptr;
    if (!old)
        return {};
    Reset r{old};
    sqlite3_bind_int64(old, 1, site);
    sqlite3_bind_int64(old, 2, static_cast<long long>(time));
    return sqlite3_step(old) == SQLITE_ROW ? columnText(old, 0) : std::string();
}

void SqliteCheckHistory::forRollups(long long site, std::time_t from, std::time_t end,
                                    const std::function<void(std::time_t, const RangeFigures&)>& bucket) {
    auto read = [&](const char* sql, long long first, long long last, std::time_t size) {
        sqlite3_stmt* s = first < last ? prepare(sql) : nullptr;
        if (!s)
            return;
        Reset r{s};
        bindRange(s, site, first, last);
        while (sqlite3_step(s) == SQLITE_ROW) {
            RangeFigures f;
            f.checks = sqlite3_column_int64(s, 1);
            f.failures = sqlite3_column_int64(s, 2);
            f.slow = sqlite3_column_int64(s, 3);
            f.timed = sqlite3_column_int64(s, 4);
            f.minMs = columnInt(s, 5);
            f.averageMs = columnInt(s, 6);
            f.p95Ms = columnInt(s, 7);
            bucket(static_cast<std::time_t>(sqlite3_column_int64(s, 0) * size), f);
        }
    };
    // Days before the hourly rows begin, then hours up to the raw checks.
    const std::time_t dailyEnd = std::min(end, bounds_.hourlyFrom);
    read("SELECT day, checks, failures, slow, timed, min_ms, mean_ms, p95_ms FROM daily"
         " WHERE site = ?1 AND day >= ?2 AND day < ?3 ORDER BY day",
         bucketFrom(from, kDay), bucketOf(dailyEnd, kDay), kDay);
    read("SELECT hour, checks, failures, slow, timed, min_ms, mean_ms, p95_ms FROM hourly"
         " WHERE site = ?1 AND hour >= ?2 AND hour < ?3 ORDER BY hour",
         bucketFrom(std::max(from, bounds_.hourlyFrom), kHour), bucketOf(end, kHour), kHour);
}

RangeFigures SqliteCheckHistory::figuresLocked(long long site, std::time_t from, std::time_t to) {
    HistoryRollup sum;
    if (from < bounds_.rawFrom)
        forRollups(site, from, std::min(to + 1, bounds_.rawFrom),
                   [&sum](std::time_t, const RangeFigures& f) { sum.addRollup(f); });
    for (const RawCheck& c : rawChecks(site, std::max(from, bounds_.rawFrom), to))
        sum.addCheck(c.outcome != CheckRecord::kGood, c.slow,
                     c.outcome != CheckRecord::kNotFetched ? c.totalMs : -1);
    return sum.figures();
}

RangeFigures SqliteCheckHistory::figures(const std::string& url, const std::string& title, std::time_t from,
                                         std::time_t to) {
    flush(std::chrono::milliseconds(200));
    std::lock_guard<std::mutex> lock(dbMutex_);
    const Snapshot snapshot(*this);
    const long long site = knownSite(url, title);
    return site < 0 ? RangeFigures{} : figuresLocked(site, from, to);
}

SiteSummary SqliteCheckHistory::summary(const std::string& url, const std::string& title, std::time_t now,
                                        int incidentLimit) {
    // Short: the window asks while the writer may be busy.
    flush(std::chrono::milliseconds(200));
    std::lock_guard<std::mutex> lock(dbMutex_);
    const Snapshot snapshot(*this);
    const long long site = knownSite(url, title);
    if (site < 0)
        return {};
    std::vector<HistorySummary::Check> checks;
    checks.reserve(9000);
    for (const RawCheck& c : rawChecks(site, now - HistorySummary::kSpan, now))
        checks.push_back({c.time, c.outcome, c.totalMs, {}});
    SiteSummary summary = HistorySummary::build(checks, now, incidentLimit);
    // The status of each incident's first check, from the table itself.
    for (Incident& i : summary.incidents)
        i.status = statusAt(site, i.start);
    // A window that reaches past the kept checks takes the roll-ups in.
    if (bounds_.rawFrom > now - HistorySummary::kSpan) {
        const std::pair<std::time_t, double*> windows[] = {{HistorySummary::kDay, &summary.uptime24h},
                                                           {7 * HistorySummary::kDay, &summary.uptime7d},
                                                           {HistorySummary::kSpan, &summary.uptime30d}};
        for (const auto& [span, uptime] : windows)
            if (bounds_.rawFrom > now - span)
                *uptime = figuresLocked(site, now - span, now).uptime();
        const RangeFigures month = figuresLocked(site, now - HistorySummary::kSpan, now);
        summary.checks30d = static_cast<int>(month.checks);
        summary.averageMs = month.averageMs;
        summary.p95Ms = month.p95Ms;
    }
    return summary;
}

std::vector<SeriesPoint> SqliteCheckHistory::series(const std::string& url, const std::string& title,
                                                    std::time_t from, std::time_t to) {
    flush(std::chrono::milliseconds(200));
    std::lock_guard<std::mutex> lock(dbMutex_);
    const Snapshot snapshot(*this);
    std::vector<SeriesPoint> points;
    const long long site = knownSite(url, title);
    if (site < 0)
        return points;
    if (from < bounds_.rawFrom)
        forRollups(site, from, std::min(to + 1, bounds_.rawFrom),
                   [&points](std::time_t t, const RangeFigures& f) {
                       points.push_back({t, f.timed > 0 ? static_cast<int>(f.averageMs) : -1, f.failures > 0,
                                         static_cast<int>(f.checks), static_cast<int>(f.failures)});
                   });
    for (const RawCheck& c : rawChecks(site, std::max(from, bounds_.rawFrom), to)) {
        const bool failed = c.outcome != CheckRecord::kGood;
        points.push_back({c.time, c.totalMs, failed, 1, failed ? 1 : 0});
    }
    return points;
}

std::vector<UnmonitoredStretch> SqliteCheckHistory::unmonitored(std::time_t from, std::time_t to) {
    flush(std::chrono::milliseconds(200));
    std::lock_guard<std::mutex> lock(dbMutex_);
    const Snapshot snapshot(*this);
    std::vector<UnmonitoredStretch> overlapping;
    for (const UnmonitoredStretch& g : stretches_)
        if (g.from <= to && g.to >= from)
            overlapping.push_back(g);
    return overlapping;
}

bool SqliteCheckHistory::exportChecks(const std::string& url, const std::string& title,
                                      const std::function<void(const CheckRecord&)>& row) {
    flush();
    std::lock_guard<std::mutex> lock(dbMutex_);
    const Snapshot snapshot(*this);
    if (!db_)
        return false;
    const bool all = url.empty() && title.empty();
    long long site = -1;
    if (!all && (site = siteId(url, title, false)) < 0)
        return true; // a site never checked has no rows
    // One site's rows are in key order already; every site's are sorted by
    // time, site and number.
    sqlite3_stmt* s =
        prepare(all ? "SELECT r.time, s.url, s.title, r.verdict, r.total_ms, r.detail, r.reason"
                      " FROM raw r JOIN sites s ON s.id = r.site ORDER BY r.time, r.site, r.n"
                    : "SELECT r.time, s.url, s.title, r.verdict, r.total_ms, r.detail, r.reason"
                      " FROM raw r JOIN sites s ON s.id = r.site WHERE r.site = ?1 ORDER BY r.time, r.n");
    if (!s)
        return false;
    // While rows of the earlier layout remain, both are gathered and merged.
    std::vector<CheckRecord> gathered;
    auto emit = [&](CheckRecord&& c) {
        if (legacy_)
            gathered.push_back(std::move(c));
        else
            row(c);
    };
    int rc;
    {
        Reset r{s};
        if (!all)
            sqlite3_bind_int64(s, 1, site);
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            CheckRecord c;
            c.time = static_cast<std::time_t>(sqlite3_column_int64(s, 0));
            c.url = columnText(s, 1);
            c.title = columnText(s, 2);
            const Verdict& v = verdict(sqlite3_column_int64(s, 3));
            c.outcome = v.outcome;
            c.status = v.status;
            c.reasonKind = v.kind.empty() ? "none" : v.kind;
            c.totalMs = columnInt(s, 4);
            CheckDetail::unpack(sqlite3_column_blob(s, 5), sqlite3_column_bytes(s, 5), c);
            c.reason = columnText(s, 6);
            emit(std::move(c));
        }
    }
    if (rc == SQLITE_DONE && legacy_) {
        sqlite3_stmt* old = prepare(
            "SELECT c.time, s.url, s.title, c.outcome, c.status, c.http_status, c.total_ms, c.lookup_ms,"
            " c.connect_ms, c.tls_ms, c.first_byte_ms, c.bytes, c.error_number, c.cert_days"
            " FROM checks c JOIN sites s ON s.id = c.site WHERE ?1 < 0 OR c.site = ?1 ORDER BY c.id");
        if (!old)
            return false;
        Reset r{old};
        sqlite3_bind_int64(old, 1, site);
        while ((rc = sqlite3_step(old)) == SQLITE_ROW)
            gathered.push_back(legacyRecord(old));
        std::stable_sort(gathered.begin(), gathered.end(),
                         [](const CheckRecord& a, const CheckRecord& b) { return a.time < b.time; });
        for (const CheckRecord& c : gathered)
            row(c);
    }
    if (rc != SQLITE_DONE) {
        fail(sqlite3_errmsg(db_));
        return false;
    }
    return true;
}

// A row of the earlier layout: time, url, title, outcome, status, then the
// measurements in their own columns.
CheckRecord SqliteCheckHistory::legacyRecord(sqlite3_stmt* s) {
    CheckRecord c;
    c.time = static_cast<std::time_t>(sqlite3_column_int64(s, 0));
    c.url = columnText(s, 1);
    c.title = columnText(s, 2);
    c.outcome = sqlite3_column_int(s, 3);
    c.status = columnText(s, 4);
    c.httpStatus = columnInt(s, 5);
    c.totalMs = columnInt(s, 6);
    c.nameLookupMs = columnInt(s, 7);
    c.connectMs = columnInt(s, 8);
    c.tlsMs = columnInt(s, 9);
    c.firstByteMs = columnInt(s, 10);
    c.bytesReceived = sqlite3_column_type(s, 11) == SQLITE_NULL ? -1 : sqlite3_column_int64(s, 11);
    c.errorNumber = columnInt(s, 12);
    c.certDaysLeft = columnInt(s, 13);
    return c;
}

} // namespace vantrel
