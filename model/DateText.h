#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// Local-time texts with English month names whatever the process locale:
// "%d %b %Y" for create dates, "%d %b %Y %H:%M:%S" for check and mail dates.
class DateText {
public:
    static std::string date(std::time_t t);
    static std::string dateTime(std::time_t t);
    // The time a dateTime() text names; nothing for any other text.
    static std::optional<std::time_t> parseDateTime(std::string_view text);
    // "%H:%M", the time of day alone.
    static std::string timeOfDay(std::time_t t);
    // "%Y%m%d-%H%M%S", for file names that sort by time.
    static std::string fileStamp(std::time_t t);
};

} // namespace vantrel
