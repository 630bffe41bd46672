#include "notify/SmtpServerAddress.h"

#include <algorithm>
#include <string_view>

namespace vantrel {

SmtpServerAddress SmtpServerAddress::parse(const std::string& server, std::uint16_t defaultPort) {
    auto parsePort = [](std::string_view digits) -> int {
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return -1;
        int port = std::stoi(std::string(digits));
        return port >= 1 && port <= 65535 ? port : -1;
    };
    SmtpServerAddress a{server, defaultPort};
    std::string_view s = server;
    if (s.starts_with("[")) {
        std::size_t close = s.find(']');
        if (close == std::string_view::npos)
            return a;
        std::string_view rest = s.substr(close + 1);
        int port = rest.empty() ? defaultPort : (rest.starts_with(":") ? parsePort(rest.substr(1)) : -1);
        if (port > 0)
            a = {std::string(s.substr(1, close - 1)), static_cast<std::uint16_t>(port)};
        return a;
    }
    std::size_t colon = s.find(':');
    if (colon != std::string_view::npos && s.find(':', colon + 1) == std::string_view::npos) {
        int port = parsePort(s.substr(colon + 1));
        if (port > 0)
            a = {std::string(s.substr(0, colon)), static_cast<std::uint16_t>(port)};
    }
    return a;
}

} // namespace vantrel
