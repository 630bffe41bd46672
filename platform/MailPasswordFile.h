#pragma once

#include <string>

namespace vantrel {

// The mail password kept in a file of the user's own, for machines where no
// keyring answers (a server without a desktop). The file's first line is the
// password; a line end after it is not part of it. A file that its group or
// other users may read is refused, so the password is never taken from a
// place others can see it.
class MailPasswordFile {
public:
    enum class Status { Ok, Missing, Unreadable, TooOpen };
    struct Result {
        Status status = Status::Missing;
        std::string password;
        std::string message; // for anything but Ok: what is wrong, in a sentence
    };

    static Result read(const std::string& path);

    // Longer contents are refused: a password file holds one short line.
    static constexpr long kMaxBytes = 4096;
};

} // namespace vantrel
