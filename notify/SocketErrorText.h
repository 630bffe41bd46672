#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// The texts that mail failures are reported with: one per Windows Sockets
// error code, plus the mailer's own -20000 (greeting not accepted), -20001
// (a reply without the expected code) and those of the protected dialogue:
// -20002 (TLS failed), -20003 (STARTTLS asked for but not offered), -20004
// (a login asked for without encryption) and -20005 (no login method both
// sides know). Unknown codes give "Error: Other Error".
class SocketErrorText {
public:
    static constexpr int kGreetingRefused = -20000;
    static constexpr int kUnexpectedReply = -20001;
    static constexpr int kSecureConnectionFailed = -20002;
    static constexpr int kStartTlsNotOffered = -20003;
    static constexpr int kLoginNeedsEncryption = -20004;
    static constexpr int kNoLoginMethod = -20005;

    // The text for `code`; for kUnexpectedReply the server's reply follows
    // the fixed text directly, for kSecureConnectionFailed the reason
    // ("certificate not trusted", "name does not match", ...) and a full stop.
    static std::string text(int code, std::string_view detail = {});
};

} // namespace vantrel
