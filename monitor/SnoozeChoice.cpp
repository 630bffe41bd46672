#include "monitor/SnoozeChoice.h"

namespace vantrel {

std::time_t SnoozeEnd::of(SnoozeChoice choice, std::time_t now) {
    switch (choice) {
    case SnoozeChoice::OneHour:
        return now + 3600;
    case SnoozeChoice::FourHours:
        return now + 4 * 3600;
    case SnoozeChoice::TomorrowMorning:
        break;
    }
    std::tm local{};
    localtime_r(&now, &local);
    // mktime carries the day over the month's end and finds the daylight
    // saving offset of that morning itself.
    local.tm_mday += 1;
    local.tm_hour = kMorningHour;
    local.tm_min = 0;
    local.tm_sec = 0;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

} // namespace vantrel
