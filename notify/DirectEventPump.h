#pragma once

#include "notify/EventPump.h"

#include <poll.h>

namespace vantrel {

// The pump for code without a window: calls run in place, pauses sleep the
// calling thread (until a stop is requested) and there are no window
// messages to dispatch.
class DirectEventPump : public EventPump {
public:
    void runBlocking(const std::function<void()>& call) override { call(); }
    void sleepFor(std::chrono::milliseconds duration) override {
        const auto deadline = std::chrono::steady_clock::now() + duration;
        while (!stopRequested()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return;
            pollfd p{stopSignal().wakeFd(), POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(left.count()));
        }
    }
    void dispatchOne() override {}
};

} // namespace vantrel
