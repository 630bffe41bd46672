// The upkeep of the check history: rolling finished days up, the kept days
// and the size cap.
#include "history/SqliteCheckHistory.h"

#include "history/SqliteStatement.h"
#include "model/Clock.h"
#include "monitor/HistoryRollup.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>

namespace vantrel {

namespace {

using namespace sqlite;

constexpr std::time_t kHour = 60 * 60;
constexpr std::time_t kDay = 24 * kHour;
constexpr int kRollupSites = 250; // sites a roll-up step takes

} // namespace

void SqliteCheckHistory::prune() {
    flush();
    std::lock_guard<std::mutex> lock(dbMutex_);
    pruneLocked();
}

void SqliteCheckHistory::catchUp() {
    flush();
    std::lock_guard<std::mutex> lock(dbMutex_);
    if (!db_)
        return;
    while (legacy_ && migrateStep()) {
    }
    const long long finished = (clock_.now() - kRollupGrace) / kDay;
    while (rollUpStep(finished)) {
    }
    pruneLocked();
}

bool SqliteCheckHistory::upkeepStep() {
    const std::time_t now = clock_.now();
    if (now - lastPrune_ >= kPruneEvery || now < lastPrune_) {
        pruneLocked();
        return true;
    }
    if (legacy_)
        return migrateStep();
    return rollUpStep((now - kRollupGrace) / kDay);
}

// ---- bounds of the tiers ----------------------------------------------------

void SqliteCheckHistory::loadBounds() {
    bounds_ = Bounds{};
    sqlite3_stmt* s = prepare("SELECT name, value FROM bounds");
    if (!s)
        return;
    Reset r{s};
    while (sqlite3_step(s) == SQLITE_ROW) {
        const std::string name = columnText(s, 0);
        const long long value = sqlite3_column_int64(s, 1);
        if (name == "raw_from")
            bounds_.rawFrom = static_cast<std::time_t>(value);
        else if (name == "hourly_from")
            bounds_.hourlyFrom = static_cast<std::time_t>(value);
        else if (name == "rolled_to")
            bounds_.rolledTo = value;
    }
}

void SqliteCheckHistory::saveBound(const char* name, long long value) {
    sqlite3_stmt* s = prepare("INSERT OR REPLACE INTO bounds(name, value) VALUES(?1, ?2)");
    if (!s)
        return;
    Reset r{s};
    sqlite3_bind_text(s, 1, name, -1, SQLITE_STATIC);
    sqlite3_bind_int64(s, 2, value);
    if (sqlite3_step(s) != SQLITE_DONE)
        fail(sqlite3_errmsg(db_));
}

std::vector<long long> SqliteCheckHistory::siteIds() {
    std::vector<long long> ids;
    sqlite3_stmt* s = prepare("SELECT id FROM sites ORDER BY id");
    if (!s)
        return ids;
    Reset r{s};
    while (sqlite3_step(s) == SQLITE_ROW)
        ids.push_back(sqlite3_column_int64(s, 0));
    return ids;
}

long long SqliteCheckHistory::firstRawDay() {
    // The oldest row of each site is the first of its stretch of the key.
    const long long first =
        queryInt("SELECT min(m) FROM (SELECT (SELECT min(time) FROM raw WHERE site = s.id)"
                 " AS m FROM sites s)");
    return first < 0 ? -1 : first / kDay;
}

bool SqliteCheckHistory::overCap() {
    const long long pages = queryInt("PRAGMA page_count");
    const long long freePages = queryInt("PRAGMA freelist_count");
    const long long pageSize = queryInt("PRAGMA page_size");
    return pages >= 0 && freePages >= 0 && pageSize >= 0 && (pages - freePages) * pageSize > maxBytes_;
}

// Deletes, site by site along the key, what one tier holds before `end`.
void SqliteCheckHistory::deleteRawBefore(std::time_t end) {
    sqlite3_stmt* del = prepare("DELETE FROM raw WHERE site = ?1 AND time < ?2");
    sqlite3_stmt* delAlerts = prepare("DELETE FROM alerts WHERE time < ?1");
    if (!del || !delAlerts || !exec("BEGIN IMMEDIATE"))
        return;
    for (long long id : siteIds()) {
        Reset r{del};
        sqlite3_bind_int64(del, 1, id);
        sqlite3_bind_int64(del, 2, static_cast<long long>(end));
        sqlite3_step(del);
    }
    {
        Reset r{delAlerts};
        sqlite3_bind_int64(delAlerts, 1, static_cast<long long>(end));
        sqlite3_step(delAlerts);
    }
    if (end > bounds_.rawFrom) {
        bounds_.rawFrom = end;
        saveBound("raw_from", end);
    }
    if (!exec("COMMIT")) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        loadBounds();
    }
}

