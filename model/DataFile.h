#pragma once

#include <optional>
#include <string>

namespace vantrel {

// Reading and writing the small data files in the current directory.
class DataFile {
public:
    // Reads the whole file. A missing file is created empty (and reads as
    // empty); a file that cannot be opened or read (a directory, no access)
    // gives nullopt.
    static std::optional<std::string> readOrCreate(const std::string& path);

    // Replaces the file with `bytes` so that it is never left truncated or
    // half written: the bytes go to a temporary file in the same directory,
    // which is flushed to disk and then renamed over the old file. Returns
    // false, leaving the old file as it was, when any step fails or when the
    // file or its directory is read-only (no write permission bits), which
    // the rename would otherwise quietly get past. The temporary file is
    // hidden, ".<name>.XXXXXX"; one that a killed save left behind is removed
    // by the next successful save once nothing has written to it for a
    // minute (a save still running elsewhere is left alone).
    static bool writeAtomically(const std::string& path, const std::string& bytes);
};

} // namespace vantrel
