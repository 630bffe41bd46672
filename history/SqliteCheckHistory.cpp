#include "history/SqliteCheckHistory.h"

#include "history/SqliteStatement.h"

#include "model/Clock.h"

#include <sqlite3.h>

#include <algorithm>

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

SqliteCheckHistory::SqliteCheckHistory(const std::string& path, const Clock& clock, ReadOnly)
    : clock_(clock), keepDays_(1), maxBytes_(1LL << 20), rollupDays_(1), readOnly_(true) {
    writing_ = false; // no writer, so nothing is ever queued
    std::lock_guard<std::mutex> lock(dbMutex_);
    openReadOnly(path);
}

SqliteCheckHistory::~SqliteCheckHistory() {
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (writer_.joinable())
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
    loadStretches();
    loadBounds();
    // The deletion of what is past the kept days is the writer's first
    // task, so that opening never waits for it.
}

void SqliteCheckHistory::openReadOnly(const std::string& path) {
    // Without SQLITE_OPEN_CREATE: a file that is not there stays so.
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr) !=
        SQLITE_OK) {
        fail(db_ ? sqlite3_errmsg(db_) : "cannot open " + path);
        sqlite3_close(db_);
        db_ = nullptr;
        return;
    }
    // A reader in WAL waits only while the writer resets the log; a wait
    // longer than this gives the query up rather than hold its thread.
    sqlite3_busy_timeout(db_, 1000);
}

void SqliteCheckHistory::interrupt() {
    // The connection is made in the constructor and closed in the
    // destructor only, so it may be read here without the lock a query holds.
    if (db_)
        sqlite3_interrupt(db_);
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
void SqliteCheckHistory::recordUnmonitored(std::time_t from, std::time_t to, const std::string& reason) {
    if (to > from)
        enqueue(UnmonitoredStretch{from, to, reason});
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
        loadStretches();
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

} // namespace vantrel
