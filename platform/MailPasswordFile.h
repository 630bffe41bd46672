#pragma once

#include "platform/SecretFile.h"

#include <string>

namespace vantrel {

// The mail password kept in a file of the user's own (SecretFile's rules),
// for machines where no keyring answers.
class MailPasswordFile {
public:
    using Status = SecretFile::Status;
    struct Result {
        Status status = Status::Missing;
        std::string password;
        std::string message; // for anything but Ok: what is wrong, in a sentence
    };

    static Result read(const std::string& path);
};

} // namespace vantrel
