#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>

namespace vantrel::socketwait {

using Clock = std::chrono::steady_clock;

// Windows Sockets codes that the waits below give.
inline constexpr int kTimedOut = 10060;

// Milliseconds left until `deadline`, never negative, as poll() takes them.
inline int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

// Waits until `fd` is ready for `events` or the deadline passes. Returns 0
// when ready (or when an error or hang-up is pending, which the next call on
// the socket reports), kTimedOut when the time ran out, or -1 with errno set
// when poll itself failed.
inline int waitFor(int fd, short events, Clock::time_point deadline) {
    while (true) {
        pollfd p{fd, events, 0};
        int n = ::poll(&p, 1, remainingMs(deadline));
        if (n > 0)
            return 0;
        if (n == 0)
            return kTimedOut;
        if (errno != EINTR)
            return -1;
    }
}

} // namespace vantrel::socketwait
