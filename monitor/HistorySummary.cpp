#include "monitor/HistorySummary.h"

#include <algorithm>
#include <cmath>

namespace vantrel {

SiteSummary HistorySummary::build(const std::vector<Check>& checks, std::time_t now, int incidentLimit) {
    SiteSummary s;
    struct Window {
        std::time_t from;
        double& uptime;
        long good = 0;
        long all = 0;
    } windows[] = {{now - kDay, s.uptime24h}, {now - 7 * kDay, s.uptime7d}, {now - kSpan, s.uptime30d}};

    std::vector<int> times;
    times.reserve(checks.size());
    double sum = 0;
    std::vector<Incident> incidents;
    bool open = false;
    for (const Check& c : checks) {
        if (c.time < now - kSpan || c.time > now)
            continue;
        const bool good = c.outcome == CheckRecord::kGood;
        for (Window& w : windows) {
            if (c.time >= w.from) {
                ++w.all;
                w.good += good;
            }
        }
        ++s.checks30d;
        // A page that was fetched has a response time, whatever its text.
        if (c.outcome != CheckRecord::kNotFetched && c.totalMs >= 0) {
            times.push_back(c.totalMs);
            sum += c.totalMs;
        }
        if (!good && !open) {
            incidents.push_back({c.time, 0, c.status});
            open = true;
        } else if (good && open) {
            incidents.back().end = c.time;
            open = false;
        }
    }
    for (Window& w : windows)
        w.uptime = w.all ? static_cast<double>(w.good) / static_cast<double>(w.all) : -1;
    if (!times.empty()) {
        s.averageMs = sum / static_cast<double>(times.size());
        // Nearest rank: the smallest time that at least 95% of the checks do not exceed.
        const size_t rank = static_cast<size_t>(std::ceil(0.95 * static_cast<double>(times.size())));
        const size_t at = std::max<size_t>(rank, 1) - 1;
        std::nth_element(times.begin(), times.begin() + static_cast<long>(at), times.end());
        s.p95Ms = times[at];
    }
    std::reverse(incidents.begin(), incidents.end());
    if (incidentLimit >= 0 && incidents.size() > static_cast<size_t>(incidentLimit))
        incidents.resize(static_cast<size_t>(incidentLimit));
    s.incidents = std::move(incidents);
    return s;
}

} // namespace vantrel
