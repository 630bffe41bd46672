#include "monitor/CheckLog.h"

#include "model/Settings.h"
#include "monitor/MonitorView.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

namespace {

// The data files' rule for new files: a folder without write permission
// bits takes none, even from the super-user.
bool mayCreateIn(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

// Appends all of `bytes`; on failure the file is cut back to `start`, so a
// record is never left half written. Returns 0 or the error.
int appendAll(int fd, const std::string& bytes, off_t start) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            (void)!::ftruncate(fd, start);
            return err;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

} // namespace

CheckLog::CheckLog(MonitorView& view) : view_(view), notice_(&view, kOpenErrorCaption) {}

void CheckLog::writeLogRecord(const Settings& settings, const std::string& record) {
    const std::string name = settings.logFile.empty() ? kDefaultFileName : settings.logFile;
    int flags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY;
    if (::access(name.c_str(), F_OK) != 0 && mayCreateIn(name))
        flags |= O_CREAT;
    const int fd = ::open(name.c_str(), flags, 0666);
    if (fd < 0) {
        view_.messageBox(kOpenErrorText, kOpenErrorCaption);
        return;
    }
    for (char c : record) {
        if (c == '\n')
            pending_ += '\r';
        pending_ += c;
    }
    struct stat st {};
    int err = ::fstat(fd, &st) == 0 ? appendAll(fd, pending_, st.st_size) : errno;
    if (::close(fd) != 0 && err == 0)
        err = errno; // a file system that reports a failed write only at the close
    if (err != 0) {
        if (pending_.size() > kMaxPendingBytes) // the oldest records go, at a line start
            pending_.erase(0, pending_.find("\r\n", pending_.size() - kMaxPendingBytes));
        notice_.failed("the log " + name, std::strerror(err));
        return;
    }
    pending_.clear();
    notice_.succeeded("the log " + name);
}

} // namespace vantrel
