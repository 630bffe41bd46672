#pragma once

#include "notify/EventPump.h"

#include <functional>

namespace vantrel {

// EventPump::runAlongside for a pump without a window: `call` runs on a
// thread of its own while the calling thread runs `step` each time `call`
// signals, and once more after `call` has ended. Every wait is a bounded
// slice, so a lost signal costs at most one slice.
class WorkerAlongside {
public:
    static void run(const std::function<void(const EventPump::Signal&)>& call,
                    const std::function<bool()>& step);
};

} // namespace vantrel
