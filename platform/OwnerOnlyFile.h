#pragma once

#include <string>

namespace vantrel {

// Reads a small file that only its owner may read, for secrets kept where no
// keyring answers. The file is checked as it is opened, so the file checked
// is the file read: a file that is missing, not a plain file, larger than
// the bound, or open to its group or other users is refused.
class OwnerOnlyFile {
public:
    enum class Status { Ok, Missing, Unreadable, TooLarge, TooOpen };
    struct Result {
        Status status = Status::Missing;
        std::string bytes;
        std::string error; // the system's reason when it could not be opened
    };

    static Result read(const std::string& path, long maxBytes);
};

} // namespace vantrel
