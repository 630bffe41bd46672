#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

struct ssl_st;
struct ssl_ctx_st;
struct bio_st;
struct bio_method_st;

namespace vantrel {

// The TLS layer (OpenSSL's libssl) of one client connection, over a
// non-blocking socket that the caller owns. Every call waits with poll() and
// ends by its deadline. The server's certificate is verified against the
// system's trust store (SSL_CERT_FILE and SSL_CERT_DIR point elsewhere, as
// OpenSSL reads them) and checked against the name or address connected to;
// a host name is also sent as SNI. TLS 1.2 is the oldest version accepted.
//
// Results are Windows Sockets codes like TcpSocket's (10060 when a wait runs
// out, 10054 for a reset), or kFailed for a failure of TLS itself, whose
// reason() reads "certificate not trusted", "name does not match", or
// OpenSSL's own text for anything else.
class TlsSession {
public:
    static constexpr int kFailed = -20002;

    TlsSession();
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Runs the client handshake on `fd` for `serverName` (a host name or a
    // numeric address).
    // A descriptor that turns readable when the waits should end at once
    // (10004); -1 for none.
    void setStopFd(int fd) { stopFd_ = fd; }

    int handshake(int fd, const std::string& serverName, std::chrono::steady_clock::time_point deadline);

    // Sends every byte. Returns 0 or a code.
    int write(std::string_view bytes, std::chrono::steady_clock::time_point deadline);

    // Waits until at least one byte of application data has arrived, then
    // reads up to `maxBytes` of it into `buffer`. `bytes` 0 with result 0
    // means the peer ended the connection.
    int read(char* buffer, std::size_t maxBytes, std::size_t& bytes,
             std::chrono::steady_clock::time_point deadline);

    // Sends the close notification if the socket takes it at once; never
    // waits.
    void shutdown();

    const std::string& reason() const { return reason_; }

private:
    enum class Op { Handshake, Read, Write };
    // Runs one OpenSSL call until it completes, waiting on the socket as the
    // library asks. Returns the call's positive result, or 0 with `error`
    // set to the code of the failure (0 for an orderly close while reading).
    int drive(Op op, const void* in, std::size_t length, void* out, int& error,
              std::chrono::steady_clock::time_point deadline);
    int failure(int sslError, bool closed);

    static bio_method_st* socketMethod();

    static int bioWrite(bio_st* bio, const char* data, int length);
    static int bioRead(bio_st* bio, char* data, int length);
    static long bioCtrl(bio_st* bio, int command, long number, void* pointer);

    ssl_ctx_st* context_ = nullptr;
    ssl_st* ssl_ = nullptr;
    int fd_ = -1;
    int stopFd_ = -1;
    int socketErrno_ = 0; // errno of the last socket call that failed
    std::string reason_;
};

} // namespace vantrel
