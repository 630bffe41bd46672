#include "history/SqliteCheckHistory.h"

#include "history/CheckDetail.h"
#include "history/SqliteStatement.h"

#include "model/Clock.h"
#include "monitor/HistoryRollup.h"
#include "monitor/HistorySummary.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>

namespace vantrel {

namespace {

constexpr size_t kBatch = 512;

// The schema. Sites are kept by URL and title, since rows have no identifier
// of their own; verdicts (outcome, status, kind of reason) once each. A raw
// check is keyed by site and time (and a number for two checks of a site in
// the same second) without a row id, so the table is its own index: every
// query of a site reads one stretch of it. The measurements no query reads
// are one packed blob. Roll-ups are keyed the same way by hour or day.
const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS sites(id INTEGER PRIMARY KEY, url TEXT NOT NULL, title TEXT NOT NULL,"
    " UNIQUE(url, title))",
    "CREATE TABLE IF NOT EXISTS verdicts(id INTEGER PRIMARY KEY, outcome INTEGER NOT NULL, status TEXT NOT "
    "NULL,"
    " kind TEXT NOT NULL, UNIQUE(outcome, status, kind))",
    // The usual verdict is number 1, which a row stores in no bytes at all.
    "INSERT OR IGNORE INTO verdicts(id, outcome, status, kind) VALUES(1, 2, 'OK', 'none')",
    "CREATE TABLE IF NOT EXISTS raw(site INTEGER NOT NULL, time INTEGER NOT NULL, n INTEGER NOT NULL,"
    " verdict INTEGER NOT NULL, total_ms INTEGER, detail BLOB, reason TEXT, PRIMARY KEY(site, time, n))"
    " WITHOUT ROWID",
    "CREATE TABLE IF NOT EXISTS hourly(site INTEGER NOT NULL, hour INTEGER NOT NULL, checks INTEGER NOT NULL,"
    " failures INTEGER NOT NULL, slow INTEGER NOT NULL, timed INTEGER NOT NULL, min_ms INTEGER,"
    " mean_ms INTEGER, p95_ms INTEGER, PRIMARY KEY(site, hour)) WITHOUT ROWID",
    "CREATE TABLE IF NOT EXISTS daily(site INTEGER NOT NULL, day INTEGER NOT NULL, checks INTEGER NOT NULL,"
    " failures INTEGER NOT NULL, slow INTEGER NOT NULL, timed INTEGER NOT NULL, min_ms INTEGER,"
    " mean_ms INTEGER, p95_ms INTEGER, PRIMARY KEY(site, day)) WITHOUT ROWID",
    "CREATE TABLE IF NOT EXISTS bounds(name TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID",
    "CREATE TABLE IF NOT EXISTS alerts(id INTEGER PRIMARY KEY, site INTEGER NOT NULL, time INTEGER NOT NULL,"
    " channel TEXT NOT NULL, ok INTEGER NOT NULL, detail TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS alerts_by_time ON alerts(time)",
};

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

SqliteCheckHistory::SqliteCheckHistory(const std::string& path, int keepDays, long long maxBytes,
                                       const Clock& clock, int rollupDays)
    : clock_(clock), keepDays_(std::max(keepDays, 1)), maxBytes_(std::max(maxBytes, 1LL << 20)),
      rollupDays_(std::max(rollupDays, 1)) {
    {
        std::lock_guard<std::mutex> lock(dbMutex_);
        open(path);
    }
    writer_ = std::thread([this] { writerLoop(); });
}

SqliteCheckHistory::~SqliteCheckHistory() {
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    writer_.join();
    std::lock_guard<std::mutex> lock(dbMutex_);
    for (auto& [sql, s] : statements_)
        sqlite3_finalize(s);
    if (db_)
        sqlite3_close(db_);
}

void SqliteCheckHistory::open(const std::string& path) {
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        fail(db_ ? sqlite3_errmsg(db_) : "cannot open " + path);
        sqlite3_close(db_);
        db_ = nullptr;
        return;
    }
    // A lock held by another program is waited for briefly, then the batch
    // is given up rather than the pass held.
    sqlite3_busy_timeout(db_, 500);
    // Incremental vacuum must be chosen before the first table exists; it
    // lets the size cap give freed pages back to the file system.
    if (!exec("PRAGMA auto_vacuum=INCREMENTAL") || !exec("PRAGMA journal_mode=WAL") ||
        !exec("PRAGMA synchronous=NORMAL") || !exec("PRAGMA journal_size_limit=4194304"))
        return;
    for (const char* sql : kSchema)
        if (!exec(sql))
            return;
    legacy_ = queryInt("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'checks'", 0) > 0;
    loadVerdicts();
    loadBounds();
    // The deletion of what is past the kept days is the writer's first
    // task, so that opening never waits for it.
}

bool SqliteCheckHistory::exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        fail(error ? error : sqlite3_errmsg(db_));
        sqlite3_free(error);
        return false;
    }
    return true;
}

