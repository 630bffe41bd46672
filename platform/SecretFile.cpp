#include "platform/SecretFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace vantrel {

SecretFile::Result SecretFile::read(const std::string& path, const std::string& what) {
    Result result = readAll(path, what, kMaxBytes);
    if (result.status == Status::Ok)
        result.secret = result.secret.substr(0, result.secret.find_first_of("\r\n"));
    return result;
}

SecretFile::Result SecretFile::readAll(const std::string& path, const std::string& what, long maxBytes) {
    Result result;
    const std::string file = "The " + what + " " + path;
    if (path.empty()) {
        result.message = "No " + what + " is set.";
        return result;
    }
    // Opened first and checked on the open file, so the file checked is the
    // file read; a symbolic link is not followed.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        const int err = errno;
        result.status = err == ENOENT ? Status::Missing : Status::Unreadable;
        result.message = err == ELOOP
                             ? file + " is a symbolic link, so Vantrel does not use it. Name the file "
                                      "itself."
                             : file + " cannot be read: " + std::strerror(err) + ".";
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxBytes) {
        ::close(fd);
        result.status = Status::Unreadable;
        result.message = file + " is not a small plain file.";
        return result;
    }
    if (st.st_uid != ::geteuid()) {
        ::close(fd);
        result.status = Status::NotOwned;
        result.message = file + " belongs to another user (uid " + std::to_string(st.st_uid) +
                         "), so Vantrel does not use it. Keep it in a file of your own.";
        return result;
    }
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        ::close(fd);
        result.status = Status::TooOpen;
        result.message = file +
                         " can be read by other users, so Vantrel does not use it. Make it yours alone "
                         "(chmod 600 " +
                         path + ").";
        return result;
    }
    std::string bytes;
    char buf[512];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 && static_cast<long>(bytes.size()) <= maxBytes)
        bytes.append(buf, static_cast<size_t>(n));
    const bool failed = n < 0;
    ::close(fd);
    if (failed) {
        result.status = Status::Unreadable;
        result.message = file + " cannot be read.";
        return result;
    }
    result.secret = std::move(bytes);
    result.status = Status::Ok;
    return result;
}

} // namespace vantrel
