#pragma once

#include "platform/StopSignal.h"

#include <chrono>
#include <functional>

namespace vantrel {

// How the engine waits. Every blocking network call and every fixed pause of
// the engine goes through here, so that the window layer can run the call off
// the user-interface thread and keep painting (but take no input) meanwhile,
// while the engine's own order of steps stays exactly as written.
class EventPump {
public:
    virtual ~EventPump() = default;
    // Runs `call` to its end and returns only then.
    virtual void runBlocking(const std::function<void()>& call) = 0;
    // Waits for `duration` without running anything of the engine's.
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
    // Takes one queued window message, if there is one, and dispatches it.
    virtual void dispatchOne() = 0;

    // Runs `call` to its end, like runBlocking, and lets the engine work
    // beside it. `call` gets a function to call (from whatever thread it
    // runs on) each time it has something new for `step`; `step` runs on
    // this thread, does one small piece of the engine's work and returns
    // whether more is ready at once. Returns once `call` has ended and
    // `step` has nothing more to do. This default runs `call` through
    // runBlocking and only then `step`, as long as it has work.
    using Signal = std::function<void()>;
    virtual void runAlongside(const std::function<void(const Signal&)>& call,
                              const std::function<bool()>& step) {
        runBlocking([&] { call([] {}); });
        while (step()) {
        }
    }

    // A stop asked for while the engine waits here (the program is to end):
    // a pause under way ends at once and later pauses take no time, and the
    // network calls that watch it end early. The engine looks at it at its
    // safe points and goes no further.
    StopSignal& stopSignal() { return stop_; }
    bool stopRequested() const { return stop_.requested(); }

private:
    StopSignal stop_;
};

} // namespace vantrel
