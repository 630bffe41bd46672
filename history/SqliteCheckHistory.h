#pragma once

#include "monitor/CheckHistory.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <variant>

struct sqlite3;
struct sqlite3_stmt;

namespace vantrel {

class Clock;

// The check history in one SQLite file (WAL journal). Records go into a
// bounded queue; a writer thread of its own writes them in batches, one
// transaction each, so recording costs the check pass a copy and a lock.
// Rows older than `keepDays` are deleted at start and once a day, and the
// oldest tenth is dropped whenever the data outgrows `maxBytes`.
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

    // `path` ":memory:" keeps the history in memory (tests).
    SqliteCheckHistory(const std::string& path, int keepDays, long long maxBytes, const Clock& clock);
    ~SqliteCheckHistory() override;
    SqliteCheckHistory(const SqliteCheckHistory&) = delete;
    SqliteCheckHistory& operator=(const SqliteCheckHistory&) = delete;

    void recordCheck(const CheckRecord& record) override;
    void recordAlert(const AlertRecord& record) override;
    bool available() const override;
    std::string problem() const override;
    SiteSummary summary(const std::string& url, const std::string& title, std::time_t now,
                        int incidentLimit = 10) override;
    std::vector<SeriesPoint> series(const std::string& url, const std::string& title, std::time_t from,
                                    std::time_t to) override;
    bool exportChecks(const std::string& url, const std::string& title,
                      const std::function<void(const CheckRecord&)>& row) override;

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
    long long droppedRecords() const;

private:
    using Item = std::variant<CheckRecord, AlertRecord>;

    void open(const std::string& path);
    void enqueue(Item item);
    void writerLoop();
    void writeBatch(std::deque<Item>& batch); // with dbMutex_ held
    bool insert(const Item& item);
    long long siteId(const std::string& url, const std::string& title, bool create);
    bool exec(const char* sql);
    sqlite3_stmt* prepare(const char* sql);
    void pruneLocked();
    void enforceCap();
    void fail(const std::string& what);
    void succeed();

    const Clock& clock_;
    const int keepDays_;
    const long long maxBytes_;

    mutable std::mutex dbMutex_; // the connection and the statements
    sqlite3* db_ = nullptr;
    std::map<std::string, sqlite3_stmt*> statements_;
    std::map<std::pair<std::string, std::string>, long long> siteIds_;
    std::time_t lastPrune_ = 0;

    mutable std::mutex queueMutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Item> queue_;
    bool writing_ = false;
    bool stopping_ = false;
    long long dropped_ = 0;
    bool available_ = true;
    std::string problem_;

    std::thread writer_;
};

} // namespace vantrel
