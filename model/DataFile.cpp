#include "model/DataFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/resource.h>
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

// Whether new files can be made in `dir`: it has write permission bits (a
// folder made read-only stays so, even for a process that could override
// them) and the process may write there.
bool folderWritable(const std::string& dir) {
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && hasWriteBits(st) &&
           ::access(dir.c_str(), W_OK) == 0;
}

// The file a save of `path` writes: `path` itself when it is not a symbolic
// link, else the end of its chain of links, which may not exist yet (a
// dangling link then has its target created). nullopt when the chain cannot
// be followed (a loop, no access).
std::optional<std::string> resolveTarget(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops <= 40; ++hops) { // the kernel's own limit on links in a chain
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0)
            return errno == ENOENT ? std::optional<std::string>(current) : std::nullopt;
        if (!S_ISLNK(st.st_mode))
            return current;
        if (char* real = ::realpath(current.c_str(), nullptr)) {
            std::string resolved = real;
            std::free(real);
            return resolved;
        }
        if (errno != ENOENT)
            return std::nullopt;
        // A dangling link: follow it one step by hand.
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size())
            return std::nullopt;
        target.resize(static_cast<size_t>(n));
        current = target[0] == '/' ? target : directoryOf(current) + "/" + target;
    }
    return std::nullopt;
}

// Flushes a folder's entries to disk, so that a rename in it is durable. A
// file system that cannot flush folders (EINVAL) has nothing to flush; a
// folder that cannot be opened for reading cannot be flushed by anyone.
bool syncFolder(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return true;
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
    ::close(fd);
    return ok;
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

constexpr size_t kRandomChars = 6;

// Creates a new temporary file for `path` with `mode` (the process's umask
// applies, as to any new file), open for writing. Returns the descriptor and
// fills `name`, or -1.
int createTemporary(const std::string& path, mode_t mode, std::string& name) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const std::string start = temporaryName(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[kRandomChars] = {};
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
            // No entropy to be had: the time and the attempt still make the
            // name unlikely to be taken, and O_EXCL makes a taken one harmless.
            const unsigned long seed = static_cast<unsigned long>(::time(nullptr)) * 2654435761UL +
                                       static_cast<unsigned long>(::getpid()) * 40503UL +
                                       static_cast<unsigned long>(attempt);
            for (size_t i = 0; i < kRandomChars; ++i)
                random[i] = static_cast<unsigned char>(seed >> (i * 5));
        }
        name = start;
        for (unsigned char r : random)
            name += kAlphabet[r % (sizeof kAlphabet - 1)];
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
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
        if (name.size() != prefix.size() + kRandomChars || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string full = dir + "/" + name;
        struct stat st {};
        if (::lstat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            now - st.st_mtime > kStaleAfterSeconds)
            ::unlink(full.c_str());
    }
    ::closedir(d);
}

