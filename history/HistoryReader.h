#pragma once

#include "history/HistoryPanelData.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace vantrel {

class SqliteCheckHistory;

// Reads what the history panel shows on a thread of its own, with a
// read-only connection of its own to the history file, so that the window
// never waits for the writer. One query runs at a time and the newest
// request wins: a request asked while another waits replaces it, and an
// answer that a newer request overtook is dropped. Answers are handed to
// `answer` on the reader's thread.
class HistoryReader {
public:
    using Answer = std::function<void(long long number, HistoryPanelData data)>;
    // How long the destructor waits for a query to end before it leaves
    // the thread to finish on its own.
    static constexpr std::chrono::milliseconds kStopWait{2000};
    // How long a query waits for the writer to write what was recorded
    // before it.
    static constexpr std::chrono::milliseconds kFlushWait{200};

    // Reads the file at `path` that `writer` writes.
    HistoryReader(const std::string& path, std::shared_ptr<SqliteCheckHistory> writer, Answer answer);
    ~HistoryReader();
    HistoryReader(const HistoryReader&) = delete;
    HistoryReader& operator=(const HistoryReader&) = delete;

    // Asks for the data of `request`; returns the number its answer will
    // carry. Never waits for a query.
    long long ask(const HistoryPanelRequest& request);

private:
    struct State;
    static void run(const std::shared_ptr<State>& state);
    static HistoryPanelData read(State& state, const HistoryPanelRequest& request);

    std::shared_ptr<State> state_;
    std::thread thread_;
};

} // namespace vantrel
