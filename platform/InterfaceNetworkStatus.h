#pragma once

#include "platform/NetworkStatus.h"

#include <string>

namespace vantrel {

// NetworkStatus from the system's list of interfaces (getifaddrs): an
// interface counts when it is up and running, is not loopback and has an
// IPv4 or IPv6 address. When the list cannot be read the answer is "up",
// so a failing check never silences a report.
//
// The default route comes from the kernel's routing tables (/proc/net/route
// and /proc/net/ipv6_route); where neither can be read, the interfaces
// decide.
class InterfaceNetworkStatus : public NetworkStatus {
public:
    bool interfaceUp() override;
    bool defaultRoute() override;

    // Whether the tables, in the kernel's text form, hold a default route
    // that is up, not a rejection and not on loopback.
    static bool hasDefaultRoute(const std::string& ipv4Table, const std::string& ipv6Table);
};

} // namespace vantrel
