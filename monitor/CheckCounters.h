#pragma once

#include "monitor/CheckHistory.h"

#include <map>
#include <string>
#include <utility>

namespace vantrel {

// Counters of the checks since the program started, per site (by URL and
// title), and the latest result of each: what the metrics text serves.
class CheckCounters {
public:
    // A fetch that failed for a reason on this machine is no check of the
    // site: it counts only as a local failure, and `last` stays the site's
    // last real check.
    struct Site {
        long long checks = 0;
        long long failures = 0;
        long long localFailures = 0;
        CheckRecord last;
    };
    using Key = std::pair<std::string, std::string>; // url, title

    void add(const CheckRecord& record);
    void addAlert(bool ok) { ++(ok ? alertsSent_ : alertsFailed_); }

    const std::map<Key, Site>& sites() const { return sites_; }
    long long checks() const { return checks_; }
    long long alertsSent() const { return alertsSent_; }
    long long alertsFailed() const { return alertsFailed_; }

private:
    std::map<Key, Site> sites_;
    long long checks_ = 0;
    long long alertsSent_ = 0;
    long long alertsFailed_ = 0;
};

} // namespace vantrel
