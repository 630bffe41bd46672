#pragma once

#include "monitor/CheckHistory.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vantrel {

class Clock;

// The check history in one SQLite file (WAL journal). Records go into a
// bounded queue; a writer thread of its own writes them in batches, one
// transaction each, so recording costs the check pass a copy and a lock.
//
// Three tiers: the raw checks, kept `keepDays`; hourly roll-ups of them
// (checks, failures, slow, timed, min, mean and 95th percentile), kept
// kHourlyDays; daily roll-ups, kept `rollupDays`. Between batches the writer
// rolls up each finished UTC day, a few hundred sites a step, so no pass
// waits for more than one step. A raw row is deleted only once its day is
// rolled up. Every tier is cut at whole days: raw rows from the day
// `keepDays` back, once a day and at start (on the writer thread). When the
// data outgrows `maxBytes`, the oldest raw day goes first, then the oldest
// hourly day, then the oldest tenth of the daily span, and only then raw
// rows of a day not yet rolled up.
//
// The stretches the sites were not monitored (asleep, offline, a fault of
// this machine's connection) are a table of their own, made with the first
// of them; the checks inside one count neither as up nor as down in the
// figures and roll-ups, and the chart leaves them out.
//
// A file of the earlier layout (one wide `checks` table with an index) is
// read as it is and moved into the raw table by the writer, a few thousand
// rows a step, oldest first.
//
// Any failure of the database (a file that is not one, a damaged page, a
// lock held elsewhere) makes it report itself unavailable and drops the
// records of that batch; the next batch tries again, so a lock that goes away
// brings it back. Nothing here ever stops or fails a check.
class SqliteCheckHistory : public CheckHistory {
public:
    static constexpr const char* kFileName = "vantrel-history.db";
    static constexpr size_t kMaxQueued = 10000; // records waiting beyond this are dropped
    static constexpr std::time_t kPruneEvery = 24 * 60 * 60;
    static constexpr int kHourlyDays = 30;
    static constexpr int kDefaultRollupDays = 730;
    // A day is rolled up this long after it ends, so that checks still in
    // the queue at midnight are in it.
    static constexpr std::time_t kRollupGrace = 15 * 60;

    // `path` ":memory:" keeps the history in memory (tests).
    SqliteCheckHistory(const std::string& path, int keepDays, long long maxBytes, const Clock& clock,
                       int rollupDays = kDefaultRollupDays);
    // A reader of the file at `path`: a connection of its own that only
    // reads, without a writer thread, for queries on a thread of their own
    // while the writer writes (WAL lets readers read beside it). Each query
    // reads one snapshot of the file. It never creates or changes the file.
    struct ReadOnly {};
    SqliteCheckHistory(const std::string& path, const Clock& clock, ReadOnly);
    ~SqliteCheckHistory() override;
    SqliteCheckHistory(const SqliteCheckHistory&) = delete;
    SqliteCheckHistory& operator=(const SqliteCheckHistory&) = delete;

    void recordCheck(const CheckRecord& record) override;
    void recordAlert(const AlertRecord& record) override;
    void recordUnmonitored(std::time_t from, std::time_t to, const std::string& reason) override;
    std::vector<UnmonitoredStretch> unmonitored(std::time_t from, std::time_t to) override;
    bool available() const override;
    std::string problem() const override;
    SiteSummary summary(const std::string& url, const std::string& title, std::time_t now,
                        int incidentLimit = 10) override;
    std::vector<SeriesPoint> series(const std::string& url, const std::string& title, std::time_t from,
                                    std::time_t to) override;
    bool exportChecks(const std::string& url, const std::string& title,
                      const std::function<void(const CheckRecord&)>& row) override;
    RangeFigures figures(const std::string& url, const std::string& title, std::time_t from,
                         std::time_t to) override;

