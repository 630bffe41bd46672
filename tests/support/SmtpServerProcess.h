#pragma once

#include "tests/support/ChildProcess.h"

#include <memory>
#include <string>
#include <vector>

namespace vantrel::test {

// A real SMTP server (aiosmtpd, tests/support/smtp_server.py) on 127.0.0.1
// at a free port, started by the test and stopped with the object. Its
// messages, login log and output live in `dir`.
class SmtpServerProcess {
public:
    struct Options {
        std::string security = "none"; // "none", "starttls" or "tls"
        std::string cert, key;         // the server's certificate and key
        std::string login;             // "user:password" required; empty: none
        std::string mechanisms = "PLAIN,LOGIN";
        bool inject = false; // a line in the clear right behind the STARTTLS reply
    };

    SmtpServerProcess(const std::string& dir, const Options& options);

    // The system's Python with aiosmtpd, or empty when there is none.
    static std::string python();

    // Whether the server accepts connections.
    bool ready() const { return ready_; }
    int port() const { return port_; }
    std::string address(const std::string& host = "127.0.0.1") const;
    // The stored messages, as the server wrote them.
    std::vector<std::string> messages() const;
    // "PLAIN accepted", "LOGIN refused", ... one line per login.
    std::string authLog() const;
    std::string output() const;

private:
    std::string dir_;
    int port_ = 0;
    bool ready_ = false;
    std::unique_ptr<ChildProcess> process_;
};

} // namespace vantrel::test
