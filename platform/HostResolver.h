#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct addrinfo;

namespace vantrel {

// Turns a host name or numeric address into the addresses to connect to,
// within a deadline. getaddrinfo itself has no time limit (a resolver that
// does not answer holds it for as long as resolv.conf's timeouts and
// attempts allow, per name server and search domain), so the lookup runs on
// a short thread of its own and the caller waits for it only until the
// deadline. A lookup still running then is left to end on its own; it frees
// its result itself, and the caller gets 10060 (timed out) at once.
class HostResolver {
public:
    struct FreeAddrInfo {
        void operator()(addrinfo* list) const;
    };
    using Addresses = std::unique_ptr<addrinfo, FreeAddrInfo>;

    // The blocking lookup: getaddrinfo's arguments and result. Tests put a
    // slow one in its place.
    using Lookup =
        std::function<int(const char* host, const char* service, const addrinfo* hints, addrinfo** result)>;

    // Stream addresses of `host` for `port`. Returns 0 with `out` filled, or
    // a Windows Sockets code: 10060 when the deadline passed, 11001 for a
    // name that does not exist, and so on (TcpSocket::errorFromResolver).
    static int resolve(const std::string& host, std::uint16_t port,
                       std::chrono::steady_clock::time_point deadline, Addresses& out);
    static int resolve(const std::string& host, std::uint16_t port,
                       std::chrono::steady_clock::time_point deadline, Addresses& out, Lookup lookup);
};

} // namespace vantrel
