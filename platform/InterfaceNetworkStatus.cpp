#include "platform/InterfaceNetworkStatus.h"

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

} // namespace vantrel
