#include "history/HistoryReader.h"

#include "history/SqliteCheckHistory.h"
#include "model/DataFile.h"
#include "monitor/HistoryCsv.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace vantrel {

struct HistoryReader::Export {
    std::string url;
    std::string title;
    std::string path;
    Exported done;
};

// Shared by the object and its thread, so that a thread left to finish on
// its own still has everything it uses.
struct HistoryReader::State {
    std::string path;
    std::shared_ptr<SqliteCheckHistory> writer;
    Answer answer;

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finished;
    std::optional<std::pair<long long, HistoryPanelRequest>> waiting;
    std::deque<Export> exports;
    long long latest = 0;               // the number of the newest request
    std::atomic<bool> stopping = false; // set under the mutex, read also without it
    bool done = false;
    // Made on the reader's thread; the mutex guards the pointer, not the queries.
    std::unique_ptr<SqliteCheckHistory> connection;
};

HistoryReader::HistoryReader(const std::string& path, std::shared_ptr<SqliteCheckHistory> writer,
                             Answer answer)
    : state_(std::make_shared<State>()) {
    state_->path = path;
    state_->writer = std::move(writer);
    state_->answer = std::move(answer);
    thread_ = std::thread([state = state_] { run(state); });
}

HistoryReader::~HistoryReader() {
    State& s = *state_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.stopping = true;
        s.waiting.reset();
        s.exports.clear();
        if (s.connection)
            s.connection->interrupt();
    }
    s.wake.notify_all();
    bool ended;
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        ended = s.finished.wait_for(lock, kStopWait, [&s] { return s.done; });
    }
    // No answer is handed over once stopping is set, so a thread that is
    // still in a query may finish it alone.
    if (ended)
        thread_.join();
    else
        thread_.detach();
}

long long HistoryReader::ask(const HistoryPanelRequest& request) {
    long long number;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        number = ++state_->latest;
        state_->waiting.emplace(number, request);
    }
    state_->wake.notify_one();
    return number;
}

void HistoryReader::exportCsv(const std::string& url, const std::string& title, const std::string& path,
                              Exported done) {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->exports.push_back({url, title, path, std::move(done)});
    }
    state_->wake.notify_one();
}

void HistoryReader::run(const std::shared_ptr<State>& state) {
    State& s = *state;
    for (;;) {
        std::optional<Export> exportJob;
        std::pair<long long, HistoryPanelRequest> job;
        {
            std::unique_lock<std::mutex> lock(s.mutex);
            s.wake.wait(lock, [&s] { return s.stopping || s.waiting || !s.exports.empty(); });
            if (s.stopping)
                break;
            if (!s.exports.empty()) {
                exportJob = std::move(s.exports.front());
                s.exports.pop_front();
            } else {
                job = std::move(*s.waiting);
                s.waiting.reset();
            }
        }
        if (exportJob) {
            const bool written = writeCsv(s, *exportJob);
            std::lock_guard<std::mutex> lock(s.mutex);
            if (!s.stopping)
                exportJob->done(written);
            continue;
        }
        HistoryPanelData data = read(s, job.second);
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.stopping && job.first == s.latest)
            s.answer(job.first, std::move(data));
    }
    std::unique_ptr<SqliteCheckHistory> connection;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        connection = std::move(s.connection);
    }
    connection.reset();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.done = true;
    }
    s.finished.notify_all();
}

HistoryPanelData HistoryReader::read(State& s, const HistoryPanelRequest& request) {
    // What was recorded before the request is in the file first, as far as
    // the writer gets in a short while.
    waitForWriter(s, kFlushWait);
    if (s.stopping) // the answer would be dropped
        return {};
    if (!s.writer->available())
        return HistoryPanelData::unavailable(request, s.writer->problem());
    if (request.url.empty() && request.title.empty())
        return HistoryPanelData::read(*s.writer, request);
    HistoryPanelData data = HistoryPanelData::read(connection(s), request);
    if (!data.available)
        dropConnection(s);
    return data;
}

bool HistoryReader::writeCsv(State& s, const Export& job) {
    // Every check recorded before the export is in it, as far as the
    // writer gets in a while.
    waitForWriter(s, kExportFlushWait);
    if (s.stopping)
        return false;
    std::string csv = HistoryCsv::header();
    if (!connection(s).exportChecks(job.url, job.title,
                                    [&csv](const CheckRecord& r) { csv += HistoryCsv::line(r); })) {
        dropConnection(s);
        return false;
    }
    // A reader stopped during the read leaves no file behind.
    return !s.stopping && DataFile::save(job.path, csv);
}

// Waits up to `limit` until the writer wrote what is queued, in short
// slices, so that a reader being stopped stops waiting at once.
void HistoryReader::waitForWriter(State& s, std::chrono::milliseconds limit) {
    constexpr std::chrono::milliseconds kSlice{50};
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (s.stopping || left.count() <= 0 || s.writer->flush(std::min(kSlice, left)))
            return;
    }
}

// Only the reader's thread sets or clears the connection; the lock is for
// the interrupt from the destructor.
SqliteCheckHistory& HistoryReader::connection(State& s) {
    if (!s.connection) {
        auto opened =
            std::make_unique<SqliteCheckHistory>(s.path, s.writer->clock(), SqliteCheckHistory::ReadOnly{});
        std::lock_guard<std::mutex> lock(s.mutex);
        s.connection = std::move(opened);
    }
    return *s.connection;
}

// After a failure the next query opens the file anew.
void HistoryReader::dropConnection(State& s) {
    std::unique_ptr<SqliteCheckHistory> failed;
    std::lock_guard<std::mutex> lock(s.mutex);
    failed = std::move(s.connection);
}

} // namespace vantrel
