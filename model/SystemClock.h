#pragma once

#include "model/Clock.h"

namespace vantrel {

class SystemClock : public Clock {
public:
    std::time_t now() const override { return std::time(nullptr); }
};

} // namespace vantrel
