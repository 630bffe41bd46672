#include "platform/StopSignal.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace vantrel {

StopSignal::StopSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

StopSignal::~StopSignal() {
    if (fd_ >= 0)
        ::close(fd_);
}

void StopSignal::request() {
    if (flag_.exchange(true, std::memory_order_acq_rel))
        return;
    if (fd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
    }
}

void StopSignal::reset() {
    if (!flag_.exchange(false, std::memory_order_acq_rel))
        return;
    if (fd_ >= 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] ssize_t n = ::read(fd_, &count, sizeof count);
    }
}

} // namespace vantrel
