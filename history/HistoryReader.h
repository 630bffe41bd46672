#pragma once

#include "history/HistoryPanelData.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace vantrel {

class SqliteCheckHistory;

// Reads what the history panel shows, and the CSV exports, on a thread of
// its own, with a read-only connection of its own to the history file, so
// that the window never waits for the writer. One query runs at a time. For
// the panel the newest request wins: a request asked while another waits
// replaces it, and an answer that a newer request overtook is dropped.
// Exports run in turn, each one. Answers are handed over on the reader's
// thread; none once the reader is being destroyed.
class HistoryReader {
public:
    using Answer = std::function<void(long long number, HistoryPanelData data)>;
    using Exported = std::function<void(bool written)>;
    // How long the destructor waits for a query to end before it leaves
    // the thread to finish on its own.
    static constexpr std::chrono::milliseconds kStopWait{2000};
    // How long a query waits for the writer to write what was recorded
    // before it.
    static constexpr std::chrono::milliseconds kFlushWait{200};
    static constexpr std::chrono::milliseconds kExportFlushWait{5000};

    // Reads the file at `path` that `writer` writes.
    HistoryReader(const std::string& path, std::shared_ptr<SqliteCheckHistory> writer, Answer answer);
    ~HistoryReader();
    HistoryReader(const HistoryReader&) = delete;
    HistoryReader& operator=(const HistoryReader&) = delete;

    // Asks for the data of `request`; returns the number its answer will
    // carry. Never waits for a query.
    long long ask(const HistoryPanelRequest& request);
    // Writes every check of the site with this URL and title (both empty:
    // of all sites) as CSV to the file at `path`; `done` is told whether the
    // file was written. Never waits for the export.
    void exportCsv(const std::string& url, const std::string& title, const std::string& path, Exported done);

private:
    struct State;
    static void run(const std::shared_ptr<State>& state);
    struct Export;
    static HistoryPanelData read(State& state, const HistoryPanelRequest& request);
    static bool writeCsv(State& state, const Export& job);
    static void waitForWriter(State& state, std::chrono::milliseconds limit);
    static SqliteCheckHistory& connection(State& state);
    static void dropConnection(State& state);

    std::shared_ptr<State> state_;
    std::thread thread_;
};

} // namespace vantrel
