#pragma once

namespace vantrel {

// Whether the machine has a way onto a network at all.
class NetworkStatus {
public:
    virtual ~NetworkStatus() = default;
    // True when some network interface other than loopback is up.
    virtual bool interfaceUp() = 0;
    // True when a default route leads off this machine (IPv4 or IPv6); by
    // default whatever interfaceUp() says.
    virtual bool defaultRoute() { return interfaceUp(); }
};

} // namespace vantrel
