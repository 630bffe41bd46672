#pragma once

#include "monitor/CheckHistory.h"

#include <ctime>
#include <string>
#include <vector>

namespace vantrel {

// Builds a site's summary from its checks of the last 30 days, oldest first.
class HistorySummary {
public:
    struct Check {
        std::time_t time = 0;
        int outcome = 0;
        int totalMs = -1;
        std::string status;
    };

    static constexpr std::time_t kDay = 24 * 60 * 60;
    static constexpr std::time_t kSpan = 30 * kDay; // the longest window summarised

    static SiteSummary build(const std::vector<Check>& checks, std::time_t now, int incidentLimit);
};

} // namespace vantrel
