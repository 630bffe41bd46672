#include "model/QuietHours.h"

#include <cstdio>
#include <string>

namespace vantrel {

std::optional<QuietHours> QuietHours::parse(std::string_view text) {
    const std::string s(text);
    int h1 = 0, m1 = 0, h2 = 0, m2 = 0, used = 0;
    if (s.size() != 11 || std::sscanf(s.c_str(), "%2d:%2d-%2d:%2d%n", &h1, &m1, &h2, &m2, &used) != 4 ||
        used != 11)
        return std::nullopt;
    if (h1 < 0 || h1 > 23 || m1 < 0 || m1 > 59 || h2 < 0 || h2 > 23 || m2 < 0 || m2 > 59)
        return std::nullopt;
    const int from = h1 * 60 + m1;
    const int to = h2 * 60 + m2;
    if (from == to)
        return std::nullopt;
    return QuietHours(from, to);
}

int QuietHours::minuteOfDay(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm.tm_hour * 60 + tm.tm_min;
}

bool QuietHours::contains(std::time_t t) const {
    const int m = minuteOfDay(t);
    return from_ < to_ ? m >= from_ && m < to_ : m >= from_ || m < to_;
}

std::time_t QuietHours::endAfter(std::time_t t) const {
    if (!contains(t))
        return t;
    std::tm tm{};
    localtime_r(&t, &tm);
    // Today's end when it is still ahead, else tomorrow's.
    if (tm.tm_hour * 60 + tm.tm_min >= to_)
        ++tm.tm_mday;
    tm.tm_hour = to_ / 60;
    tm.tm_min = to_ % 60;
    tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

} // namespace vantrel
