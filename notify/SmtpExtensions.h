#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// What a server's answer to EHLO offers: its keywords ("STARTTLS") and its
// login methods ("AUTH PLAIN LOGIN", or the older "AUTH=LOGIN"), matched
// without regard to case. The answer's first line names the server.
class SmtpExtensions {
public:
    explicit SmtpExtensions(std::string_view ehloReply = {});

    bool offers(std::string_view keyword) const;
    bool offersLogin(std::string_view mechanism) const;

private:
    std::vector<std::string> lines_; // one upper-case line each, the server's name left out
};

} // namespace vantrel
