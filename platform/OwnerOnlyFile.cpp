#include "platform/OwnerOnlyFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

OwnerOnlyFile::Result OwnerOnlyFile::read(const std::string& path, long maxBytes) {
    Result result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        result.status = errno == ENOENT ? Status::Missing : Status::Unreadable;
        result.error = std::strerror(errno);
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxBytes) {
        result.status = Status::TooLarge;
    } else if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        result.status = Status::TooOpen;
    } else {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0 && static_cast<long>(result.bytes.size()) <= maxBytes)
            result.bytes.append(buf, static_cast<size_t>(n));
        result.status = n < 0 ? Status::Unreadable : Status::Ok;
    }
    ::close(fd);
    if (result.status != Status::Ok)
        result.bytes.clear();
    return result;
}

} // namespace vantrel
