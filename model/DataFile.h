#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// Reading and writing the small data files in the current directory.
class DataFile {
public:
    // Reads the whole file. A missing file is created empty (and reads as
    // empty); a file that cannot be opened or read (a directory, no access)
    // gives nullopt, and so does anything that is not a regular file (a
    // FIFO, a socket, a device), which is refused at once instead of
    // waiting for a writer.
    static std::optional<std::string> readOrCreate(const std::string& path);

    // Whether `path` names a regular file that holds bytes (following links),
    // so that one the reader could not open is known to hold data.
    static bool holdsBytes(const std::string& path);

    // Replaces the file's contents with `bytes` and returns whether every
    // step succeeded. A symbolic link is followed to the file it names,
    // which is the one written (created when the link dangles), so the link
    // stays and keeps leading to the new contents.
    //
    // The usual way never leaves the file truncated or half written: the
    // bytes go to a temporary file in the target's folder, which gets the
    // old file's mode and, where the process may give them, its owner and
    // group, is flushed to disk and renamed over the old file; the folder is
    // then flushed too, so the rename survives a power cut. The temporary
    // file is hidden, ".<name>.XXXXXX"; one that a killed save left behind
    // is removed by the next successful save once nothing has written to it
    // for a minute (a save still running elsewhere is left alone).
    //
    // A file with more than one hard link, and a writable file in a folder
    // the process may not create files in, are written in place instead, so
    // that every name of the file keeps its contents and nothing is refused
    // that can be written: room for the new size is reserved first (where
    // the file system can), so a full disk is found before a byte of the old
    // contents is overwritten, and every write, the final size and the flush
    // are checked.
    //
    // Refused, leaving the old file as it was: a file or folder without
    // write permission bits (which a rename would otherwise quietly get
    // past), a target that is not a regular file, a folder that is missing.
    static bool save(const std::string& path, const std::string& bytes);

    // Keeps `bytes` in a new file beside `path`, named
    // "<path>.unreadable-<stamp>", or with "-2", "-3", ... after it when that
    // name is taken: no existing file is ever replaced. The copy gets the
    // permission bits of the file at `path`. Returns the name made, or
    // nullopt when no copy could be made (a folder without write permission
    // bits, a full disk).
    static std::optional<std::string> keepCopy(const std::string& path, std::string_view bytes,
                                               const std::string& stamp);
};

} // namespace vantrel
