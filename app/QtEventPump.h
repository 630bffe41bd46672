#pragma once

#include "notify/EventPump.h"

namespace vantrel {

// Waits for the engine's blocking calls in a local event loop that lets
// paint, timer and socket events through but holds user input back, so the
// window keeps painting and the tray animation keeps running while a page
// downloads or a mail is sent. The call itself runs on a worker thread.
class QtEventPump : public EventPump {
public:
    void runBlocking(const std::function<void()>& call) override;
    void sleepFor(std::chrono::milliseconds duration) override;
    void dispatchOne() override;
};

} // namespace vantrel
