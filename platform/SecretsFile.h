#pragma once

#include <map>
#include <string>

namespace vantrel {

// Secrets kept in a file of the user's own, for machines where no keyring
// answers (a server without a desktop). Each line is a key, one blank and
// the secret, which runs to the end of the line:
//
//   site:https://example.com/health s3cret token
//
// Empty lines and lines beginning with "#" are skipped. The file is checked
// as the mail password file is (SecretFile): a link, another user's file, or
// one its group or other users may read is refused, so a secret is never
// taken from a place others can see or swap.
class SecretsFile {
public:
    enum class Status { Ok, Missing, Unreadable, TooOpen }; // TooOpen: open to others, or not the user's own
    struct Result {
        Status status = Status::Missing;
        std::map<std::string, std::string> secrets;
        std::string message; // for anything but Ok: what is wrong, in a sentence
    };

    static Result read(const std::string& path);

    static constexpr long kMaxBytes = 64 * 1024;
};

} // namespace vantrel
