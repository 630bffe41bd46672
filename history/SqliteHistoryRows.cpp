#include "history/SqliteCheckHistory.h"

#include "history/CheckDetail.h"
#include "history/SqliteStatement.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <iterator>

// The rows the writer stores: sites, verdicts, raw checks, roll-ups, alerts
// and the stretches not monitored.

namespace vantrel {

using namespace sqlite;

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

long long SqliteCheckHistory::knownSite(const std::string& url, const std::string& title) {
    return db_ ? siteId(url, title, false) : -1;
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

bool SqliteCheckHistory::insertStretch(const UnmonitoredStretch& g) {
    // The table is made with the first stretch, so a history that never
    // had one keeps the layout it always had.
    if (!exec("CREATE TABLE IF NOT EXISTS unmonitored(start INTEGER NOT NULL, end INTEGER NOT NULL,"
              " reason TEXT NOT NULL, PRIMARY KEY(start, end, reason)) WITHOUT ROWID"))
        return false;
    sqlite3_stmt* s = prepare("INSERT OR IGNORE INTO unmonitored(start, end, reason) VALUES(?1, ?2, ?3)");
    if (!s)
        return false;
    Reset r{s};
    sqlite3_bind_int64(s, 1, static_cast<long long>(g.from));
    sqlite3_bind_int64(s, 2, static_cast<long long>(g.to));
    bindText(s, 3, g.reason);
    if (sqlite3_step(s) != SQLITE_DONE) {
        fail(sqlite3_errmsg(db_));
        return false;
    }
    const auto at = std::upper_bound(stretches_.begin(), stretches_.end(), g.from,
                                     [](std::time_t t, const UnmonitoredStretch& x) { return t < x.from; });
    stretches_.insert(at, g);
    mergeStretches();
    return true;
}

void SqliteCheckHistory::mergeStretches() {
    // Overlapping and touching stretches as one, so that a check's time is
    // looked up by halving rather than against every stretch.
    covered_.clear();
    for (const UnmonitoredStretch& g : stretches_) {
        if (!covered_.empty() && g.from <= covered_.back().second)
            covered_.back().second = std::max(covered_.back().second, g.to);
        else
            covered_.emplace_back(g.from, g.to);
    }
}

void SqliteCheckHistory::loadStretches() {
    stretches_.clear();
    covered_.clear();
    if (!db_ ||
        queryInt("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'unmonitored'", 0) == 0)
        return;
    sqlite3_stmt* s = prepare("SELECT start, end, reason FROM unmonitored ORDER BY start");
    if (!s)
        return;
    Reset r{s};
    while (sqlite3_step(s) == SQLITE_ROW)
        stretches_.push_back({static_cast<std::time_t>(sqlite3_column_int64(s, 0)),
                              static_cast<std::time_t>(sqlite3_column_int64(s, 1)), columnText(s, 2)});
    mergeStretches();
}

bool SqliteCheckHistory::unmonitoredAt(std::time_t time) const {
    // The last stretch that began by `time`.
    auto after = std::upper_bound(
        covered_.begin(), covered_.end(), time,
        [](std::time_t t, const std::pair<std::time_t, std::time_t>& c) { return t < c.first; });
    return after != covered_.begin() && time < std::prev(after)->second;
}

bool SqliteCheckHistory::insert(const Item& item) {
    if (const auto* g = std::get_if<UnmonitoredStretch>(&item))
        return insertStretch(*g);
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

} // namespace vantrel
