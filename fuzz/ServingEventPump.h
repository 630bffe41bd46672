#pragma once

#include "fuzz/InProcessSmtpServer.h"
#include "notify/EventPump.h"

namespace vantrel::fuzz {

// Runs the mailer's calls in place and lets the in-process server take the
// connection as soon as the mailer has made it. Pauses take no time and
// there are no window messages.
class ServingEventPump : public EventPump {
public:
    explicit ServingEventPump(InProcessSmtpServer& server) : server_(server) {}

    void runBlocking(const std::function<void()>& call) override {
        call();
        server_.acceptPending();
    }
    void sleepFor(std::chrono::milliseconds) override {}
    void dispatchOne() override {}

private:
    InProcessSmtpServer& server_;
};

} // namespace vantrel::fuzz
