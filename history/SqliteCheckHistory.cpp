#include "history/SqliteCheckHistory.h"

#include "model/Clock.h"
#include "monitor/HistorySummary.h"

#include <sqlite3.h>

#include <algorithm>

namespace vantrel {

namespace {

constexpr size_t kBatch = 512;

// The schema. Sites are kept by URL and title, since rows have no identifier
// of their own. One index serves every query of a site: the summary reads
// time, outcome and response time from the index alone.
const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS sites(id INTEGER PRIMARY KEY, url TEXT NOT NULL, title TEXT NOT NULL,"
    " UNIQUE(url, title))",
    "CREATE TABLE IF NOT EXISTS checks(id INTEGER PRIMARY KEY, site INTEGER NOT NULL, time INTEGER NOT NULL,"
    " outcome INTEGER NOT NULL, status TEXT NOT NULL, http_status INTEGER, total_ms INTEGER,"
    " lookup_ms INTEGER, connect_ms INTEGER, tls_ms INTEGER, first_byte_ms INTEGER, bytes INTEGER,"
    " error_number INTEGER, cert_days INTEGER)",
    "CREATE INDEX IF NOT EXISTS checks_by_site ON checks(site, time, outcome, total_ms)",
    "CREATE TABLE IF NOT EXISTS alerts(id INTEGER PRIMARY KEY, site INTEGER NOT NULL, time INTEGER NOT NULL,"
    " channel TEXT NOT NULL, ok INTEGER NOT NULL, detail TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS alerts_by_time ON alerts(time)",
};

void bindText(sqlite3_stmt* s, int i, const std::string& text) {
    sqlite3_bind_text(s, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// -1 (not reported) is kept as NULL.
void bindKnown(sqlite3_stmt* s, int i, long long value) {
    if (value < 0)
        sqlite3_bind_null(s, i);
    else
        sqlite3_bind_int64(s, i, value);
}

int columnInt(sqlite3_stmt* s, int i) {
    return sqlite3_column_type(s, i) == SQLITE_NULL ? -1 : sqlite3_column_int(s, i);
}

std::string columnText(sqlite3_stmt* s, int i) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(s, i))) : std::string();
}

// Resets a prepared statement when the scope ends, whatever happened.
struct Reset {
    sqlite3_stmt* s;
    ~Reset() {
        if (s) {
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
        }
    }
};

} // namespace

