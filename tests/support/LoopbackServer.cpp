#include "tests/support/LoopbackServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace vantrel::test {

namespace {

constexpr int kSliceMs = 20;

} // namespace

LoopbackServer::LoopbackServer(std::uint16_t port) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        throw std::runtime_error("socket failed");
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    socklen_t len = sizeof addr;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 256) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(addr.sin_port);
}

LoopbackServer::~LoopbackServer() {
    stop();
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

std::string LoopbackServer::hostPort() const {
    return "127.0.0.1:" + std::to_string(port_);
}

void LoopbackServer::start() {
    thread_ = std::thread([this] { run(); });
}

void LoopbackServer::stop() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    for (std::thread& t : connectionThreads_)
        t.join();
    connectionThreads_.clear();
}

void LoopbackServer::run() {
    while (!stopping()) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, kSliceMs) <= 0)
            continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++connections_;
        // Sends never block for long: a client that stops reading cannot
        // hold the server.
        timeval tv{static_cast<time_t>(kIoTimeout.count() / 1000), 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        auto serveOne = [this](int connection) {
            serve(connection);
            if (connection >= 0)
                ::close(connection);
        };
        if (concurrent_)
            connectionThreads_.emplace_back(serveOne, fd);
        else
            serveOne(fd);
    }
}

bool LoopbackServer::readUntil(int fd, std::string& buffer,
                               const std::function<bool(const std::string&)>& done,
                               std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done(buffer)) {
        if (stopping() || std::chrono::steady_clock::now() >= deadline)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kSliceMs) <= 0)
            continue;
        char chunk[65536];
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        buffer.append(chunk, static_cast<size_t>(n));
    }
    return true;
}

void LoopbackServer::drainUntilClosed(int fd, std::string& buffer, std::chrono::milliseconds timeout) const {
    readUntil(
        fd, buffer, [](const std::string&) { return false; }, timeout);
}

void LoopbackServer::holdUntilClosed(int fd) const {
    while (!stopping()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kSliceMs) <= 0)
            continue;
        char chunk[4096];
        if (::recv(fd, chunk, sizeof chunk, 0) <= 0)
            return;
    }
}

bool LoopbackServer::sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void LoopbackServer::resetAndClose(int& fd) {
    linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(fd);
    fd = -1;
}

void LoopbackServer::pause(std::chrono::milliseconds duration) const {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (!stopping() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min<long long>(kSliceMs, duration.count())));
}

} // namespace vantrel::test
