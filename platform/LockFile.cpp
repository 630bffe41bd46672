#include "platform/LockFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

namespace {

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The data files' rule: a folder without write permission bits takes no new
// files, whoever asks.
bool folderTakesFiles(const std::string& dir) {
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && ::access(dir.c_str(), W_OK) == 0;
}

} // namespace

LockFile::LockFile(std::string path) : path_(std::move(path)) {}

LockFile::~LockFile() {
    release();
}

std::string LockFile::contentsFor(long long pid, const std::string& name, const std::string& host,
                                  const std::string& machineId, const std::string& bootId) {
    return std::to_string(pid) + "\n" + name + "\n" + host + "\n" + machineId + "\n" + bootId + "\n";
}

LockFile::Result LockFile::create(const std::string& contents) {
    if (fd_ >= 0)
        return Result::Taken;
    if (!folderTakesFiles(folderOf(path_))) {
        struct stat st {};
        return ::lstat(path_.c_str(), &st) == 0 ? Result::Exists : Result::NoFolder;
    }
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        if (errno == EEXIST)
            return Result::Exists;
        error_ = std::strerror(errno);
        return errno == EACCES || errno == EROFS || errno == EPERM ? Result::NoFolder : Result::Failed;
    }
    // A short write (a full disk) leaves a file no one can read: it goes again.
    const bool written =
        ::write(fd, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size()) &&
        ::fsync(fd) == 0;
    if (!written) {
        error_ = std::strerror(errno);
        ::unlink(path_.c_str());
        ::close(fd);
        return Result::Failed;
    }
    // Advisory only: QLockFile of older versions will not remove a file
    // whose lock is held.
    (void)::flock(fd, LOCK_EX | LOCK_NB);
    fd_ = fd;
    return Result::Taken;
}

std::optional<LockFile::Owner> LockFile::owner() const {
    struct stat st {};
    if (::lstat(path_.c_str(), &st) != 0)
        return std::nullopt;
    Owner owner;
    owner.refreshed = st.st_mtime;
    owner.device = st.st_dev;
    owner.inode = st.st_ino;
    const int fd =
        S_ISREG(st.st_mode) ? ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK) : -1;
    if (fd < 0)
        return owner;
    char buf[1024];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    const std::string text(buf, n > 0 ? static_cast<size_t>(n) : 0);
    // pid, name, host: anything less is a file cut short or garbage.
    const size_t first = text.find('\n');
    const size_t second = first == std::string::npos ? first : text.find('\n', first + 1);
    const size_t third = second == std::string::npos ? second : text.find('\n', second + 1);
    if (third == std::string::npos || first == 0 || first > 20 ||
        text.find_first_not_of("0123456789") != first)
        return owner;
    owner.pid = std::stoll(text.substr(0, first));
    owner.host = text.substr(second + 1, third - second - 1);
    return owner;
}

LockFile::Result LockFile::takeOver(const Owner& judged, const std::string& contents) {
    if (!folderTakesFiles(folderOf(path_)))
        return Result::NoFolder; // nothing is removed from such a folder either
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0) {
        if (st.st_dev != judged.device || st.st_ino != judged.inode)
            return Result::Exists;
        if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
            error_ = std::strerror(errno);
            return Result::Failed;
        }
    }
    return create(contents);
}

bool LockFile::stillOurs() const {
    struct stat mine {
    }, there{};
    return fd_ >= 0 && ::fstat(fd_, &mine) == 0 && ::lstat(path_.c_str(), &there) == 0 &&
           mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
}

bool LockFile::refresh() {
    if (!stillOurs())
        return false;
    return ::futimens(fd_, nullptr) == 0;
}

void LockFile::release() {
    if (fd_ < 0)
        return;
    if (stillOurs())
        ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
}

} // namespace vantrel
