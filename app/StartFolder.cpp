#include "app/StartFolder.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// mkdir -p with mode 0700 for the folders it makes.
bool makeFolders(const std::string& folder) {
    for (std::string::size_type at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/')
            continue;
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string StartFolder::forMenuStart(const std::string& home, const std::string& xdgDataHome) {
    if (!home.empty() && exists(home + "/vantrel.dat"))
        return home;
    if (!xdgDataHome.empty() && xdgDataHome[0] == '/')
        return xdgDataHome + "/vantrel";
    if (home.empty())
        return std::string();
    return home + "/.local/share/vantrel";
}

std::string StartFolder::forMenuStart() {
    const char* data = std::getenv("XDG_DATA_HOME");
    return forMenuStart(home(), data ? data : "");
}

bool StartFolder::enter(const std::string& folder, const std::string& home) {
    if (!folder.empty() && makeFolders(folder) && ::chdir(folder.c_str()) == 0)
        return true;
    return !home.empty() && ::chdir(home.c_str()) == 0;
}

std::string StartFolder::home() {
    const char* env = std::getenv("HOME");
    if (env && env[0] == '/')
        return env;
    const passwd* pw = ::getpwuid(::getuid());
    return pw && pw->pw_dir ? pw->pw_dir : std::string();
}

} // namespace vantrel
