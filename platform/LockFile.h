#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <sys/types.h>

namespace vantrel {

// A lock file that says a folder is in use, and by whom: the holder's pid,
// program name, host name, machine id and boot id, a line each (the lines
// Qt's QLockFile writes, so that older versions of the program, which used
// it, read the file as held). Only the file system is touched here; whether
// a holder still runs is for the caller to find out.
//
// The file is made only in a folder with write permission bits, as the data
// files are, even by a process that could write without them. While held, it
// is kept open with an advisory lock (flock), which QLockFile checks too, and
// its modification time is the time it was last refreshed.
class LockFile {
public:
    // Who holds a lock file, as far as the file says.
    struct Owner {
        long long pid = 0;
        std::string host; // empty when the file could not be read or is garbage
        std::time_t refreshed = 0;
        dev_t device = 0;
        ino_t inode = 0;
    };
    enum class Result {
        Taken,    // the file is ours now
        Exists,   // another file is in the way
        NoFolder, // the folder takes no new files (no write permission bits, read-only)
        Failed,   // the file could not be made or written; error() says why
    };

    explicit LockFile(std::string path);
    ~LockFile();
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    const std::string& path() const { return path_; }
    bool held() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

    // Makes the file with `contents`, unless one exists.
    Result create(const std::string& contents);
    // The file as it is now; nullopt when there is none.
    std::optional<Owner> owner() const;
    // Replaces the file that was judged stale (`judged`, as owner() gave it)
    // with ours; Exists when it is no longer that file (another start was
    // quicker).
    Result takeOver(const Owner& judged, const std::string& contents);
    // Sets the held file's time to now. False when the file at the path is
    // no longer ours (someone took it over).
    bool refresh();
    // Removes the file when it is still ours, and lets it go.
    void release();

    // The lines for this process: pid, name, host, machine id, boot id.
    static std::string contentsFor(long long pid, const std::string& name, const std::string& host,
                                   const std::string& machineId, const std::string& bootId);

private:
    bool stillOurs() const;

    std::string path_;
    int fd_ = -1;
    std::string error_;
};

} // namespace vantrel
