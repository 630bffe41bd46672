#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace vantrel::bench {

// Loopback page servers in a child process of their own, so that what a
// benchmark measures of its own process (CPU, memory) is the engine's alone.
// `count` servers answer "/page" with an ordinary page
// that contains "Welcome"; one more answers "/hang" by reading the request
// and never answering. Start it before any thread is made: it forks.
class ChildPageServers {
public:
    explicit ChildPageServers(int count);
    ~ChildPageServers();
    ChildPageServers(const ChildPageServers&) = delete;
    ChildPageServers& operator=(const ChildPageServers&) = delete;

    // "127.0.0.1:<port>" of each server.
    const std::vector<std::string>& hosts() const { return hosts_; }
    // The URL of `path` on server `i` (taken round the servers).
    std::string url(int i, const std::string& path) const;
    // A URL on the hanging server.
    std::string hangUrl() const;

private:
    pid_t child_ = -1;
    int keep_ = -1; // the child ends when this closes
    std::vector<std::string> hosts_;
    std::string hangHost_;
};

} // namespace vantrel::bench