namespace {

// Deletes a roll-up table's rows before `bucket`, site by site.
void deleteBuckets(sqlite3_stmt* del, const std::vector<long long>& sites, long long bucket) {
    for (long long id : sites) {
        Reset r{del};
        sqlite3_bind_int64(del, 1, id);
        sqlite3_bind_int64(del, 2, bucket);
        sqlite3_step(del);
    }
}

} // namespace

void SqliteCheckHistory::pruneLocked() {
    if (!db_)
        return;
    lastPrune_ = clock_.now();
    const long long now = static_cast<long long>(lastPrune_);
    const long long cutoff = now - static_cast<long long>(keepDays_) * kDay;
    const long long today = now / kDay;
    if (legacy_) {
        // Rows of the earlier layout go by the kept days alone, as they did.
        sqlite3_stmt* del = prepare("DELETE FROM checks WHERE site = ?1 AND time < ?2");
        if (del && exec("BEGIN IMMEDIATE")) {
            deleteBuckets(del, siteIds(), cutoff);
            if (!exec("COMMIT"))
                sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    } else {
        // Every day about to go is rolled up first.
        const long long cutDay = std::max(0LL, cutoff) / kDay;
        while (rollUpStep(std::min(cutDay, (now - kRollupGrace) / kDay))) {
        }
    }
    // Raw rows go at whole days, so that each day is either raw or rolled up.
    std::time_t rawEnd = std::max(0LL, cutoff) / kDay * kDay;
    if (!legacy_ && bounds_.rolledTo >= 0)
        rawEnd = std::min<std::time_t>(rawEnd, bounds_.rolledTo * kDay);
    if (rawEnd > bounds_.rawFrom)
        deleteRawBefore(rawEnd);
    sqlite3_stmt* delAlerts = prepare("DELETE FROM alerts WHERE time < ?1");
    if (delAlerts) {
        Reset r{delAlerts};
        sqlite3_bind_int64(delAlerts, 1, cutoff);
        sqlite3_step(delAlerts);
    }
    const std::time_t hourlyEnd = std::max(0LL, today - kHourlyDays) * kDay;
    sqlite3_stmt* delHourly = prepare("DELETE FROM hourly WHERE site = ?1 AND hour < ?2");
    sqlite3_stmt* delDaily = prepare("DELETE FROM daily WHERE site = ?1 AND day < ?2");
    if (delHourly && delDaily && exec("BEGIN IMMEDIATE")) {
        const std::vector<long long> sites = siteIds();
        deleteBuckets(delHourly, sites, hourlyEnd / kHour);
        deleteBuckets(delDaily, sites, today - rollupDays_);
        if (hourlyEnd > bounds_.hourlyFrom) {
            bounds_.hourlyFrom = hourlyEnd;
            saveBound("hourly_from", hourlyEnd);
        }
        if (!exec("COMMIT")) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            loadBounds();
        }
    }
    // A stretch not monitored goes once no check of its time is kept.
    deleteStretchesBefore(std::min<std::time_t>(cutoff, (today - rollupDays_) * kDay));
    if (overCap())
        enforceCap();
    exec("PRAGMA incremental_vacuum");
}