SqliteCheckHistory::SqliteCheckHistory(const std::string& path, int keepDays, long long maxBytes,
                                       const Clock& clock)
    : clock_(clock), keepDays_(std::max(keepDays, 1)), maxBytes_(std::max(maxBytes, 1LL << 20)) {
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
    pruneLocked();
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
    for (;;) {
        std::deque<Item> batch;
        {
            std::unique_lock<std::mutex> lock(queueMutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
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
            writeBatch(batch);
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
        return;
    }
    succeed();
    const std::time_t now = clock_.now();
    if (now - lastPrune_ >= kPruneEvery || now < lastPrune_)
        pruneLocked();
    else
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
            return;
        }
    }
    if (exec("COMMIT"))
        succeed();
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

bool SqliteCheckHistory::insert(const Item& item) {
    if (const auto* c = std::get_if<CheckRecord>(&item)) {
        const long long site = siteId(c->url, c->title, true);
        sqlite3_stmt* s =
            site < 0 ? nullptr
                     : prepare("INSERT INTO checks(site, time, outcome, status, http_status, total_ms,"
                               " lookup_ms, connect_ms, tls_ms, first_byte_ms, bytes, error_number,"
                               " cert_days) VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13)");
        if (!s)
            return false;
        Reset r{s};
        sqlite3_bind_int64(s, 1, site);
        sqlite3_bind_int64(s, 2, static_cast<long long>(c->time));
        sqlite3_bind_int(s, 3, c->outcome);
        bindText(s, 4, c->status);
        bindKnown(s, 5, c->httpStatus);
        bindKnown(s, 6, c->totalMs);
        bindKnown(s, 7, c->nameLookupMs);
        bindKnown(s, 8, c->connectMs);
        bindKnown(s, 9, c->tlsMs);
        bindKnown(s, 10, c->firstByteMs);
        bindKnown(s, 11, c->bytesReceived);
        sqlite3_bind_int(s, 12, c->errorNumber);
        bindKnown(s, 13, c->certDaysLeft);
        if (sqlite3_step(s) != SQLITE_DONE) {
            fail(sqlite3_errmsg(db_));
            return false;
        }
        return true;
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

// ---- bounds -----------------------------------------------------------------

void SqliteCheckHistory::prune() {
    flush();
    std::lock_guard<std::mutex> lock(dbMutex_);
    pruneLocked();
}

void SqliteCheckHistory::pruneLocked() {
    if (!db_)
        return;
    lastPrune_ = clock_.now();
    const long long cutoff = static_cast<long long>(lastPrune_) - static_cast<long long>(keepDays_) * 86400;
    // Site by site, so that each delete walks the index of one site.
    sqlite3_stmt* sites = prepare("SELECT id FROM sites");
    sqlite3_stmt* del = prepare("DELETE FROM checks WHERE site = ?1 AND time < ?2");
    sqlite3_stmt* delAlerts = prepare("DELETE FROM alerts WHERE time < ?1");
    if (!sites || !del || !delAlerts)
        return;
    std::vector<long long> ids;
    {
        Reset r{sites};
        while (sqlite3_step(sites) == SQLITE_ROW)
            ids.push_back(sqlite3_column_int64(sites, 0));
    }
    if (!exec("BEGIN IMMEDIATE"))
        return;
    for (long long id : ids) {
        Reset r{del};
        sqlite3_bind_int64(del, 1, id);
        sqlite3_bind_int64(del, 2, cutoff);
        sqlite3_step(del);
    }
    {
        Reset r{delAlerts};
        sqlite3_bind_int64(delAlerts, 1, cutoff);
        sqlite3_step(delAlerts);
    }
    if (!exec("COMMIT")) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return;
    }
    enforceCap();
    exec("PRAGMA incremental_vacuum");
}

void SqliteCheckHistory::enforceCap() {
    auto pragma = [this](const char* sql) -> long long {
        sqlite3_stmt* s = prepare(sql);
        if (!s)
            return -1;
        Reset r{s};
        return sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    };
    // The oldest tenth of the checks and alerts goes until the pages in use
    // fit the cap again; freed pages go back to the file.
    for (int round = 0; round < 10; ++round) {
        const long long pages = pragma("PRAGMA page_count");
        const long long freePages = pragma("PRAGMA freelist_count");
        const long long pageSize = pragma("PRAGMA page_size");
        if (pages < 0 || freePages < 0 || pageSize < 0 || (pages - freePages) * pageSize <= maxBytes_)
            break;
        const long long lo = pragma("SELECT ifnull(min(id), 0) FROM checks");
        const long long hi = pragma("SELECT ifnull(max(id), 0) FROM checks");
        const long long alertLo = pragma("SELECT ifnull(min(id), 0) FROM alerts");
        const long long alertHi = pragma("SELECT ifnull(max(id), 0) FROM alerts");
        if (hi <= lo && alertHi <= alertLo)
            break;
        sqlite3_stmt* del = prepare("DELETE FROM checks WHERE id < ?1");
        sqlite3_stmt* delAlerts = prepare("DELETE FROM alerts WHERE id < ?1");
        if (!del || !delAlerts)
            break;
        {
            Reset r{del};
            sqlite3_bind_int64(del, 1, lo + std::max(1LL, (hi - lo + 1) / 10));
            sqlite3_step(del);
        }
        {
            Reset r{delAlerts};
            sqlite3_bind_int64(delAlerts, 1, alertLo + std::max(1LL, (alertHi - alertLo + 1) / 10));
            sqlite3_step(delAlerts);
        }
        exec("PRAGMA incremental_vacuum");
    }
}

// ---- queries ----------------------------------------------------------------

bool SqliteCheckHistory::flush(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(queueMutex_);
    return idle_.wait_for(lock, limit, [this] { return queue_.empty() && !writing_; });
}

SiteSummary SqliteCheckHistory::summary(const std::string& url, const std::string& title, std::time_t now,
                                        int incidentLimit) {
    // Short: the window asks while the writer may be busy.
    flush(std::chrono::milliseconds(200));
    std::lock_guard<std::mutex> lock(dbMutex_);
    std::vector<HistorySummary::Check> checks;
    const long long site = db_ ? siteId(url, title, false) : -1;
    sqlite3_stmt* s = site < 0 ? nullptr
                               : prepare("SELECT time, outcome, total_ms FROM checks"
                                         " WHERE site = ?1 AND time >= ?2 AND time <= ?3 ORDER BY time");
    if (!s)
        return {};
    {
        Reset r{s};
        sqlite3_bind_int64(s, 1, site);
        sqlite3_bind_int64(s, 2, static_cast<long long>(now - HistorySummary::kSpan));
        sqlite3_bind_int64(s, 3, static_cast<long long>(now));
        checks.reserve(9000);
        while (sqlite3_step(s) == SQLITE_ROW)
            checks.push_back({static_cast<std::time_t>(sqlite3_column_int64(s, 0)),
                              sqlite3_column_int(s, 1),
                              columnInt(s, 2),
                              {}});
    }
    SiteSummary summary = HistorySummary::build(checks, now, incidentLimit);
    // The status of each incident's first check, from the table itself.
    sqlite3_stmt* st =
        prepare("SELECT status FROM checks WHERE site = ?1 AND time = ?2 AND outcome <> 2 LIMIT 1");
    if (st) {
        for (Incident& i : summary.incidents) {
            Reset r{st};
            sqlite3_bind_int64(st, 1, site);
            sqlite3_bind_int64(st, 2, static_cast<long long>(i.start));
            if (sqlite3_step(st) == SQLITE_ROW)
                i.status = columnText(st, 0);
        }
    }
    return summary;
}

std::vector<SeriesPoint> SqliteCheckHistory::series(const std::string& url, const std::string& title,
                                                    std::time_t from, std::time_t to) {
    flush(std::chrono::milliseconds(200));
    std::lock_guard<std::mutex> lock(dbMutex_);
    std::vector<SeriesPoint> points;
    const long long site = db_ ? siteId(url, title, false) : -1;
    sqlite3_stmt* s = site < 0 ? nullptr
                               : prepare("SELECT time, outcome, total_ms FROM checks"
                                         " WHERE site = ?1 AND time >= ?2 AND time <= ?3 ORDER BY time");
    if (!s)
        return points;
    Reset r{s};
    sqlite3_bind_int64(s, 1, site);
    sqlite3_bind_int64(s, 2, static_cast<long long>(from));
    sqlite3_bind_int64(s, 3, static_cast<long long>(to));
    while (sqlite3_step(s) == SQLITE_ROW)
        points.push_back({static_cast<std::time_t>(sqlite3_column_int64(s, 0)), columnInt(s, 2),
                          sqlite3_column_int(s, 1) != CheckRecord::kGood});
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
    sqlite3_stmt* s =
        prepare("SELECT c.time, s.url, s.title, c.outcome, c.status, c.http_status, c.total_ms, c.lookup_ms,"
                " c.connect_ms, c.tls_ms, c.first_byte_ms, c.bytes, c.error_number, c.cert_days"
                " FROM checks c JOIN sites s ON s.id = c.site WHERE ?1 < 0 OR c.site = ?1 ORDER BY c.id");
    if (!s)
        return false;
    Reset r{s};
    sqlite3_bind_int64(s, 1, site);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
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
        row(c);
    }
    if (rc != SQLITE_DONE) {
        fail(sqlite3_errmsg(db_));
        return false;
    }
    return true;
}

} // namespace vantrel