sqlite3_stmt* SqliteCheckHistory::prepare(const char* sql) {
    auto it = statements_.find(sql);
    if (it != statements_.end())
        return it->second;
    sqlite3_stmt* s = nullptr;
    if (!db_ || sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK) {
        fail(db_ ? sqlite3_errmsg(db_) : "no database");
        sqlite3_finalize(s);
        return nullptr;
    }
    statements_.emplace(sql, s);
    return s;
}

long long SqliteCheckHistory::queryInt(const char* sql, long long fallback) {
    sqlite3_stmt* s = prepare(sql);
    if (!s)
        return fallback;
    Reset r{s};
    return sqlite3_step(s) == SQLITE_ROW && sqlite3_column_type(s, 0) != SQLITE_NULL
               ? sqlite3_column_int64(s, 0)
               : fallback;
}

void SqliteCheckHistory::fail(const std::string& what) {
    std::lock_guard<std::mutex> lock(queueMutex_);
    available_ = false;
    problem_ = what;
}

void SqliteCheckHistory::succeed() {
    std::lock_guard<std::mutex> lock(queueMutex_);
    available_ = true;
    problem_.clear();
}

bool SqliteCheckHistory::available() const {
    std::lock_guard<std::mutex> lock(queueMutex_);
    return available_;
}

std::string SqliteCheckHistory::problem() const {
    std::lock_guard<std::mutex> lock(queueMutex_);
    return problem_;
}

long long SqliteCheckHistory::droppedRecords() const {
    std::lock_guard<std::mutex> lock(queueMutex_);
    return dropped_;
}

// ---- writing ----------------------------------------------------------------

void SqliteCheckHistory::recordCheck(const CheckRecord& record) {
    enqueue(record);
}
void SqliteCheckHistory::recordAlert(const AlertRecord& record) {
    enqueue(record);
}

void SqliteCheckHistory::enqueue(Item item) {
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        if (queue_.size() >= kMaxQueued) {
            ++dropped_;
            return;
        }
        queue_.push_back(std::move(item));
    }
    wake_.notify_one();
}

void SqliteCheckHistory::writerLoop() {
    {
        std::lock_guard<std::mutex> lock(dbMutex_);
        pruneLocked();
    }
    // Upkeep runs while nothing is queued, a step at a time; without work
    // the writer still looks once a minute whether a day has ended.
    bool upkeep = true;
    for (;;) {
        std::deque<Item> batch;
        {
            std::unique_lock<std::mutex> lock(queueMutex_);
            if (writing_) { // the first prune is done
                writing_ = false;
                idle_.notify_all();
            }
            if (!upkeep)
                wake_.wait_for(lock, std::chrono::minutes(1),
                               [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty() && stopping_)
                return;
            const size_t n = std::min(queue_.size(), kBatch);
            batch.assign(std::make_move_iterator(queue_.begin()),
                         std::make_move_iterator(queue_.begin() + static_cast<long>(n)));
            queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(n));
            writing_ = true;
        }
        {
            std::lock_guard<std::mutex> lock(dbMutex_);
            if (batch.empty()) {
                upkeep = db_ && upkeepStep();
            } else {
                writeBatch(batch);
                upkeep = true;
            }
        }
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            writing_ = false;
        }
        idle_.notify_all();
    }
}

