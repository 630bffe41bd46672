#include "ui/ChartScale.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace vantrel {

namespace {

constexpr std::time_t kMinute = 60;
constexpr std::time_t kHour = 60 * kMinute;
constexpr std::time_t kDay = 24 * kHour;

// The local time's offset from UTC at `t`, so that steps fall on local hours and days.
std::time_t localOffset(std::time_t t) {
    return QDateTime::fromSecsSinceEpoch(t).offsetFromUtc();
}

std::time_t floorTo(std::time_t t, std::time_t step) {
    const std::time_t local = t + localOffset(t);
    const std::time_t floored = local - ((local % step) + step) % step;
    return floored - localOffset(t);
}

} // namespace

ChartScale::Time ChartScale::time(std::time_t from, std::time_t to, int maxSteps) {
    if (to - from < kMinSpan) {
        const std::time_t widen = kMinSpan - (to - from);
        from -= widen / 2;
        to += widen - widen / 2;
    }
    static constexpr std::time_t kSteps[] = {
        5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute, kHour,    2 * kHour, 3 * kHour,
        4 * kHour,   6 * kHour,    12 * kHour,   kDay,         2 * kDay, 3 * kDay,  5 * kDay,
        7 * kDay,    14 * kDay,    30 * kDay,    61 * kDay,    91 * kDay};
    std::time_t step = kSteps[std::size(kSteps) - 1];
    for (std::time_t s : kSteps) {
        const std::time_t start = floorTo(from, std::min(s, kDay));
        if ((to - start + s - 1) / s <= std::max(1, maxSteps)) {
            step = s;
            break;
        }
    }
    Time t;
    t.from = floorTo(from, std::min(step, kDay));
    const std::time_t steps = std::max<std::time_t>(1, (to - t.from + step - 1) / step);
    t.to = t.from + steps * step;
    t.ticks = static_cast<int>(steps) + 1;
    if (step >= kDay)
        t.format = "dd MMM";
    else if (t.to - t.from > kDay)
        t.format = "dd MMM HH:mm";
    else
        t.format = "HH:mm";
    return t;
}

ChartScale::Value ChartScale::value(double highest) {
    // With nothing timed, a second's scale: failed checks still show at zero.
    const double top = std::max(highest, 0.0) > 0 ? highest : 1000.0;
    // A step of 1, 2 or 5 times a power of ten that takes at most four steps.
    double magnitude = std::pow(10.0, std::floor(std::log10(top / 4)));
    double step = magnitude;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        step = m * magnitude;
        if (top / step <= 4)
            break;
    }
    step = std::max(step, 1.0);
    Value v;
    v.step = step;
    v.max = std::ceil(top * 1.05 / step) * step;
    v.min = -v.max * 0.05;
    return v;
}

} // namespace vantrel
