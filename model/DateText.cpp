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

std::string DateText::fileStamp(std::time_t t) {
    std::tm tm = localTime(t);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d-%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

} // namespace vantrel
