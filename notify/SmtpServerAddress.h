#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

// A mail server as the settings name it: a host name or address, optionally
// followed by ":port".
struct SmtpServerAddress {
    std::string host;
    std::uint16_t port = 25;

    // "host:port", "[v6-address]:port" or a plain host, which means
    // `defaultPort`. A port that is not a number from 1 to 65535 leaves the
    // whole text as the host.
    static SmtpServerAddress parse(const std::string& server, std::uint16_t defaultPort);
};

} // namespace vantrel
