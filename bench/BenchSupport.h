#pragma once
// Small measuring pieces the pass benchmarks share: the process's memory and
// processor time from the kernel, and running curl (the anchor) as a child.

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace vantrel::bench {

using Steady = std::chrono::steady_clock;

inline double secondsOf(Steady::duration d) {
    return std::chrono::duration<double>(d).count();
}

// A "Key:" line of /proc/self/status in kB (VmRSS:, RssAnon:), or -1.
inline long statusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size()));
    return -1;
}

inline long residentKb() {
    return statusKb("VmRSS:");
}

// User and system time of RUSAGE_SELF or RUSAGE_CHILDREN, in seconds.
inline double cpuSeconds(int who = RUSAGE_SELF) {
    rusage u{};
    ::getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs `args` (found on PATH) and waits for it; with `quiet` its output goes
// to /dev/null. Returns the wait status, or -1 when it could not start.
inline int run(std::vector<std::string> args, bool quiet = false) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

// The best of `runs` runs of `args` in seconds, or -1 when it could not start.
inline double bestRunSeconds(int runs, const std::vector<std::string>& args, bool quiet = false) {
    double best = 1e9;
    for (int r = 0; r < runs; ++r) {
        const auto t0 = Steady::now();
        if (run(args, quiet) == -1)
            return -1;
        best = std::min(best, secondsOf(Steady::now() - t0));
    }
    return best;
}

// A curl config (-K) that fetches every URL to /dev/null.
inline void writeCurlConfig(const char* path, const std::vector<std::string>& urls) {
    std::ofstream config(path);
    for (const std::string& url : urls)
        config << "url = \"" << url << "\"\noutput = \"/dev/null\"\n";
}

} // namespace vantrel::bench
