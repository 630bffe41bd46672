#include "platform/OpenFiles.h"

#include <dirent.h>
#include <sys/resource.h>

namespace vantrel {

long OpenFiles::raiseLimit() {
    rlimit lim{};
    if (::getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
        lim.rlim_cur = lim.rlim_max;
        (void)::setrlimit(RLIMIT_NOFILE, &lim);
    }
    return limit();
}

long OpenFiles::limit() {
    rlimit lim{};
    if (::getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY || lim.rlim_cur > 1L << 30)
        return 1L << 30;
    return static_cast<long>(lim.rlim_cur);
}

long OpenFiles::inUse() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return -1;
    long n = 0;
    while (const dirent* e = ::readdir(dir))
        n += e->d_name[0] != '.';
    ::closedir(dir);
    return n - 1; // the folder's own descriptor
}

bool OpenFiles::spare(long reserve) {
    const long open = inUse();
    // Counting needs a descriptor itself: none left means none spare.
    return open >= 0 && open + reserve <= limit();
}

} // namespace vantrel
