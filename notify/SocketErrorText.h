#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// The texts that mail failures are reported with: one per Windows Sockets
// error code, plus the mailer's own -20000 (greeting not accepted) and
// -20001 (a reply without the expected code). Unknown codes give
// "Error: Other Error".
class SocketErrorText {
public:
    static constexpr int kGreetingRefused = -20000;
    static constexpr int kUnexpectedReply = -20001;

    // The text for `code`; for kUnexpectedReply the server's reply follows
    // the fixed text directly.
    static std::string text(int code, std::string_view reply = {});
};

} // namespace vantrel
