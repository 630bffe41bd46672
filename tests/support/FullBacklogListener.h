#pragma once

#include <cstdint>
#include <vector>

namespace vantrel::test {

// A socket listening on 127.0.0.1 whose queue of pending connections is full
// and never taken from, so that a further connection attempt is never
// completed: the loopback stand-in for a host that does not answer.
class FullBacklogListener {
public:
    FullBacklogListener();
    ~FullBacklogListener();
    FullBacklogListener(const FullBacklogListener&) = delete;
    FullBacklogListener& operator=(const FullBacklogListener&) = delete;

    std::uint16_t port() const { return port_; }
    // False when this system completed every connection anyway.
    bool full() const { return full_; }

private:
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    bool full_ = false;
    std::vector<int> fillers_;
};

} // namespace vantrel::test