// Writes all of `bytes` from the start of the file, whatever its position.
// Every file written here is written whole: a new temporary file or copy,
// or a file replaced in place.
bool writeWhole(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// The atomic way: a temporary file beside `target`, renamed over it. `old`
// is the file being replaced, or null when there is none yet.
bool replaceByRename(const std::string& target, const std::string& bytes, const struct stat* old) {
    std::string tmp;
    // A new file gets the mode every new file of the process gets; a
    // replacement starts private and then takes the old file's mode.
    const int fd = createTemporary(target, old ? 0600 : 0666, tmp);
    if (fd < 0)
        return false;
    bool ok = true;
    if (old) {
        struct stat mine {};
        if (::fstat(fd, &mine) == 0 && (mine.st_uid != old->st_uid || mine.st_gid != old->st_gid)) {
            // Owner and group where the process may give them (as the
            // super-user), else at least the group (an owner may give any
            // group it belongs to); else the new file is the process's own,
            // as every file it makes. Changing the owner clears set-id bits,
            // so the mode comes after.
            if (::fchown(fd, old->st_uid, old->st_gid) != 0)
                (void)!::fchown(fd, static_cast<uid_t>(-1), old->st_gid);
        }
        ok = ::fchmod(fd, old->st_mode & 07777) == 0;
    }
    ok = ok && writeWhole(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    removeStaleTemporaries(target);
    return syncFolder(directoryOf(target));
}

// In place, for a file whose inode must stay (hard links) or whose folder
// takes no new files. `old` describes the file as checked before.
bool writeInPlace(const std::string& target, const std::string& bytes, const struct stat& old) {
    // Non-blocking, so that something put in the file's place since the
    // check cannot hold the open; it is then refused below.
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat now {};
    bool ok = ::fstat(fd, &now) == 0 && S_ISREG(now.st_mode) && now.st_dev == old.st_dev &&
              now.st_ino == old.st_ino && ::fcntl(fd, F_SETFL, 0) == 0;
    const off_t newSize = static_cast<off_t>(bytes.size());
    rlimit limit{};
    if (ok && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<rlim_t>(newSize) > limit.rlim_cur)
        ok = false; // the write would be cut at the file size limit
    if (ok && newSize > now.st_size) {
        // Reserve the room beyond the old end first: a full disk or a file
        // size limit then fails the save with the old contents untouched.
        // File systems that cannot reserve go on without it.
        if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, now.st_size, newSize - now.st_size) != 0)
            ok = errno == EOPNOTSUPP || errno == ENOSYS;
    }
    ok = ok && writeWhole(fd, bytes) && ::ftruncate(fd, newSize) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    return ok;
}

} // namespace

std::optional<std::string> DataFile::readOrCreate(const std::string& path) {
    // Anything but a regular file is refused before it is opened (opening a
    // device can act on it); the open is non-blocking too, so a FIFO put in
    // the file's place meanwhile opens at once rather than waiting for a
    // writer, and is refused after the open.
    struct stat before {};
    if (::stat(path.c_str(), &before) == 0 && !S_ISREG(before.st_mode))
        return std::nullopt;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && errno == ENOENT) {
        int created = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (created >= 0)
            ::close(created);
        return std::string();
    }
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, 0) != 0) {
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

bool DataFile::holdsBytes(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

bool DataFile::save(const std::string& path, const std::string& bytes) {
    const std::optional<std::string> target = resolveTarget(path);
    if (!target)
        return false;
    struct stat st {};
    if (::stat(target->c_str(), &st) != 0) {
        if (errno != ENOENT || !folderWritable(directoryOf(*target)))
            return false;
        return replaceByRename(*target, bytes, nullptr);
    }
    if (!S_ISREG(st.st_mode) || !hasWriteBits(st) || ::access(target->c_str(), W_OK) != 0)
        return false;
    if (st.st_nlink > 1 || !folderWritable(directoryOf(*target)))
        return writeInPlace(*target, bytes, st);
    return replaceByRename(*target, bytes, &st);
}

std::optional<std::string> DataFile::keepCopy(const std::string& path, std::string_view bytes,
                                              const std::string& stamp) {
    // The same rule as for a save: a folder without write permission bits
    // takes no new files, whoever asks.
    if (!folderWritable(directoryOf(path)))
        return std::nullopt;
    struct stat st {};
    const mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0666) : 0600;
    const std::string base = path + ".unreadable-" + stamp;
    for (int n = 1; n < 1000; ++n) {
        const std::string name = n == 1 ? base : base + "-" + std::to_string(n);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return std::nullopt;
        }
        bool ok = writeWhole(fd, bytes) && ::fsync(fd) == 0;
        ok = (::close(fd) == 0) && ok;
        if (!ok) {
            ::unlink(name.c_str());
            return std::nullopt;
        }
        syncFolder(directoryOf(name));
        return name;
    }
    return std::nullopt;
}

} // namespace vantrel
