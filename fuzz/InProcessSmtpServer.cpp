#include "fuzz/InProcessSmtpServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vantrel::fuzz {

namespace {

// Room for the largest script in the socket buffers, so that it is sent whole
// without the client reading first.
constexpr int kBufferBytes = 4 * 1024 * 1024;

} // namespace

InProcessSmtpServer::InProcessSmtpServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int size = kBufferBytes;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 4) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        std::abort(); // no loopback listener, nothing to fuzz against
    port_ = ntohs(addr.sin_port);
}

InProcessSmtpServer::~InProcessSmtpServer() {
    finish();
    ::close(listenFd_);
}

std::string InProcessSmtpServer::address() const {
    return "127.0.0.1:" + std::to_string(port_);
}

void InProcessSmtpServer::acceptPending() {
    if (connFd_ >= 0)
        return;
    connFd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (connFd_ < 0)
        return;
    std::string_view left = script_;
    while (!left.empty()) {
        ssize_t n = ::send(connFd_, left.data(), left.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // what does not fit is not sent: the script ends there
        left.remove_prefix(static_cast<size_t>(n));
    }
    ::shutdown(connFd_, SHUT_WR);
}

std::string InProcessSmtpServer::finish() {
    std::string received;
    if (connFd_ < 0)
        return received;
    char buffer[16384];
    while (true) {
        ssize_t n = ::recv(connFd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        received.append(buffer, static_cast<size_t>(n));
    }
    linger reset{1, 0};
    ::setsockopt(connFd_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(connFd_);
    connFd_ = -1;
    return received;
}

} // namespace vantrel::fuzz
