// Moves the rows of the history's earlier layout over, a step at a time, so
// that the writer is never held up for long.
#include "history/SqliteCheckHistory.h"

#include "history/SqliteStatement.h"

#include <sqlite3.h>

namespace vantrel {

namespace {

using namespace sqlite;

constexpr int kMigrateRows = 5000; // rows of the earlier layout a step moves

} // namespace

// ---- the earlier layout -----------------------------------------------------
bool SqliteCheckHistory::migrateStep() {
    sqlite3_stmt* s =
        prepare("SELECT c.time, c.site, c.site, c.outcome, c.status, c.http_status, c.total_ms, c.lookup_ms,"
                " c.connect_ms, c.tls_ms, c.first_byte_ms, c.bytes, c.error_number, c.cert_days, c.id"
                " FROM checks c ORDER BY c.id LIMIT ?1");
    sqlite3_stmt* del = prepare("DELETE FROM checks WHERE id <= ?1");
    if (!s || !del || !exec("BEGIN IMMEDIATE"))
        return false;
    bool ok = true;
    long long last = -1;
    {
        Reset r{s};
        sqlite3_bind_int(s, 1, kMigrateRows);
        int rc;
        while (ok && (rc = sqlite3_step(s)) == SQLITE_ROW) {
            const CheckRecord c = legacyRecord(s);
            ok = insertRaw(sqlite3_column_int64(s, 1), c);
            last = sqlite3_column_int64(s, 14);
        }
        ok = ok && rc == SQLITE_DONE;
    }
    if (ok && last >= 0) {
        Reset r{del};
        sqlite3_bind_int64(del, 1, last);
        ok = sqlite3_step(del) == SQLITE_DONE;
    }
    // An empty table of the earlier layout goes, with its index.
    const bool done = ok && last < 0;
    if (done)
        ok = exec("DROP TABLE checks");
    if (!ok || !exec("COMMIT")) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        loadVerdicts();
        return false;
    }
    if (done) {
        legacy_ = false;
        // Statements on the dropped table are of no more use.
        for (auto it = statements_.begin(); it != statements_.end();) {
            if (it->first.find(" checks") != std::string::npos) {
                sqlite3_finalize(it->second);
                it = statements_.erase(it);
            } else {
                ++it;
            }
        }
    }
    return true;
}

} // namespace vantrel
