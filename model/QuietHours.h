#pragma once

#include <ctime>
#include <optional>
#include <string_view>

namespace vantrel {

// A daily stretch of local time, "22:00-07:00", that may run past midnight.
// The start belongs to it, the end does not.
class QuietHours {
public:
    // Nothing for a text that is not "HH:MM-HH:MM" with two different times.
    static std::optional<QuietHours> parse(std::string_view text);

    bool contains(std::time_t t) const;
    // The end of the stretch that holds `t` (`t` itself when none does).
    std::time_t endAfter(std::time_t t) const;

private:
    QuietHours(int from, int to) : from_(from), to_(to) {}
    static int minuteOfDay(std::time_t t);
    int from_; // minutes after midnight
    int to_;
};

} // namespace vantrel
