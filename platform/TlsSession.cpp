#include "platform/TlsSession.h"

#include "platform/SocketWait.h"
#include "platform/TcpSocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <netinet/in.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

namespace vantrel {

namespace {

using SteadyClock = std::chrono::steady_clock;

bool isNumericAddress(const std::string& host) {
    in6_addr v6{};
    in_addr v4{};
    return ::inet_pton(AF_INET, host.c_str(), &v4) == 1 || ::inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

// The words a user can act on for the two failures that matter most; the
// library's own text for the rarer ones ("certificate has expired", ...).
std::string verifyReason(long code) {
    switch (code) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return "name does not match";
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
        return "certificate not trusted";
    default:
        return X509_verify_cert_error_string(code);
    }
}

std::string libraryReason(const char* otherwise) {
    unsigned long err = ERR_peek_last_error();
    const char* reason = err ? ERR_reason_error_string(err) : nullptr;
    return reason ? reason : otherwise;
}

} // namespace

// Socket I/O of the TLS layer through send() with MSG_NOSIGNAL, so that a
// peer that is gone never raises SIGPIPE, and with the socket's errno kept
// for the session's result.
bio_method_st* TlsSession::socketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "vantrel socket");
        if (m) {
            BIO_meth_set_write(m, &TlsSession::bioWrite);
            BIO_meth_set_read(m, &TlsSession::bioRead);
            BIO_meth_set_ctrl(m, &TlsSession::bioCtrl);
        }
        return m;
    }();
    return method;
}

int TlsSession::bioWrite(bio_st* bio, const char* data, int length) {
    auto* self = static_cast<TlsSession*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    ssize_t n = ::send(self->fd_, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    if (n >= 0)
        return static_cast<int>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        BIO_set_retry_write(bio);
    else
        self->socketErrno_ = errno;
    return -1;
}

int TlsSession::bioRead(bio_st* bio, char* data, int length) {
    auto* self = static_cast<TlsSession*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    ssize_t n = ::recv(self->fd_, data, static_cast<std::size_t>(length), 0);
    if (n >= 0)
        return static_cast<int>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        BIO_set_retry_read(bio);
    else
        self->socketErrno_ = errno;
    return -1;
}

long TlsSession::bioCtrl(bio_st*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

TlsSession::TlsSession() = default;

TlsSession::~TlsSession() {
    SSL_free(ssl_); // frees the BIO too
    SSL_CTX_free(context_);
}

int TlsSession::handshake(int fd, const std::string& serverName, SteadyClock::time_point deadline) {
    fd_ = fd;
    reason_.clear();
    ERR_clear_error();
    BIO_METHOD* method = socketMethod();
    context_ = SSL_CTX_new(TLS_client_method());
    if (!method || !context_) {
        reason_ = libraryReason("TLS could not be set up");
        return kFailed;
    }
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
#ifdef SSL_OP_IGNORE_UNEXPECTED_EOF
    // A server that drops the connection without a close notification after
    // QUIT is common; every reply has its own end, so nothing is lost.
    SSL_CTX_set_options(context_, SSL_OP_IGNORE_UNEXPECTED_EOF);
#endif
    SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
    if (SSL_CTX_set_default_verify_paths(context_) != 1) {
        reason_ = "the system's trusted certificates cannot be read";
        return kFailed;
    }
    ssl_ = SSL_new(context_);
    BIO* bio = ssl_ ? BIO_new(method) : nullptr;
    if (!bio) {
        reason_ = libraryReason("TLS could not be set up");
        return kFailed;
    }
    BIO_set_data(bio, this);
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl_, bio, bio);
    SSL_set_connect_state(ssl_);

    bool named = false;
    if (isNumericAddress(serverName)) {
        // An address is checked against the certificate's IP entries and,
        // as TLS wants, not sent as a server name.
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), serverName.c_str()) == 1;
    } else if (!serverName.empty()) {
        SSL_set_hostflags(ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        named = SSL_set_tlsext_host_name(ssl_, serverName.c_str()) == 1 &&
                SSL_set1_host(ssl_, serverName.c_str()) == 1;
    }
    if (!named) {
        reason_ = "name does not match";
        return kFailed;
    }

    int error = 0;
    drive(Op::Handshake, nullptr, 0, nullptr, error, deadline);
    return error;
}

int TlsSession::write(std::string_view bytes, SteadyClock::time_point deadline) {
    while (!bytes.empty()) {
        int error = 0;
        int n = drive(Op::Write, bytes.data(), bytes.size(), nullptr, error, deadline);
        if (n <= 0)
            return error != 0 ? error : TcpSocket::errorFromErrno(EPIPE);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

int TlsSession::read(char* buffer, std::size_t maxBytes, std::size_t& bytes,
                     SteadyClock::time_point deadline) {
    bytes = 0;
    if (maxBytes == 0)
        return 0;
    int error = 0;
    int n = drive(Op::Read, nullptr, maxBytes, buffer, error, deadline);
    if (n > 0)
        bytes = static_cast<std::size_t>(n);
    return error;
}

void TlsSession::shutdown() {
    if (ssl_ && SSL_is_init_finished(ssl_)) {
        socketErrno_ = 0;
        SSL_shutdown(ssl_);
    }
    ERR_clear_error();
}

int TlsSession::drive(Op op, const void* in, std::size_t length, void* out, int& error,
                      SteadyClock::time_point deadline) {
    error = 0;
    const int chunk = static_cast<int>(std::min<std::size_t>(length, INT_MAX));
    while (true) {
        ERR_clear_error();
        socketErrno_ = 0;
        int rc = 0;
        switch (op) {
        case Op::Handshake:
            rc = SSL_connect(ssl_);
            break;
        case Op::Read:
            rc = SSL_read(ssl_, out, chunk);
            break;
        case Op::Write:
            rc = SSL_write(ssl_, in, chunk);
            break;
        }
        if (rc > 0)
            return rc;
        const int sslError = SSL_get_error(ssl_, rc);
        if (sslError == SSL_ERROR_WANT_READ || sslError == SSL_ERROR_WANT_WRITE) {
            const short events = sslError == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
            const int waited = socketwait::waitFor(fd_, events, deadline, stopFd_);
            if (waited == 0)
                continue;
            error = waited > 0 ? waited : TcpSocket::errorFromErrno(errno);
            return 0;
        }
        // The peer ended the connection: for a read that is its orderly end.
        const bool closed = sslError == SSL_ERROR_ZERO_RETURN ||
                            (sslError == SSL_ERROR_SYSCALL && socketErrno_ == 0 && ERR_peek_error() == 0);
        if (closed && op == Op::Read)
            return 0;
        error = failure(sslError, closed);
        return 0;
    }
}

int TlsSession::failure(int sslError, bool closed) {
    if (sslError == SSL_ERROR_SYSCALL && socketErrno_ != 0)
        return TcpSocket::errorFromErrno(socketErrno_);
    const long verify = ssl_ ? SSL_get_verify_result(ssl_) : X509_V_OK;
    if (verify != X509_V_OK)
        reason_ = verifyReason(verify);
    else if (closed)
        reason_ = SSL_is_init_finished(ssl_) ? "the server ended the connection"
                                             : "the server ended the connection during the handshake";
    else
        reason_ = libraryReason("TLS error");
    return kFailed;
}

} // namespace vantrel
