#pragma once

#include "notify/EventPump.h"

#include <thread>

namespace vantrel {

// The pump for code without a window: calls run in place, pauses sleep the
// calling thread and there are no window messages to dispatch.
class DirectEventPump : public EventPump {
public:
    void runBlocking(const std::function<void()>& call) override { call(); }
    void sleepFor(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
    void dispatchOne() override {}
};

} // namespace vantrel