void SqliteCheckHistory::writeBatch(std::deque<Item>& batch) {
    if (!db_ || batch.empty())
        return;
    if (!exec("BEGIN IMMEDIATE"))
        return;
    bool ok = true;
    for (const Item& item : batch)
        if (!(ok = insert(item)))
            break;
    if (!ok || !exec("COMMIT")) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        siteIds_.clear(); // ids made in the rolled back transaction are gone
        loadVerdicts();
        return;
    }
    succeed();
    if (overCap())
        enforceCap();
}

void SqliteCheckHistory::writeNow(const CheckRecord& record) {
    std::lock_guard<std::mutex> lock(dbMutex_);
    std::deque<Item> one{record};
    writeBatch(one);
}

void SqliteCheckHistory::writeAll(const std::function<bool(CheckRecord&)>& next) {
    std::lock_guard<std::mutex> lock(dbMutex_);
    if (!db_ || !exec("BEGIN IMMEDIATE"))
        return;
    CheckRecord record;
    while (next(record)) {
        if (!insert(record)) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            siteIds_.clear();
            loadVerdicts();
            return;
        }
    }
    if (exec("COMMIT"))
        succeed();
}

void SqliteCheckHistory::writeRollups(bool daily, const std::function<bool(RollupRow&)>& next) {
    std::lock_guard<std::mutex> lock(dbMutex_);
    sqlite3_stmt* s = prepare(daily ? "INSERT OR REPLACE INTO daily VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9)"
                                    : "INSERT OR REPLACE INTO hourly VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9)");
    if (!s || !exec("BEGIN IMMEDIATE"))
        return;
    RollupRow row;
    while (next(row)) {
        const long long site = siteId(row.url, row.title, true);
        if (site < 0 || !insertRollup(s, site, row.bucket, row.figures)) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            siteIds_.clear();
            return;
        }
    }
    if (exec("COMMIT"))
        succeed();
}

bool SqliteCheckHistory::insertRollup(sqlite3_stmt* s, long long site, long long bucket,
                                      const RangeFigures& f) {
    Reset r{s};
    sqlite3_bind_int64(s, 1, site);
    sqlite3_bind_int64(s, 2, bucket);
    sqlite3_bind_int64(s, 3, f.checks);
    sqlite3_bind_int64(s, 4, f.failures);
    sqlite3_bind_int64(s, 5, f.slow);
    sqlite3_bind_int64(s, 6, f.timed);
    bindKnown(s, 7, f.minMs);
    bindKnown(s, 8, f.averageMs < 0 ? -1 : std::llround(f.averageMs));
    bindKnown(s, 9, f.p95Ms < 0 ? -1 : std::llround(f.p95Ms));
    if (sqlite3_step(s) != SQLITE_DONE) {
        fail(sqlite3_errmsg(db_));
        return false;
    }
    return true;
}

long long SqliteCheckHistory::siteId(const std::string& url, const std::string& title, bool create) {
    const auto key = std::make_pair(url, title);
    if (auto it = siteIds_.find(key); it != siteIds_.end())
        return it->second;
    if (create) {
        sqlite3_stmt* add = prepare("INSERT OR IGNORE INTO sites(url, title) VALUES(?1, ?2)");
        if (!add)
            return -1;
        Reset r{add};
        bindText(add, 1, url);
        bindText(add, 2, title);
        if (sqlite3_step(add) != SQLITE_DONE) {
            fail(sqlite3_errmsg(db_));
            return -1;
        }
    }
    sqlite3_stmt* find = prepare("SELECT id FROM sites WHERE url = ?1 AND title = ?2");
    if (!find)
        return -1;
    Reset r{find};
    bindText(find, 1, url);
    bindText(find, 2, title);
    const int rc = sqlite3_step(find);
    if (rc == SQLITE_ROW) {
        const long long id = sqlite3_column_int64(find, 0);
        siteIds_[key] = id;
        return id;
    }
    if (rc != SQLITE_DONE)
        fail(sqlite3_errmsg(db_));
    return -1;
}

