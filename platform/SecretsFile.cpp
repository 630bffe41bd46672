#include "platform/SecretsFile.h"

#include "platform/SecretFile.h"

#include <string_view>

namespace vantrel {

SecretsFile::Result SecretsFile::read(const std::string& path) {
    Result result;
    const SecretFile::Result file = SecretFile::readAll(path, "secrets file", kMaxBytes);
    switch (file.status) {
    case SecretFile::Status::Ok:
        result.status = Status::Ok;
        break;
    case SecretFile::Status::Missing:
        result.status = Status::Missing;
        break;
    case SecretFile::Status::Unreadable:
        result.status = Status::Unreadable;
        break;
    case SecretFile::Status::TooOpen:
    case SecretFile::Status::NotOwned:
        result.status = Status::TooOpen;
        break;
    }
    if (result.status != Status::Ok) {
        result.message = file.message;
        return result;
    }
    const std::string& bytes = file.secret;
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
