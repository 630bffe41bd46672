#include "tests/support/FullBacklogListener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantrel::test {

namespace {

// Starts a connection and waits briefly; true when it completed.
bool connectsQuickly(int fd, const sockaddr_in& addr) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0)
        return true;
    if (errno != EINPROGRESS)
        return false;
    pollfd p{fd, POLLOUT, 0};
    return ::poll(&p, 1, 200) > 0;
}

} // namespace

FullBacklogListener::FullBacklogListener() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 0) != 0)
        return;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    for (int i = 0; i < 8 && !full_; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        fillers_.push_back(fd);
        full_ = !connectsQuickly(fd, addr);
    }
}

FullBacklogListener::~FullBacklogListener() {
    for (int fd : fillers_)
        ::close(fd);
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

} // namespace vantrel::test
