#pragma once

#include "history/SqliteCheckHistory.h"

#include <chrono>
#include <future>
#include <thread>
#include <utility>

namespace vantrel::test {

// Holds a history's own connection in a write transaction until release()
// (or ten seconds), with its writer thread waiting behind it, a batch in
// hand: a query on that connection waits for the whole of it. The rows it
// writes are of a site of their own, "http://held.test/".
class HeldHistoryWriter {
public:
    explicit HeldHistoryWriter(SqliteCheckHistory& history) {
        thread_ = std::thread([this, &history] {
            bool first = true;
            history.writeAll([this, &first](CheckRecord& r) {
                if (!std::exchange(first, false))
                    return false;
                holding_.set_value();
                released_.wait_for(std::chrono::seconds(10));
                r = record();
                return true;
            });
        });
        holding_.get_future().wait_for(std::chrono::seconds(10));
        history.recordCheck(record());
    }
    ~HeldHistoryWriter() { release(); }
    HeldHistoryWriter(const HeldHistoryWriter&) = delete;
    HeldHistoryWriter& operator=(const HeldHistoryWriter&) = delete;

    void release() {
        if (!thread_.joinable())
            return;
        release_.set_value();
        thread_.join();
    }

private:
    static CheckRecord record() {
        CheckRecord c;
        c.time = 1;
        c.url = "http://held.test/";
        c.title = "Held";
        c.outcome = CheckRecord::kGood;
        c.status = "OK";
        return c;
    }

    std::promise<void> holding_;
    std::promise<void> release_;
    std::shared_future<void> released_ = release_.get_future().share();
    std::thread thread_;
};

} // namespace vantrel::test
