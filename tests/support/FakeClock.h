#pragma once

#include "model/Clock.h"

namespace vantrel::test {

// A clock that stands still until the test moves it.
class FakeClock : public Clock {
public:
    explicit FakeClock(std::time_t start = 1796690625) : now_(start) {} // 08 Dec 2026, UTC
    std::time_t now() const override { return now_; }
    void advance(std::time_t seconds) { now_ += seconds; }
    void set(std::time_t t) { now_ = t; }

private:
    std::time_t now_;
};

} // namespace vantrel::test
