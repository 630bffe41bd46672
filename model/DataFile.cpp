#include "model/DataFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

namespace {

bool hasWriteBits(const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// A temporary file that no save has touched for this long belongs to a save
// that never finished (the process was killed or the machine went down):
// the longest real save is a write and a flush of a few megabytes.
constexpr time_t kStaleAfterSeconds = 60;

// Temporary files are hidden and named after their file, ".vantrel.dat.XXXXXX",
// a name no one gives a file of their own.
std::string temporaryName(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return folder + "." + base + ".";
}

// Removes the temporary files of `path` that saves killed before their end
// left behind, so that they do not pile up.
void removeStaleTemporaries(const std::string& path) {
    const std::string dir = directoryOf(path);
    const std::string start = temporaryName(path);
    const std::string prefix = start.substr(start.rfind('/') + 1); // npos + 1 is 0
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return;
    const time_t now = ::time(nullptr);
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string full = dir + "/" + name;
        struct stat st {};
        if (::lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            now - st.st_mtime > kStaleAfterSeconds)
            ::unlink(full.c_str());
    }
    ::closedir(d);
}

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::optional<std::string> DataFile::readOrCreate(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        int created = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (created >= 0)
            ::close(created);
        return std::string();
    }
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string bytes;
    if (st.st_size > 0)
        bytes.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    while (true) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break; // a read error ends the file, as a failing stream does
        }
        if (n == 0)
            break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return bytes;
}

bool DataFile::writeAtomically(const std::string& path, const std::string& bytes) {
    struct stat st {};
    mode_t mode = 0666 & ~[] {
        mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }();
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode) || !hasWriteBits(st) || ::access(path.c_str(), W_OK) != 0)
            return false;
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return false;
    }
    const std::string dir = directoryOf(path);
    struct stat dirSt {};
    if (::stat(dir.c_str(), &dirSt) != 0 || !hasWriteBits(dirSt) || ::access(dir.c_str(), W_OK) != 0)
        return false;

    std::string tmpl = temporaryName(path) + "XXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = ::rename(tmpl.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(tmpl.c_str());
    else
        removeStaleTemporaries(path);
    return ok;
}

} // namespace vantrel
