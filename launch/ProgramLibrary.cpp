#include "launch/ProgramLibrary.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

namespace vantrel {

namespace {

// The folder of the running executable, with its trailing slash; empty if
// the kernel does not say.
std::string programFolder() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    const std::string exe(path, static_cast<std::size_t>(length));
    const std::string::size_type slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

} // namespace

std::string ProgramLibrary::besideProgram(const char* file) {
    return programFolder() + file;
}

std::string ProgramLibrary::inPrivateFolder(const char* file) {
    return programFolder() + VANTREL_LIBDIR_FROM_BIN "/" + file;
}

void* ProgramLibrary::entry(const char* file, const char* entry, std::string& why) {
    const std::string beside = besideProgram(file);
    const std::string installed = inPrivateFolder(file);
    const std::string* path = ::access(beside.c_str(), F_OK) == 0      ? &beside
                              : ::access(installed.c_str(), F_OK) == 0 ? &installed
                                                                       : nullptr;
    if (!path) {
        why = std::string("cannot find ") + file + " in " + installed;
        return nullptr;
    }
    void* library = ::dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* error = ::dlerror();
        why = "cannot load " + *path + ": " + (error ? error : "unknown error");
        return nullptr;
    }
    void* function = ::dlsym(library, entry);
    if (!function)
        why = *path + " has no " + entry;
    return function;
}

} // namespace vantrel
