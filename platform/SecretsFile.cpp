#include "platform/SecretsFile.h"

#include "platform/OwnerOnlyFile.h"

#include <string_view>

namespace vantrel {

SecretsFile::Result SecretsFile::read(const std::string& path) {
    Result result;
    const OwnerOnlyFile::Result file = OwnerOnlyFile::read(path, kMaxBytes);
    switch (file.status) {
    case OwnerOnlyFile::Status::Ok:
        result.status = Status::Ok;
        break;
    case OwnerOnlyFile::Status::Missing:
    case OwnerOnlyFile::Status::Unreadable:
        result.status = file.status == OwnerOnlyFile::Status::Missing ? Status::Missing : Status::Unreadable;
        result.message = "The secrets file " + path + " cannot be read" +
                         (file.error.empty() ? std::string() : ": " + file.error) + ".";
        return result;
    case OwnerOnlyFile::Status::TooLarge:
        result.status = Status::Unreadable;
        result.message = "The secrets file " + path + " is not a small plain file.";
        return result;
    case OwnerOnlyFile::Status::TooOpen:
        result.status = Status::TooOpen;
        result.message =
            "The secrets file " + path +
            " can be read by other users, so Vantrel does not use it. Make it yours alone (chmod 600 " +
            path + ").";
        return result;
    }
    const std::string& bytes = file.bytes;
    std::string_view rest(bytes);
    while (!rest.empty()) {
        const size_t lf = rest.find('\n');
        std::string_view line = rest.substr(0, lf);
        rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const size_t blank = line.find(' ');
        if (line.empty() || line[0] == '#' || blank == std::string_view::npos || blank == 0)
            continue;
        result.secrets.emplace(std::string(line.substr(0, blank)), std::string(line.substr(blank + 1)));
    }
    return result;
}

} // namespace vantrel
