#include "monitor/HistoryRollup.h"

#include <algorithm>
#include <cmath>

namespace vantrel {

namespace {

// Nearest rank: the smallest time that at least 95% of them do not exceed.
int nearestRank95(std::vector<int> times) {
    const size_t rank = static_cast<size_t>(std::ceil(0.95 * static_cast<double>(times.size())));
    const size_t at = std::max<size_t>(rank, 1) - 1;
    std::nth_element(times.begin(), times.begin() + static_cast<long>(at), times.end());
    return times[at];
}

} // namespace

void HistoryRollup::addCheck(bool failed, bool slow, int totalMs) {
    ++figures_.checks;
    figures_.failures += failed ? 1 : 0;
    figures_.slow += slow ? 1 : 0;
    if (totalMs < 0)
        return;
    ++figures_.timed;
    if (figures_.minMs < 0 || totalMs < figures_.minMs)
        figures_.minMs = totalMs;
    sumMs_ += totalMs;
    times_.push_back(totalMs);
}

void HistoryRollup::addRollup(const RangeFigures& r) {
    figures_.checks += r.checks;
    figures_.failures += r.failures;
    figures_.slow += r.slow;
    // A roll-up without a mean (none of its checks was fetched, or a row
    // someone changed) adds no times.
    if (r.timed <= 0 || r.averageMs < 0)
        return;
    figures_.timed += r.timed;
    if (r.minMs >= 0 && (figures_.minMs < 0 || r.minMs < figures_.minMs))
        figures_.minMs = r.minMs;
    sumMs_ += r.averageMs * static_cast<double>(r.timed);
    buckets_.emplace_back(static_cast<int>(std::lround(std::max(r.p95Ms, r.averageMs))), r.timed);
}

RangeFigures HistoryRollup::figures() const {
    RangeFigures f = figures_;
    if (f.timed <= 0)
        return f;
    f.averageMs = sumMs_ / static_cast<double>(f.timed);
    if (buckets_.empty()) {
        f.p95Ms = nearestRank95(times_);
        return f;
    }
    std::vector<std::pair<int, long long>> buckets = buckets_;
    if (!times_.empty())
        buckets.emplace_back(nearestRank95(times_), static_cast<long long>(times_.size()));
    std::sort(buckets.begin(), buckets.end());
    long long seen = 0;
    for (const auto& [ms, weight] : buckets) {
        seen += weight;
        if (2 * seen >= f.timed) {
            f.p95Ms = ms;
            break;
        }
    }
    return f;
}

} // namespace vantrel
