#pragma once

#include "platform/TcpSocket.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

class EventPump;

// The transport under one SMTP dialogue: connecting (tried again while the
// local address is in use), the TLS handshake from the first byte or after
// STARTTLS, sending a command line and reading replies. Every socket call
// runs through EventPump::runBlocking, and a stop requested through the pump
// ends each wait (10004). Sending and each reply are bounded by the reply
// time, the handshake too; connecting by the connect time.
class SmtpConnection {
public:
    SmtpConnection(EventPump& pump, std::chrono::milliseconds connectTimeout,
                   std::chrono::milliseconds replyTimeout, std::size_t maxReply);

    // 0 or the error. `retried` is set when the address was in use at first.
    int connect(const std::string& host, std::uint16_t port, bool& retried);
    // Whatever the server sent in the clear and has not been read is dropped
    // first: it must not pass for a reply over the protected connection.
    int startTls(const std::string& serverName);
    int send(const std::string& line);
    // One reply as one read brings it: until what has arrived ends with a
    // line end, `limit` bytes have arrived, the peer closes, or the reply
    // time runs out (10060). Whatever arrives later belongs to the next one.
    int readReply(std::size_t limit, std::string& reply);
    // One whole reply, every line of a multi-line one included: up to and
    // with the first line that is not "ddd-...". Beyond `maxReply` bytes it
    // fails as a reply without the expected code. What arrives after its
    // last line stays for the next one.
    int readWholeReply(std::string& reply);

    bool secure() const { return socket_.secure(); }
    const std::string& tlsFailureReason() const { return socket_.tlsFailureReason(); }
    std::string localAddressLiteral() const { return socket_.localAddressLiteral(); }
    void close() { socket_.close(); }

private:
    EventPump& pump_;
    std::chrono::milliseconds replyTimeout_;
    std::size_t maxReply_;
    TcpSocket socket_;
    std::string unread_; // what arrived beyond the last whole reply
};

} // namespace vantrel
