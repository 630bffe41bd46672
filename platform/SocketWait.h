#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>

namespace vantrel::socketwait {

using Clock = std::chrono::steady_clock;

// Windows Sockets codes that the waits below give.
inline constexpr int kTimedOut = 10060;
inline constexpr int kInterrupted = 10004;

// Milliseconds left until `deadline`, never negative, as poll() takes them.
inline int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

// Waits until `fd` is ready for `events` or the deadline passes. Returns 0
// when ready (or when an error or hang-up is pending, which the next call on
// the socket reports), kTimedOut when the time ran out, kInterrupted when
// `stopFd` (if not -1) turned readable first, or -1 with errno set when poll
// itself failed.
inline int waitFor(int fd, short events, Clock::time_point deadline, int stopFd = -1) {
    while (true) {
        pollfd p[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}}; // poll skips a negative descriptor
        int n = ::poll(p, 2, remainingMs(deadline));
        if (n > 0 && p[1].revents != 0)
            return kInterrupted;
        if (n > 0)
            return 0;
        if (n == 0)
            return kTimedOut;
        if (errno != EINTR)
            return -1;
    }
}

} // namespace vantrel::socketwait
