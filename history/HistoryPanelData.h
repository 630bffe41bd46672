#pragma once

#include "monitor/CheckHistory.h"

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

namespace vantrel {

// Which site's history the panel asks for: its URL and title (both empty:
// no site chosen), as of `now`, with the chart reaching `span` seconds back.
struct HistoryPanelRequest {
    std::string url;
    std::string title;
    std::time_t now = 0;
    std::time_t span = 0;
};

// Everything the history panel shows of one site, read in one go, so that
// it can be read on a thread of its own and drawn on the window's.
struct HistoryPanelData {
    // The most points the chart draws; more are merged into stretches of time.
    static constexpr size_t kMaxChartPoints = 2000;

    HistoryPanelRequest request;
    bool available = true;
    std::string problem; // why the history is unavailable
    SiteSummary summary;
    std::vector<SeriesPoint> points;           // the chart's, from `now - span` to `now`, thinned
    std::vector<UnmonitoredStretch> stretches; // not monitored in the same span
    RangeFigures figures;                      // of the same span

    // Reads it from `history`: for no site chosen only whether the history
    // is available.
    static HistoryPanelData read(CheckHistory& history, const HistoryPanelRequest& request);
    // The history as unavailable, for `problem` (empty: no reason known).
    static HistoryPanelData unavailable(const HistoryPanelRequest& request, const std::string& problem);
};

} // namespace vantrel
