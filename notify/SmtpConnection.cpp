#include "notify/SmtpConnection.h"

#include "notify/EventPump.h"
#include "notify/SocketErrorText.h"

#include <string_view>

namespace vantrel {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kRetryPause{200};
constexpr int kMaxConnectRetries = 10;
constexpr int kAddressInUse = 10048;

// A line of a reply that another line follows: "250-...".
bool continues(std::string_view line) {
    return line.size() >= 4 && line[3] == '-';
}

milliseconds timeLeft(std::chrono::steady_clock::time_point deadline) {
    return std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
}

} // namespace

SmtpConnection::SmtpConnection(EventPump& pump, milliseconds connectTimeout, milliseconds replyTimeout,
                               std::size_t maxReply)
    : pump_(pump), replyTimeout_(replyTimeout), maxReply_(maxReply), socket_(connectTimeout) {
    socket_.setStopFd(pump_.stopSignal().wakeFd());
}

int SmtpConnection::connect(const std::string& host, std::uint16_t port, bool& retried) {
    auto once = [&] {
        int error = 0;
        pump_.runBlocking([&] { error = socket_.connect(host, port); });
        return error;
    };
    int error = once();
    for (int retries = 0; error == kAddressInUse && retries < kMaxConnectRetries; ++retries) {
        pump_.sleepFor(kRetryPause);
        error = once();
        retried = true;
    }
    return error;
}

int SmtpConnection::startTls(const std::string& serverName) {
    unread_.clear();
    int error = 0;
    pump_.runBlocking([&] {
        socket_.discardUnread();
        error = socket_.startTls(serverName, replyTimeout_);
    });
    return error;
}

int SmtpConnection::send(const std::string& line) {
    int error = 0;
    pump_.runBlocking([&] { error = socket_.sendAll(line, replyTimeout_); });
    return error;
}

int SmtpConnection::readReply(std::size_t limit, std::string& reply) {
    const auto deadline = std::chrono::steady_clock::now() + replyTimeout_;
    while (reply.size() < limit) {
        const milliseconds left = timeLeft(deadline);
        if (left.count() <= 0)
            return TcpSocket::kTimedOut;
        TcpSocket::Received r;
        pump_.runBlocking([&] { r = socket_.receive(reply, limit - reply.size(), left); });
        if (r.error != 0)
            return r.error;
        if (r.peerClosed || reply.ends_with('\n'))
            break;
    }
    return 0;
}

int SmtpConnection::readWholeReply(std::string& reply) {
    reply.clear();
    const auto deadline = std::chrono::steady_clock::now() + replyTimeout_;
    std::size_t lineStart = 0;
    auto takeAll = [&](int result) {
        reply = std::move(unread_);
        unread_.clear();
        return result;
    };
    while (true) {
        for (std::size_t end; (end = unread_.find('\n', lineStart)) != std::string::npos;) {
            const std::string_view line(unread_.data() + lineStart, end + 1 - lineStart);
            lineStart = end + 1;
            if (!continues(line)) {
                reply = unread_.substr(0, lineStart);
                unread_.erase(0, lineStart);
                return 0;
            }
        }
        if (unread_.size() >= maxReply_) {
            unread_.resize(maxReply_);
            return takeAll(SocketErrorText::kUnexpectedReply);
        }
        const milliseconds left = timeLeft(deadline);
        if (left.count() <= 0)
            return takeAll(TcpSocket::kTimedOut);
        TcpSocket::Received r;
        pump_.runBlocking([&] { r = socket_.receive(unread_, maxReply_ - unread_.size(), left); });
        if (r.error != 0 || r.peerClosed)
            return takeAll(r.error);
    }
}

} // namespace vantrel
