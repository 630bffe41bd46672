#pragma once

#include "notify/EventPump.h"

#include <chrono>
#include <memory>

namespace vantrel {

class HeldInput;

// Waits for the engine's blocking calls in a local event loop that lets
// paint, timer and socket events through but holds user input back, so the
// window keeps painting and the tray animation keeps running while a page
// downloads or a mail is sent. The call itself runs on a worker thread.
// Input that only scrolls a list (see ScrollThrough) is not held: the list
// scrolls while the engine waits.
//
// Input that reaches a window while the pump waits (and all input still
// queued when dispatchOne runs) is kept, in order, instead of being
// delivered. dispatchOne delivers exactly one event, the oldest kept one,
// with nothing held back while it is handled (a dialog it opens takes input
// as usual); the rest is delivered, in its order, once the engine no longer
// waits here.
class QtEventPump : public EventPump {
public:
    QtEventPump();
    ~QtEventPump() override;

    void runBlocking(const std::function<void()>& call) override;
    void sleepFor(std::chrono::milliseconds duration) override;
    void dispatchOne() override;
    // The call runs on a worker thread; the steps run here in slices of at
    // most kStepSlice, with the window's events served between slices, so
    // the window never waits long for the engine's work beside a download.
    void runAlongside(const std::function<void(const Signal&)>& call,
                      const std::function<bool()>& step) override;
    static constexpr std::chrono::milliseconds kStepSlice{10};

    // Events kept back and not yet delivered.
    int heldEvents() const;

private:
    std::unique_ptr<HeldInput> held_;
};

} // namespace vantrel
