#pragma once

#include <ctime>

namespace vantrel {

// The snoozes the tray and the notifications offer, and when each ends.
enum class SnoozeChoice { OneHour, FourHours, TomorrowMorning };

class SnoozeEnd {
public:
    static constexpr int kMorningHour = 8;
    // Local time: an hour or four from `now`, or 08:00 of the next day.
    static std::time_t of(SnoozeChoice choice, std::time_t now);
};

} // namespace vantrel
