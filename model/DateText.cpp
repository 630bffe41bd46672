#include "model/DateText.h"

#include <cstdio>

namespace vantrel {

namespace {

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::tm localTime(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

} // namespace

std::string DateText::date(std::time_t t) {
    std::tm tm = localTime(t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d %s %04d", tm.tm_mday, kMonths[tm.tm_mon % 12], tm.tm_year + 1900);
    return buf;
}

std::string DateText::dateTime(std::time_t t) {
    std::tm tm = localTime(t);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d %s %04d %02d:%02d:%02d", tm.tm_mday, kMonths[tm.tm_mon % 12],
                  tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::optional<std::time_t> DateText::parseDateTime(std::string_view text) {
    const std::string s(text);
    char month[4] = {};
    std::tm tm{};
    int used = 0;
    if (std::sscanf(s.c_str(), "%2d %3s %4d %2d:%2d:%2d%n", &tm.tm_mday, month, &tm.tm_year, &tm.tm_hour,
                    &tm.tm_min, &tm.tm_sec, &used) != 6 ||
        used != static_cast<int>(s.size()))
        return std::nullopt;
    tm.tm_mon = -1;
    for (int m = 0; m < 12; ++m)
        if (std::string_view(month) == kMonths[m])
            tm.tm_mon = m;
    if (tm.tm_mon < 0 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 || tm.tm_min > 59 ||
        tm.tm_sec > 60)
        return std::nullopt;
    tm.tm_year -= 1900;
    tm.tm_isdst = -1; // whatever daylight saving time says for that day
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        return std::nullopt;
    return t;
}

std::string DateText::timeOfDay(std::time_t t) {
    std::tm tm = localTime(t);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d", tm.tm_hour, tm.tm_min);
    return buf;
}

std::string DateText::fileStamp(std::time_t t) {
    std::tm tm = localTime(t);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d-%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

} // namespace vantrel
