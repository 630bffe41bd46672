#include "tests/support/HostileHttpServer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace vantrel::test {

namespace {

constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::size_t kStreamPiece = 64 * 1024;

std::size_t contentLength(std::string head) {
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::size_t at = head.find("\r\ncontent-length:");
    return at == std::string::npos ? 0 : std::strtoul(head.c_str() + at + 17, nullptr, 10);
}

} // namespace

HostileHttpServer::HostileHttpServer(Behaviour behaviour) : behaviour_(behaviour) {
    start();
}

HostileHttpServer::~HostileHttpServer() {
    stop();
}

void HostileHttpServer::setMarker(std::string marker, std::size_t offset) {
    std::lock_guard lock(mutex_);
    marker_ = std::move(marker);
    markerOffset_ = offset;
}

std::string HostileHttpServer::url(const std::string& path) const {
    return "http://" + hostPort() + path;
}

bool HostileHttpServer::waitServed(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return servedChanged_.wait_for(lock, timeout, [&] { return served_ >= count; });
}

std::string HostileHttpServer::garbage() {
    std::string bytes(4096, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return bytes;
}

bool HostileHttpServer::readRequest(int fd) const {
    std::string request;
    if (!readUntil(fd, request, [](const std::string& b) { return b.find(kHeaderEnd) != std::string::npos; }))
        return false;
    const std::size_t headEnd = request.find(kHeaderEnd) + kHeaderEnd.size();
    const std::size_t total = headEnd + contentLength(request.substr(0, headEnd));
    return readUntil(fd, request, [total](const std::string& b) { return b.size() >= total; });
}

// Sends `head`, then body pieces of `pieceSize` bytes with `interval`
// between them until a send fails for any reason but a full buffer (the
// client went away) or the server stops.
void HostileHttpServer::stream(int fd, const std::string& head, std::size_t pieceSize,
                               std::chrono::milliseconds interval) {
    std::string marker;
    std::size_t markerOffset = 0;
    {
        std::lock_guard lock(mutex_);
        marker = marker_;
        markerOffset = markerOffset_;
    }
    streamed_ = 0;
    clientLeft_ = false;
    if (!sendAll(fd, head)) {
        clientLeft_ = true;
        return;
    }
    std::size_t offset = 0;
    std::string piece;
    while (!stopping()) {
        piece.assign(pieceSize, '.');
        for (std::size_t i = 0; i < marker.size(); ++i) {
            const std::size_t at = markerOffset + i;
            if (at >= offset && at < offset + pieceSize)
                piece[at - offset] = marker[i];
        }
        std::size_t done = 0;
        while (done < piece.size() && !stopping()) {
            ssize_t n = ::send(fd, piece.data() + done, piece.size() - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                streamed_ += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
                continue;
            } else {
                clientLeft_ = true;
                return;
            }
        }
        offset += pieceSize;
        if (interval.count() > 0)
            pause(interval);
    }
}

void HostileHttpServer::serve(int& fd) {
    if (behaviour_ == Behaviour::NeverAnswer || readRequest(fd))
        misbehave(fd);
    std::lock_guard lock(mutex_);
    ++served_;
    servedChanged_.notify_all();
}

void HostileHttpServer::misbehave(int fd) {
    const std::string okHead = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n";
    switch (behaviour_) {
    case Behaviour::NeverAnswer:
        // Leaves the request unread; waits for the client to hang up.
        while (!stopping()) {
            pollfd p{fd, POLLRDHUP, 0};
            if (::poll(&p, 1, 20) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)))
                break;
        }
        break;
    case Behaviour::HeadersThenStall:
        sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100000\r\n\r\n<html>");
        holdUntilClosed(fd);
        break;
    case Behaviour::EndlessBody:
        stream(fd, okHead, kStreamPiece, std::chrono::milliseconds(0));
        break;
    case Behaviour::Drip:
        stream(fd, okHead, 1, dripInterval_);
        break;
    case Behaviour::Garbage:
        sendAll(fd, garbage());
        break;
    case Behaviour::GarbageThenStall:
        sendAll(fd, garbage());
        holdUntilClosed(fd);
        break;
    case Behaviour::EndlessHeader:
        stream(fd, "HTTP/1.1 200 OK\r\nX-Padding: ", kStreamPiece, std::chrono::milliseconds(0));
        break;
    }
}

} // namespace vantrel::test
