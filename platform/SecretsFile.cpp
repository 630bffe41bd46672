#include "platform/SecretsFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

SecretsFile::Result SecretsFile::read(const std::string& path) {
    Result result;
    // Opened first and checked on the open file, so the file checked is the
    // file read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int err = errno;
        result.status = err == ENOENT ? Status::Missing : Status::Unreadable;
        result.message = "The secrets file " + path + " cannot be read: " + std::strerror(err) + ".";
        return result;
    }
    struct stat st {};
    std::string bytes;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxBytes) {
        result.status = Status::Unreadable;
        result.message = "The secrets file " + path + " is not a small plain file.";
    } else if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        result.status = Status::TooOpen;
        result.message =
            "The secrets file " + path +
            " can be read by other users, so Vantrel does not use it. Make it yours alone (chmod 600 " +
            path + ").";
    } else {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0 && static_cast<long>(bytes.size()) <= kMaxBytes)
            bytes.append(buf, static_cast<size_t>(n));
        if (n < 0) {
            result.status = Status::Unreadable;
            result.message = "The secrets file " + path + " cannot be read.";
        } else {
            result.status = Status::Ok;
        }
    }
    ::close(fd);
    if (result.status != Status::Ok)
        return result;
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
