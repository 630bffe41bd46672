#pragma once

#include <ctime>
#include <string>

namespace vantrel {

// The axes of the history chart, chosen from the data: a time axis whose
// ticks fall on whole minutes, hours or days of local time at even steps,
// and a response-time axis from zero to a round number above the highest
// value, with a little room below zero so marks drawn at zero are whole.
struct ChartScale {
    struct Time {
        std::time_t from = 0;
        std::time_t to = 0;
        int ticks = 2;      // tick marks, both ends included
        std::string format; // QDateTime format of the labels
    };
    struct Value {
        double min = 0;
        double max = 0;
        double step = 0; // between labelled ticks, from zero
    };

    // The shortest stretch the time axis shows, so a single check is not
    // drawn on an axis of no width.
    static constexpr std::time_t kMinSpan = 10 * 60;
    static constexpr int kMaxTimeSteps = 6;

    // An axis covering `from` to `to` (from <= to) in at most `maxSteps` steps.
    static Time time(std::time_t from, std::time_t to, int maxSteps = kMaxTimeSteps);
    // An axis for values from 0 to `highest` (negative: no value at all).
    static Value value(double highest);
};

} // namespace vantrel
