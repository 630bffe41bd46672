#include "platform/InterfaceNetworkStatus.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

namespace vantrel {

bool InterfaceNetworkStatus::interfaceUp() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return true;
    bool up = false;
    for (ifaddrs* i = list; i && !up; i = i->ifa_next) {
        if (!i->ifa_addr || (i->ifa_addr->sa_family != AF_INET && i->ifa_addr->sa_family != AF_INET6))
            continue;
        const unsigned flags = i->ifa_flags;
        up = (flags & IFF_UP) && (flags & IFF_RUNNING) && !(flags & IFF_LOOPBACK);
    }
    ::freeifaddrs(list);
    return up;
}

namespace {

constexpr unsigned long kRouteUp = 0x0001;
constexpr unsigned long kRouteReject = 0x0200;

bool readAll(const char* path, std::string& text) {
    std::ifstream in(path);
    if (!in)
        return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool usable(const std::string& device, const std::string& flags) {
    const unsigned long f = std::strtoul(flags.c_str(), nullptr, 16);
    return device != "lo" && (f & kRouteUp) && !(f & kRouteReject);
}

} // namespace

bool InterfaceNetworkStatus::hasDefaultRoute(const std::string& ipv4Table, const std::string& ipv6Table) {
    // IPv4, after a heading: device, destination, gateway, flags, reference
    // count, use, metric, mask, ...
    std::istringstream v4(ipv4Table);
    std::string line;
    std::getline(v4, line);
    while (std::getline(v4, line)) {
        std::istringstream f(line);
        std::string device, destination, gateway, flags, refs, use, metric, mask;
        if ((f >> device >> destination >> gateway >> flags >> refs >> use >> metric >> mask) &&
            destination == "00000000" && mask == "00000000" && usable(device, flags))
            return true;
    }
    // IPv6, no heading: destination, prefix length, source, its length, next
    // hop, metric, reference count, use, flags, device.
    std::istringstream v6(ipv6Table);
    while (std::getline(v6, line)) {
        std::istringstream f(line);
        std::string destination, length, source, sourceLength, hop, metric, refs, use, flags, device;
        if ((f >> destination >> length >> source >> sourceLength >> hop >> metric >> refs >> use >> flags >>
             device) &&
            destination == std::string(32, '0') && length == "00" && usable(device, flags))
            return true;
    }
    return false;
}

bool InterfaceNetworkStatus::defaultRoute() {
    std::string v4, v6;
    const bool haveV4 = readAll("/proc/net/route", v4);
    const bool haveV6 = readAll("/proc/net/ipv6_route", v6);
    if (!haveV4 && !haveV6)
        return interfaceUp();
    return hasDefaultRoute(v4, v6);
}

} // namespace vantrel
