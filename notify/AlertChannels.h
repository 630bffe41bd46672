#pragma once

#include "notify/AlertMessage.h"

#include <vector>

namespace vantrel {

// Where the engine hands the alerts for the chat and push channels. Sending
// is the receiver's business: send() only queues and returns at once.
class AlertChannels {
public:
    virtual ~AlertChannels() = default;
    // `only`: the numbers of the channels the site is limited to; empty:
    // every channel.
    virtual void send(const AlertMessage& message, const std::vector<int>& only) = 0;
};

} // namespace vantrel
