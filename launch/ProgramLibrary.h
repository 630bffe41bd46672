#pragma once

#include <string>

namespace vantrel {

// Finds and loads a shared library of this program: beside the executable
// (the build tree), else in the package's private folder, found from the
// executable's own path (VANTREL_LIBDIR_FROM_BIN), never through the
// library search path. A loaded library stays loaded until the process ends:
// Qt does not take being unloaded.
class ProgramLibrary {
public:
    // The address of `entry` in `file`; null, with `why`, when the library
    // is missing or cannot be loaded, or lacks the function.
    static void* entry(const char* file, const char* entry, std::string& why);

    // Where `file` is looked for, in order.
    static std::string besideProgram(const char* file);
    static std::string inPrivateFolder(const char* file);
};

} // namespace vantrel
