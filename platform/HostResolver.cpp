#include "platform/HostResolver.h"

#include "platform/TcpSocket.h"

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <netdb.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>

namespace vantrel {

namespace {

// What the lookup thread and the waiting caller share. Whoever comes last
// (the thread finishing after the caller gave up) frees the result.
struct Pending {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    int result = 0;
    int savedErrno = 0;
    addrinfo* list = nullptr;
};

} // namespace

void HostResolver::FreeAddrInfo::operator()(addrinfo* list) const {
    if (list)
        ::freeaddrinfo(list);
}

int HostResolver::resolve(const std::string& host, std::uint16_t port,
                          std::chrono::steady_clock::time_point deadline, Addresses& out) {
    return resolve(host, port, deadline, out, ::getaddrinfo);
}

int HostResolver::resolve(const std::string& host, std::uint16_t port,
                          std::chrono::steady_clock::time_point deadline, Addresses& out, Lookup lookup) {
    out.reset();
    auto pending = std::make_shared<Pending>();
    try {
        std::thread([pending, lookup = std::move(lookup), host, service = std::to_string(port)] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_protocol = IPPROTO_TCP;
            hints.ai_flags = AI_NUMERICSERV;
            addrinfo* list = nullptr;
            const int rc = lookup(host.c_str(), service.c_str(), &hints, &list);
            const int err = errno;
            std::lock_guard lock(pending->mutex);
            if (pending->abandoned) {
                if (rc == 0 && list)
                    ::freeaddrinfo(list);
                return;
            }
            pending->result = rc;
            pending->savedErrno = err;
            pending->list = rc == 0 ? list : nullptr;
            pending->finished = true;
            pending->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return TcpSocket::errorFromErrno(ENOBUFS); // no thread could be started
    }

    std::unique_lock lock(pending->mutex);
    if (!pending->done.wait_until(lock, deadline, [&] { return pending->finished; })) {
        pending->abandoned = true;
        return TcpSocket::kTimedOut;
    }
    if (pending->result != 0)
        return TcpSocket::errorFromResolver(pending->result, pending->savedErrno);
    out.reset(pending->list);
    pending->list = nullptr;
    return 0;
}

} // namespace vantrel
