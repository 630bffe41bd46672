#pragma once

#include "notify/EventPump.h"
#include "notify/WorkerAlongside.h"

#include <chrono>
#include <functional>
#include <vector>

namespace vantrel::test {

// A pump that runs calls in place and records instead of waiting: pauses
// are noted but take no time, and each dispatch runs `onDispatch`.
class RecordingEventPump : public EventPump {
public:
    std::vector<std::chrono::milliseconds> pauses;
    int blockingCalls = 0;
    int dispatches = 0;
    std::function<void()> onDispatch;
    // Run the work beside a batch of downloads as the window's pump does, with
    // the downloads on a thread of their own (else: downloads first).
    bool alongsideOnWorker = false;

    void runBlocking(const std::function<void()>& call) override {
        ++blockingCalls;
        call();
    }
    void runAlongside(const std::function<void(const Signal&)>& call,
                      const std::function<bool()>& step) override {
        if (alongsideOnWorker)
            WorkerAlongside::run(call, step);
        else
            EventPump::runAlongside(call, step);
    }
    void sleepFor(std::chrono::milliseconds duration) override { pauses.push_back(duration); }
    void dispatchOne() override {
        ++dispatches;
        if (onDispatch)
            onDispatch();
    }
};

} // namespace vantrel::test
