#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vantrel {

class TlsSession;

// One TCP connection over POSIX sockets, optionally protected by TLS once
// connected (startTls). Every wait is bounded: resolving the name and
// connecting together by the timeout given to the constructor, the TLS
// handshake, sending and receiving by the timeout given to each call. Results are Windows Sockets error codes
// (0 for no error), so that mail reports read the same on every platform:
// ECONNREFUSED gives 10061, ETIMEDOUT and any wait that runs out 10060,
// ECONNRESET 10054, a socket that is not connected 10057, a name that cannot
// be resolved 11001 and so on (see errorFromErrno and errorFromResolver).
// Writing to a closed connection never raises SIGPIPE.
class TcpSocket {
public:
    static constexpr int kTimedOut = 10060;
    static constexpr int kNotConnected = 10057;
    // A failure of TLS itself; tlsFailureReason() says what it was.
    static constexpr int kTlsFailed = -20002;
    // A wait ended by a stop request (the blocking call was interrupted).
    static constexpr int kInterrupted = 10004;

    struct Received {
        std::size_t bytes = 0;   // bytes appended by this call
        bool peerClosed = false; // the peer ended the connection (no bytes)
        int error = 0;           // Windows Sockets code, 0 for none
    };

    explicit TcpSocket(std::chrono::milliseconds connectTimeout = std::chrono::seconds(60));
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Resolves `host` (name or numeric address) and connects to the first of
    // its addresses that accepts, all within the connect timeout. Returns 0
    // or the error of the last attempt. Closes any earlier connection first.
    int connect(const std::string& host, std::uint16_t port);

    // Runs the TLS handshake on the open connection within `timeout`, with
    // the server's certificate verified for `serverName` (see TlsSession).
    // From then on sendAll and receive carry their bytes through TLS.
    // Returns 0, a socket code, or kTlsFailed.
    int startTls(const std::string& serverName, std::chrono::milliseconds timeout);
    bool secure() const { return tls_ != nullptr; }
    const std::string& tlsFailureReason() const { return tlsFailure_; }

    // Drops whatever the peer has sent that has not been read, without
    // waiting: before a handshake nothing sent in the clear may be taken for
    // what follows it.
    void discardUnread();

    // This end's address as an SMTP address literal: "[192.0.2.1]" or
    // "[IPv6:2001:db8::1]"; "[127.0.0.1]" when it cannot be read.
    std::string localAddressLiteral() const;

    // Sends every byte, waiting at most `timeout` in all. Returns 0 or a code.
    int sendAll(std::string_view bytes, std::chrono::milliseconds timeout);

    // Waits at most `timeout` until something can be read, then appends what
    // has arrived, up to `maxBytes`, to `out`.
    Received receive(std::string& out, std::size_t maxBytes, std::chrono::milliseconds timeout);

    void close();
    bool isOpen() const { return fd_ >= 0; }

    // A descriptor that turns readable when the waits are to end early
    // (StopSignal::wakeFd); each wait then ends with kInterrupted.
    void setStopFd(int fd) { stopFd_ = fd; }

    static int errorFromErrno(int err);
    static int errorFromResolver(int gaiResult, int err);

private:
    int connectOne(const void* address, unsigned addressLength, int family,
                   std::chrono::steady_clock::time_point deadline);

    std::chrono::milliseconds connectTimeout_;
    int fd_ = -1;
    int stopFd_ = -1;
    bool connected_ = false;
    std::unique_ptr<TlsSession> tls_;
    std::string tlsFailure_;
};

} // namespace vantrel
