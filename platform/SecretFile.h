#pragma once

#include <string>

namespace vantrel {

// A secret kept in a file of the user's own, for machines where no keyring
// answers (a server without a desktop): the mail password, the metrics
// token. The file's first line is the secret; a line end after it is not
// part of it. As ssh treats its keys, the file is refused when it is a
// symbolic link (never followed, so the super-user cannot be led to another
// user's file), when it belongs to another user, or when its group or other
// users have any access to it.
class SecretFile {
public:
    enum class Status { Ok, Missing, Unreadable, TooOpen, NotOwned };
    struct Result {
        Status status = Status::Missing;
        std::string secret;
        std::string message; // for anything but Ok: what is wrong, in a sentence or two
    };

    // `what` names the file in the messages: "mail password file".
    static Result read(const std::string& path, const std::string& what);
    // The same checks, with the whole contents (up to `maxBytes`) as the
    // secret: for files that keep several secrets a line.
    static Result readAll(const std::string& path, const std::string& what, long maxBytes);

    // Longer contents are refused: a secret file holds one short line.
    static constexpr long kMaxBytes = 4096;
};

} // namespace vantrel
