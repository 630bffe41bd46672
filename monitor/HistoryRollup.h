#pragma once

#include "monitor/CheckHistory.h"

#include <utility>
#include <vector>

namespace vantrel {

// Adds up checks, and hourly or daily roll-ups of checks, into the figures of
// a stretch of time. Counts, the minimum and the mean are exact. The 95th
// percentile of checks alone is their nearest rank; with roll-ups it is
// estimated: the median, weighted by timed checks, of the roll-ups' own 95th
// percentiles and that of the checks (a percentile of percentiles would
// lean to the slowest hour).
class HistoryRollup {
public:
    void addCheck(bool failed, bool slow, int totalMs);
    void addRollup(const RangeFigures& rollup);
    bool empty() const { return figures_.checks == 0; }
    RangeFigures figures() const;

private:
    RangeFigures figures_;
    double sumMs_ = 0;
    std::vector<int> times_;                         // of the checks
    std::vector<std::pair<int, long long>> buckets_; // each roll-up's 95th percentile, its weight
};

} // namespace vantrel
