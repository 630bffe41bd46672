#include "platform/TcpSocket.h"

#include "platform/HostResolver.h"
#include "platform/SocketWait.h"
#include "platform/TlsSession.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

namespace vantrel {

namespace {

using Clock = std::chrono::steady_clock;

static_assert(TcpSocket::kTlsFailed == TlsSession::kFailed);

// Waits until `fd` is ready for `events` or the deadline passes. Returns 0
// when ready, 10060 when the time ran out, 10004 when `stopFd` turned
// readable first, or the code of a poll failure.
int waitFor(int fd, short events, Clock::time_point deadline, int stopFd) {
    int waited = socketwait::waitFor(fd, events, deadline, stopFd);
    return waited < 0 ? TcpSocket::errorFromErrno(errno) : waited;
}

} // namespace

TcpSocket::TcpSocket(std::chrono::milliseconds connectTimeout) : connectTimeout_(connectTimeout) {}

TcpSocket::~TcpSocket() {
    close();
}

void TcpSocket::close() {
    if (tls_)
        tls_->shutdown();
    tls_.reset();
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    connected_ = false;
}

int TcpSocket::connect(const std::string& host, std::uint16_t port) {
    close();
    const auto deadline = Clock::now() + connectTimeout_;

    HostResolver::Addresses list;
    if (int rc = HostResolver::resolve(host, port, deadline, list))
        return rc;

    int error = kNotConnected;
    for (addrinfo* a = list.get(); a; a = a->ai_next) {
        error = connectOne(a->ai_addr, a->ai_addrlen, a->ai_family, deadline);
        if (error == 0 || error == kTimedOut)
            break;
    }
    return error;
}

int TcpSocket::startTls(const std::string& serverName, std::chrono::milliseconds timeout) {
    tlsFailure_.clear();
    if (!connected_)
        return kNotConnected;
    if (tls_)
        return 10056; // already protected
    auto session = std::make_unique<TlsSession>();
    session->setStopFd(stopFd_);
    int error = session->handshake(fd_, serverName, Clock::now() + timeout);
    if (error != 0) {
        tlsFailure_ = session->reason();
        return error;
    }
    tls_ = std::move(session);
    return 0;
}

void TcpSocket::discardUnread() {
    if (!connected_ || tls_)
        return;
    char sink[4096];
    while (::recv(fd_, sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
}

std::string TcpSocket::localAddressLiteral() const {
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    char text[INET6_ADDRSTRLEN] = {};
    if (fd_ >= 0 && ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        if (local.ss_family == AF_INET &&
            ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&local)->sin_addr, text, sizeof text))
            return "[" + std::string(text) + "]";
        if (local.ss_family == AF_INET6 &&
            ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&local)->sin6_addr, text, sizeof text))
            return "[IPv6:" + std::string(text) + "]";
    }
    return "[127.0.0.1]";
}

int TcpSocket::connectOne(const void* address, unsigned addressLength, int family,
                          Clock::time_point deadline) {
    close();
    fd_ = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return errorFromErrno(errno);
    if (::connect(fd_, static_cast<const sockaddr*>(address), addressLength) != 0) {
        if (errno != EINPROGRESS && errno != EINTR)
            return errorFromErrno(errno);
        if (int waited = waitFor(fd_, POLLOUT, deadline, stopFd_))
            return waited;
        int soError = 0;
        socklen_t len = sizeof soError;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &soError, &len) != 0)
            return errorFromErrno(errno);
        if (soError != 0)
            return errorFromErrno(soError);
    }
    connected_ = true;
    return 0;
}

int TcpSocket::sendAll(std::string_view bytes, std::chrono::milliseconds timeout) {
    if (!connected_)
        return kNotConnected;
    const auto deadline = Clock::now() + timeout;
    if (tls_) {
        const int error = tls_->write(bytes, deadline);
        if (error == kTlsFailed)
            tlsFailure_ = tls_->reason();
        return error;
    }
    while (!bytes.empty()) {
        ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return errorFromErrno(errno);
        if (int waited = waitFor(fd_, POLLOUT, deadline, stopFd_))
            return waited;
    }
    return 0;
}

TcpSocket::Received TcpSocket::receive(std::string& out, std::size_t maxBytes,
                                       std::chrono::milliseconds timeout) {
    Received r;
    if (!connected_) {
        r.error = kNotConnected;
        return r;
    }
    if (maxBytes == 0)
        return r;
    const auto deadline = Clock::now() + timeout;
    const std::size_t oldSize = out.size();
    out.resize(oldSize + maxBytes);
    if (tls_) {
        r.error = tls_->read(out.data() + oldSize, maxBytes, r.bytes, deadline);
        r.peerClosed = r.error == 0 && r.bytes == 0;
        if (r.error == kTlsFailed)
            tlsFailure_ = tls_->reason();
        out.resize(oldSize + r.bytes);
        return r;
    }
    while (true) {
        ssize_t n = ::recv(fd_, out.data() + oldSize, maxBytes, 0);
        if (n > 0) {
            r.bytes = static_cast<std::size_t>(n);
            break;
        }
        if (n == 0) {
            r.peerClosed = true;
            break;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            r.error = errorFromErrno(errno);
            break;
        }
        if (int waited = waitFor(fd_, POLLIN, deadline, stopFd_)) {
            r.error = waited;
            break;
        }
    }
    out.resize(oldSize + r.bytes);
    return r;
}

int TcpSocket::errorFromErrno(int err) {
    switch (err) {
    case 0:
        return 0;
    case EINTR:
        return 10004;
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EAGAIN:
        return 10035;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
    case EBADF:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
        return 10054;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case EPIPE:
    case ESHUTDOWN:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    default:
        // No Windows Sockets counterpart: reported as an unrecoverable error.
        return 11003;
    }
}

int TcpSocket::errorFromResolver(int gaiResult, int err) {
    switch (gaiResult) {
    case 0:
        return 0;
    case EAI_NONAME:
        return 11001;
    case EAI_AGAIN:
        return 11002;
    case EAI_FAIL:
        return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return 11004;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
        return 11004;
#endif
    case EAI_MEMORY:
        return 10055;
    case EAI_FAMILY:
        return 10047;
    case EAI_SOCKTYPE:
        return 10044;
    case EAI_SYSTEM:
        return errorFromErrno(err);
    default:
        return 11003;
    }
}

} // namespace vantrel