    // Waits, at most `limit`, until every record made so far is written (or
    // dropped); true when the queue emptied in time.
    bool flush(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Writes one record in a transaction of its own on the calling thread
    // (the cost of a single write, for the benchmark).
    void writeNow(const CheckRecord& record);
    // Writes every record `next` fills (until it returns false) in one
    // transaction on the calling thread: bulk loads.
    void writeAll(const std::function<bool(CheckRecord&)>& next);
    // Deletes what is older than the kept days and enforces the size cap now.
    void prune();
    // Does now, on the calling thread, what the writer does in steps between
    // batches: moves rows of the earlier layout over and rolls up every
    // finished day. The time it takes is the cost of the roll-up.
    void catchUp();
    // One roll-up row, for bulk loads: `daily` false for an hour (`bucket`
    // hours since the epoch), true for a day (days since the epoch).
    struct RollupRow {
        std::string url;
        std::string title;
        long long bucket = 0;
        RangeFigures figures;
    };
    void writeRollups(bool daily, const std::function<bool(RollupRow&)>& next);
    long long droppedRecords() const;
    const Clock& clock() const { return clock_; }
    // Makes a query running on another thread end as soon as it can, so
    // that its thread stops promptly. Safe from any thread.
    void interrupt();

private:
    // A reader's query reads one snapshot: a read transaction, in which
    // what the writer may have changed since the last query (verdicts,
    // stretches, the tiers' bounds) is loaded again first.
    class Snapshot;

    using Item = std::variant<CheckRecord, AlertRecord, UnmonitoredStretch>;
    // A check's verdict: outcome, status and kind of reason, kept once in a
    // table of their own; a raw row holds its number.
    struct Verdict {
        int outcome = 0;
        std::string status;
        std::string kind;
        bool slow = false;
    };
    // What the queries read of a raw check.
    struct RawCheck {
        std::time_t time = 0;
        int outcome = 0;
        bool slow = false;
        int totalMs = -1;
    };
    // Where each tier begins: raw rows from `rawFrom`, hourly rows from
    // `hourlyFrom`; days before `rolledTo` (days since the epoch) are rolled
    // up, -1 while nothing was.
    struct Bounds {
        std::time_t rawFrom = 0;
        std::time_t hourlyFrom = 0;
        long long rolledTo = -1;
    };

    void open(const std::string& path);
    void openReadOnly(const std::string& path);
    void enqueue(Item item);
    void writerLoop();
    void writeBatch(std::deque<Item>& batch); // with dbMutex_ held
    bool insert(const Item& item);
    bool insertRaw(long long site, const CheckRecord& record);
    bool insertRollup(sqlite3_stmt* s, long long site, long long bucket, const RangeFigures& figures);
    bool insertStretch(const UnmonitoredStretch& stretch);
    static CheckRecord legacyRecord(sqlite3_stmt* s);
    long long siteId(const std::string& url, const std::string& title, bool create);
    // The id of a site already stored, -1 for one never seen or no database.
    long long knownSite(const std::string& url, const std::string& title);
    // The stretches not monitored, from the table the first of them made.
    void loadStretches();
    void mergeStretches();
    // Whether a check at `time` fell in a stretch not monitored: it counts
    // neither as up nor as down.
    bool unmonitoredAt(std::time_t time) const;
    long long verdictId(const CheckRecord& record);
    void loadVerdicts();
    const Verdict& verdict(long long id) const;
    bool exec(const char* sql);
    sqlite3_stmt* prepare(const char* sql);
    long long queryInt(const char* sql, long long fallback = -1);
    void fail(const std::string& what);
    void succeed();
    // The raw checks of a site from `from` to `to`, oldest first (both
    // layouts while the earlier one is being moved over).
    std::vector<RawCheck> rawChecks(long long site, std::time_t from, std::time_t to);
    std::string statusAt(long long site, std::time_t time);
    // The roll-ups of a site that lie wholly in [from, end), `end` at most
    // the start of the raw checks: daily rows before the hourly ones begin,
    // then hourly.
    void forRollups(long long site, std::time_t from, std::time_t end,
                    const std::function<void(std::time_t, const RangeFigures&)>& bucket);
    RangeFigures figuresLocked(long long site, std::time_t from, std::time_t to);

    // Upkeep, all with dbMutex_ held.
    bool upkeepStep(); // true while there is more to do
    void pruneLocked();
    void enforceCap();
    void loadBounds();
    void saveBound(const char* name, long long value);
    bool migrateStep();
    bool rollUpStep(long long maxDay);
    long long firstRawDay();
    std::vector<long long> siteIds();
    void deleteRawBefore(std::time_t end);
    void deleteStretchesBefore(std::time_t end);
    bool overCap();

    const Clock& clock_;
    const int keepDays_;
    const long long maxBytes_;
    const int rollupDays_;
    const bool readOnly_ = false;

    mutable std::mutex dbMutex_; // the connection and the statements
    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*> statements_;
    std::map<std::pair<std::string, std::string>, long long> siteIds_;
    std::vector<Verdict> verdicts_; // by number; 0 unused
    std::map<std::tuple<int, std::string, std::string>, long long> verdictIds_;
    std::vector<UnmonitoredStretch> stretches_;                // by start
    std::vector<std::pair<std::time_t, std::time_t>> covered_; // the same merged, apart and by start
    Bounds bounds_;
    bool legacy_ = false;        // a table of the earlier layout still holds rows
    long long rollupCursor_ = 0; // the last site rolled up of the day in hand
    std::time_t lastPrune_ = 0;
    bool started_ = false; // the writer did its first upkeep

    mutable std::mutex queueMutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Item> queue_;
    bool writing_ = true; // until the writer's first upkeep is done
    bool stopping_ = false;
    long long dropped_ = 0;
    bool available_ = true;
    std::string problem_;

    std::thread writer_;
};

} // namespace vantrel