void SqliteCheckHistory::loadVerdicts() {
    verdicts_.assign(1, Verdict{});
    verdictIds_.clear();
    sqlite3_stmt* s = db_ ? prepare("SELECT id, outcome, status, kind FROM verdicts ORDER BY id") : nullptr;
    if (!s)
        return;
    Reset r{s};
    while (sqlite3_step(s) == SQLITE_ROW) {
        const long long id = sqlite3_column_int64(s, 0);
        if (id <= 0 || id > 1000000)
            continue;
        Verdict v{sqlite3_column_int(s, 1), columnText(s, 2), columnText(s, 3), false};
        v.slow = v.status == "Slow";
        if (static_cast<size_t>(id) >= verdicts_.size())
            verdicts_.resize(static_cast<size_t>(id) + 1);
        verdictIds_[{v.outcome, v.status, v.kind}] = id;
        verdicts_[static_cast<size_t>(id)] = std::move(v);
    }
}

const SqliteCheckHistory::Verdict& SqliteCheckHistory::verdict(long long id) const {
    static const Verdict unknown;
    return id > 0 && static_cast<size_t>(id) < verdicts_.size() ? verdicts_[static_cast<size_t>(id)]
                                                                : unknown;
}

long long SqliteCheckHistory::verdictId(const CheckRecord& c) {
    auto key = std::make_tuple(c.outcome, c.status, c.reasonKind);
    if (auto it = verdictIds_.find(key); it != verdictIds_.end())
        return it->second;
    sqlite3_stmt* add = prepare("INSERT INTO verdicts(outcome, status, kind) VALUES(?1, ?2, ?3)");
    if (!add)
        return -1;
    Reset r{add};
    sqlite3_bind_int(add, 1, c.outcome);
    bindText(add, 2, c.status);
    bindText(add, 3, c.reasonKind);
    if (sqlite3_step(add) != SQLITE_DONE) {
        fail(sqlite3_errmsg(db_));
        return -1;
    }
    const long long id = sqlite3_last_insert_rowid(db_);
    Verdict v{c.outcome, c.status, c.reasonKind, c.status == "Slow"};
    if (static_cast<size_t>(id) >= verdicts_.size())
        verdicts_.resize(static_cast<size_t>(id) + 1);
    verdicts_[static_cast<size_t>(id)] = std::move(v);
    verdictIds_.emplace(std::move(key), id);
    return id;
}

bool SqliteCheckHistory::insertRaw(long long site, const CheckRecord& c) {
    const long long verdict = verdictId(c);
    // Two checks of a site in one second take the next number.
    sqlite3_stmt* first =
        prepare("INSERT OR IGNORE INTO raw(site, time, n, verdict, total_ms, detail, reason)"
                " VALUES(?1, ?2, 0, ?3, ?4, ?5, ?6)");
    sqlite3_stmt* next = prepare("INSERT INTO raw(site, time, n, verdict, total_ms, detail, reason)"
                                 " VALUES(?1, ?2, (SELECT ifnull(max(n), 0) + 1 FROM raw WHERE site = ?1"
                                 " AND time = ?2), ?3, ?4, ?5, ?6)");
    if (verdict < 0 || !first || !next)
        return false;
    const std::string detail = CheckDetail::pack(c);
    for (sqlite3_stmt* s : {first, next}) {
        Reset r{s};
        sqlite3_bind_int64(s, 1, site);
        sqlite3_bind_int64(s, 2, static_cast<long long>(c.time));
        sqlite3_bind_int64(s, 3, verdict);
        bindKnown(s, 4, c.totalMs);
        sqlite3_bind_blob(s, 5, detail.data(), static_cast<int>(detail.size()), SQLITE_TRANSIENT);
        if (c.reason.empty())
            sqlite3_bind_null(s, 6);
        else
            bindText(s, 6, c.reason);
        if (sqlite3_step(s) != SQLITE_DONE) {
            fail(sqlite3_errmsg(db_));
            return false;
        }
        if (sqlite3_changes(db_) > 0)
            return true;
    }
    fail("a check could not be stored");
    return false;
}

