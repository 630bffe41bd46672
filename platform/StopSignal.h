#pragma once

#include <atomic>

namespace vantrel {

// A request to stop the work under way, made once and seen everywhere:
// code on the user-interface thread reads requested() at its safe points, a
// worker thread's network call reads flag() (libcurl's progress callback) or
// waits on wakeFd() beside its socket (poll), so a wait that is already
// blocked ends as soon as the request is made, without any polling loop.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void request();
    // Takes the request back, for a stop that has been dealt with.
    void reset();
    bool requested() const { return flag_.load(std::memory_order_acquire); }
    const std::atomic<bool>& flag() const { return flag_; }
    // Readable from the moment of the request until reset(); -1 if the
    // system gave no descriptor (waits then end only by their own bound).
    int wakeFd() const { return fd_; }

private:
    std::atomic<bool> flag_{false};
    int fd_ = -1;
};

} // namespace vantrel
