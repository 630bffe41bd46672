#include "history/HistoryPanelData.h"

#include <algorithm>

namespace vantrel {

namespace {

// A month of checks every minute is tens of thousands of points, more than
// the chart has pixels: past kMaxChartPoints they are merged into as many
// stretches of equal time, each drawn as its mean response time and, when
// any check in it failed, one failure mark at the slowest failed answer.
std::vector<SeriesPoint> thinned(std::vector<SeriesPoint> points) {
    if (points.size() <= HistoryPanelData::kMaxChartPoints)
        return points;
    const std::time_t first = points.front().time;
    const double width =
        static_cast<double>(points.back().time - first + 1) / HistoryPanelData::kMaxChartPoints;
    std::vector<SeriesPoint> out;
    size_t i = 0;
    while (i < points.size()) {
        const auto bucket = static_cast<long long>((points[i].time - first) / width);
        long long timedSum = 0, timed = 0;
        SeriesPoint good, bad;
        good.time = bad.time = points[i].time;
        bad.failed = true;
        bool anyFailed = false;
        for (; i < points.size() && static_cast<long long>((points[i].time - first) / width) == bucket; ++i) {
            const SeriesPoint& p = points[i];
            if (p.failed) {
                anyFailed = true;
                bad.totalMs = std::max(bad.totalMs, p.totalMs);
            } else if (p.totalMs >= 0) {
                timedSum += static_cast<long long>(p.totalMs) * p.checks;
                timed += p.checks;
            }
        }
        if (timed > 0) {
            good.totalMs = static_cast<int>(timedSum / timed);
            out.push_back(good);
        }
        if (anyFailed)
            out.push_back(bad);
    }
    return out;
}

} // namespace

HistoryPanelData HistoryPanelData::unavailable(const HistoryPanelRequest& request,
                                               const std::string& problem) {
    HistoryPanelData d;
    d.request = request;
    d.available = false;
    d.problem = problem;
    return d;
}

HistoryPanelData HistoryPanelData::read(CheckHistory& history, const HistoryPanelRequest& request) {
    if (!history.available())
        return unavailable(request, history.problem());
    HistoryPanelData d;
    d.request = request;
    const HistoryPanelRequest& r = request;
    if (r.url.empty() && r.title.empty())
        return d;
    d.summary = history.summary(r.url, r.title, r.now);
    if (!history.available()) // the query itself found the database broken
        return unavailable(request, history.problem());
    d.points = thinned(history.series(r.url, r.title, r.now - r.span, r.now));
    d.stretches = history.unmonitored(r.now - r.span, r.now);
    d.figures = history.figures(r.url, r.title, r.now - r.span, r.now);
    // A query that failed half way shows as a failure, not as half a chart.
    if (!history.available())
        return unavailable(request, history.problem());
    return d;
}

} // namespace vantrel
