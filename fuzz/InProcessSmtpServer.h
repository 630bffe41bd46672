#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel::fuzz {

// An SMTP server on 127.0.0.1 that runs on the caller's own thread: once the
// client has connected, acceptPending() takes the connection, sends it the
// whole script at once and half-closes it, so every read of the client ends
// at once, with data or with the end of the stream; nothing ever waits.
class InProcessSmtpServer {
public:
    InProcessSmtpServer();
    ~InProcessSmtpServer();
    InProcessSmtpServer(const InProcessSmtpServer&) = delete;
    InProcessSmtpServer& operator=(const InProcessSmtpServer&) = delete;

    // "127.0.0.1:<port>"
    std::string address() const;
    // What the next connection is sent.
    void setScript(std::string_view bytes) { script_.assign(bytes); }
    // Takes a connection the client has made, if there is one.
    void acceptPending();
    bool connected() const { return connFd_ >= 0; }
    // Everything the client sent on the connection; the connection is then
    // dropped with a reset, which leaves no socket behind in TIME_WAIT.
    std::string finish();

private:
    int listenFd_ = -1;
    int connFd_ = -1;
    std::uint16_t port_ = 0;
    std::string script_;
};

} // namespace vantrel::fuzz
