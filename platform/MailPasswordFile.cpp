#include "platform/MailPasswordFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

MailPasswordFile::Result MailPasswordFile::read(const std::string& path) {
    Result result;
    if (path.empty()) {
        result.message = "No mail password file is set.";
        return result;
    }
    // Opened first and checked on the open file, so the file checked is the
    // file read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int err = errno;
        result.status = err == ENOENT ? Status::Missing : Status::Unreadable;
        result.message = "The mail password file " + path + " cannot be read: " + std::strerror(err) + ".";
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxBytes) {
        ::close(fd);
        result.status = Status::Unreadable;
        result.message = "The mail password file " + path + " is not a small plain file.";
        return result;
    }
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        ::close(fd);
        result.status = Status::TooOpen;
        result.message = "The mail password file " + path +
                         " can be read by other users, so Vantrel does not use it. Make it yours alone "
                         "(chmod 600 " +
                         path + ").";
        return result;
    }
    std::string bytes;
    char buf[512];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 && static_cast<long>(bytes.size()) <= kMaxBytes)
        bytes.append(buf, static_cast<size_t>(n));
    const bool failed = n < 0;
    ::close(fd);
    if (failed) {
        result.status = Status::Unreadable;
        result.message = "The mail password file " + path + " cannot be read.";
        return result;
    }
    const size_t end = bytes.find_first_of("\r\n");
    result.password = bytes.substr(0, end);
    result.status = Status::Ok;
    return result;
}

} // namespace vantrel
