#pragma once

#include <ctime>

namespace vantrel {

// The current time, injectable so that dates and schedules can be tested.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::time_t now() const = 0;
};

} // namespace vantrel
