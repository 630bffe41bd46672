#pragma once

#include "platform/NetworkStatus.h"

namespace vantrel {

// NetworkStatus from the system's list of interfaces (getifaddrs): an
// interface counts when it is up and running, is not loopback and has an
// IPv4 or IPv6 address. When the list cannot be read the answer is "up",
// so a failing check never silences a report.
class InterfaceNetworkStatus : public NetworkStatus {
public:
    bool interfaceUp() override;
};

} // namespace vantrel