void SqliteCheckHistory::deleteStretchesBefore(std::time_t end) {
    const auto over = [end](const UnmonitoredStretch& g) { return g.to < end; };
    if (std::none_of(stretches_.begin(), stretches_.end(), over))
        return;
    sqlite3_stmt* del = prepare("DELETE FROM unmonitored WHERE end < ?1");
    if (!del)
        return;
    Reset r{del};
    sqlite3_bind_int64(del, 1, static_cast<long long>(end));
    if (sqlite3_step(del) != SQLITE_DONE)
        return;
    std::erase_if(stretches_, over);
    mergeStretches();
}

void SqliteCheckHistory::enforceCap() {
    // Raw rows go first, the long view last: the oldest raw day (rolled up
    // before it goes), the oldest hourly day, the oldest tenth of the daily
    // span, and only then the oldest tenth of today's raw rows.
    const long long today = static_cast<long long>(clock_.now()) / kDay;
    for (int round = 0; round < 40 && overCap(); ++round) {
        if (legacy_) {
            const long long lo = queryInt("SELECT ifnull(min(id), 0) FROM checks");
            const long long hi = queryInt("SELECT ifnull(max(id), 0) FROM checks");
            sqlite3_stmt* del = prepare("DELETE FROM checks WHERE id < ?1");
            if (hi > lo && del) {
                Reset r{del};
                sqlite3_bind_int64(del, 1, lo + std::max(1LL, (hi - lo + 1) / 10));
                sqlite3_step(del);
                exec("PRAGMA incremental_vacuum");
                continue;
            }
        }
        const long long firstDay = firstRawDay();
        if (firstDay >= 0 && firstDay < today) {
            while (rollUpStep(firstDay + 1)) {
            }
            deleteRawBefore((firstDay + 1) * kDay);
            exec("PRAGMA incremental_vacuum");
            continue;
        }
        const std::vector<long long> sites = siteIds();
        const long long firstHour = queryInt("SELECT min(m) FROM (SELECT (SELECT min(hour) FROM hourly"
                                             " WHERE site = s.id) AS m FROM sites s)");
        sqlite3_stmt* delHourly = prepare("DELETE FROM hourly WHERE site = ?1 AND hour < ?2");
        if (firstHour >= 0 && delHourly) {
            const long long end = (firstHour / 24 + 1) * 24;
            deleteBuckets(delHourly, sites, end);
            bounds_.hourlyFrom = std::max<std::time_t>(bounds_.hourlyFrom, end * kHour);
            saveBound("hourly_from", bounds_.hourlyFrom);
            exec("PRAGMA incremental_vacuum");
            continue;
        }
        const long long firstDaily = queryInt("SELECT min(m) FROM (SELECT (SELECT min(day) FROM daily"
                                              " WHERE site = s.id) AS m FROM sites s)");
        const long long lastDaily = queryInt("SELECT max(m) FROM (SELECT (SELECT max(day) FROM daily"
                                             " WHERE site = s.id) AS m FROM sites s)");
        sqlite3_stmt* delDaily = prepare("DELETE FROM daily WHERE site = ?1 AND day < ?2");
        if (firstDaily >= 0 && delDaily) {
            deleteBuckets(delDaily, sites, firstDaily + std::max(1LL, (lastDaily - firstDaily + 1) / 10));
            exec("PRAGMA incremental_vacuum");
            continue;
        }
        // Only raw rows not rolled up are left: the oldest tenth of them.
        const long long lo = queryInt("SELECT min(m) FROM (SELECT (SELECT min(time) FROM raw"
                                      " WHERE site = s.id) AS m FROM sites s)");
        const long long hi = queryInt("SELECT max(m) FROM (SELECT (SELECT max(time) FROM raw"
                                      " WHERE site = s.id) AS m FROM sites s)");
        const long long alertLo = queryInt("SELECT ifnull(min(id), 0) FROM alerts", 0);
        const long long alertHi = queryInt("SELECT ifnull(max(id), 0) FROM alerts", 0);
        if ((lo < 0 || hi <= lo) && alertHi <= alertLo)
            break;
        sqlite3_stmt* del = prepare("DELETE FROM raw WHERE site = ?1 AND time < ?2");
        sqlite3_stmt* delAlerts = prepare("DELETE FROM alerts WHERE id < ?1");
        if (!del || !delAlerts)
            break;
        if (lo >= 0)
            deleteBuckets(del, sites, lo + std::max(1LL, (hi - lo + 1) / 10));
        {
            Reset r{delAlerts};
            sqlite3_bind_int64(delAlerts, 1, alertLo + std::max(1LL, (alertHi - alertLo + 1) / 10));
            sqlite3_step(delAlerts);
        }
        exec("PRAGMA incremental_vacuum");
    }
}