bool SqliteCheckHistory::insert(const Item& item) {
    if (const auto* c = std::get_if<CheckRecord>(&item)) {
        const long long site = siteId(c->url, c->title, true);
        return site >= 0 && insertRaw(site, *c);
    }
    const auto& a = std::get<AlertRecord>(item);
    const long long site = siteId(a.url, a.title, true);
    sqlite3_stmt* s =
        site < 0 ? nullptr
                 : prepare("INSERT INTO alerts(site, time, channel, ok, detail) VALUES(?1,?2,?3,?4,?5)");
    if (!s)
        return false;
    Reset r{s};
    sqlite3_bind_int64(s, 1, site);
    sqlite3_bind_int64(s, 2, static_cast<long long>(a.time));
    bindText(s, 3, a.channel);
    sqlite3_bind_int(s, 4, a.ok ? 1 : 0);
    bindText(s, 5, a.detail);
    if (sqlite3_step(s) != SQLITE_DONE) {
        fail(sqlite3_errmsg(db_));
        return false;
    }
    return true;
}

// ---- queries ----------------------------------------------------------------

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
        sqlite3_bind_int64(s, 1, site);
        sqlite3_bind_int64(s, 2, static_cast<long long>(from));
        sqlite3_bind_int64(s, 3, static_cast<long long>(to));
        while (sqlite3_step(s) == SQLITE_ROW) {
            const Verdict& v = verdict(sqlite3_column_int64(s, 1));
            checks.push_back(
                {static_cast<std::time_t>(sqlite3_column_int64(s, 0)), v.outcome, v.slow, columnInt(s, 2)});
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
    sqlite3_bind_int64(old, 1, site);
    sqlite3_bind_int64(old, 2, static_cast<long long>(from));
    sqlite3_bind_int64(old, 3, static_cast<long long>(to));
    const size_t moved = checks.size();
    while (sqlite3_step(old) == SQLITE_ROW)
        checks.push_back({static_cast<std::time_t>(sqlite3_column_int64(old, 0)), sqlite3_column_int(old, 1),
                          columnText(old, 2) == "Slow", columnInt(old, 3)});
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
        sqlite3_bind_int64(s, 1, site);
        sqlite3_bind_int64(s, 2, first);
        sqlite3_bind_int64(s, 3, last);
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
    const long long site = db_ ? siteId(url, title, false) : -1;
    return site < 0 ? RangeFigures{} : figuresLocked(site, from, to);
}

SiteSummary SqliteCheckHistory::summary(const std::string& url, const std::string& title, std::time_t now,
                                        int incidentLimit) {
    // Short: the window asks while the writer may be busy.
    flush(std::chrono::milliseconds(200));
    std::lock_guard<std::mutex> lock(dbMutex_);
    const long long site = db_ ? siteId(url, title, false) : -1;
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
    std::vector<SeriesPoint> points;
    const long long site = db_ ? siteId(url, title, false) : -1;
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

bool SqliteCheckHistory::exportChecks(const std::string& url, const std::string& title,
                                      const std::function<void(const CheckRecord&)>& row) {
    flush();
    std::lock_guard<std::mutex> lock(dbMutex_);
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
