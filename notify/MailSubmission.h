#pragma once

#include "model/ExtraSettings.h"

#include <string>

namespace vantrel {

// How a mail is submitted beyond the plain dialogue: the connection's
// protection and the login. With security None and no user the dialogue is
// the plain one, byte for byte. The password comes from the window's side
// (the desktop keyring or a file named in the settings), never from a file
// of the engine's own.
struct MailSubmission {
    MailSecurity security = MailSecurity::None;
    std::string user;
    std::string password;

    bool plain() const { return security == MailSecurity::None && user.empty(); }
    bool operator==(const MailSubmission&) const = default;
};

} // namespace vantrel