// ---- roll-up ----------------------------------------------------------------

bool SqliteCheckHistory::rollUpStep(long long maxDay) {
    if (!db_ || legacy_)
        return false; // the earlier rows must be in before their days are summed
    if (bounds_.rolledTo < 0) {
        const long long first = firstRawDay();
        if (first < 0)
            return false;
        bounds_.rolledTo = first;
        saveBound("rolled_to", first);
    }
    const long long day = bounds_.rolledTo;
    if (day >= maxDay)
        return false;
    const long long today = static_cast<long long>(clock_.now()) / kDay;
    // Rows that the next prune would delete at once are not written.
    const bool hourly = day >= today - kHourlyDays;
    const bool daily = day >= today - rollupDays_;

    std::vector<long long> sites;
    if (hourly || daily) {
        sqlite3_stmt* s = prepare("SELECT id FROM sites WHERE id > ?1 ORDER BY id LIMIT ?2");
        if (!s)
            return false;
        Reset r{s};
        sqlite3_bind_int64(s, 1, rollupCursor_);
        sqlite3_bind_int(s, 2, kRollupSites);
        while (sqlite3_step(s) == SQLITE_ROW)
            sites.push_back(sqlite3_column_int64(s, 0));
    }
    sqlite3_stmt* addHourly = prepare("INSERT OR REPLACE INTO hourly VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9)");
    sqlite3_stmt* addDaily = prepare("INSERT OR REPLACE INTO daily VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9)");
    if (!addHourly || !addDaily || !exec("BEGIN IMMEDIATE"))
        return false;
    bool ok = true;
    const std::time_t start = static_cast<std::time_t>(day * kDay);
    for (long long site : sites) {
        std::array<HistoryRollup, 24> hours;
        HistoryRollup whole;
        for (const RawCheck& c : rawChecks(site, start, start + kDay - 1)) {
            const bool failed = c.outcome != CheckRecord::kGood;
            const int ms = c.outcome != CheckRecord::kNotFetched ? c.totalMs : -1;
            hours[static_cast<size_t>((c.time - start) / kHour)].addCheck(failed, c.slow, ms);
            whole.addCheck(failed, c.slow, ms);
        }
        for (size_t h = 0; ok && hourly && h < hours.size(); ++h)
            if (!hours[h].empty())
                ok = insertRollup(addHourly, site, day * 24 + static_cast<long long>(h), hours[h].figures());
        if (ok && daily && !whole.empty())
            ok = insertRollup(addDaily, site, day, whole.figures());
        if (!ok)
            break;
    }
    const bool dayDone = sites.size() < static_cast<size_t>(kRollupSites);
    if (ok && dayDone)
        saveBound("rolled_to", day + 1);
    if (!ok || !exec("COMMIT")) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        loadBounds();
        return false;
    }
    if (dayDone) {
        bounds_.rolledTo = day + 1;
        rollupCursor_ = 0;
    } else {
        rollupCursor_ = sites.back();
    }
    return true;
}

} // namespace vantrel
