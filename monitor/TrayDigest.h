#pragma once

#include "monitor/SiteState.h"

#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace vantrel {

class SiteList;

// What the tray tells of the failing sites: how many are down and slow (the
// badge), each with its reason and since when (the tooltip, up to a bound,
// then "and N more"), and which they are (the tray menu). It remembers when
// each site began to fail, from one update to the next; a site already
// failing when first seen failed at its last check.
class TrayDigest {
public:
    static constexpr std::size_t kMaxListed = 5;

    struct Site {
        int row = 0;
        std::string title; // the URL where the title is empty
        std::string url;
        std::string reason; // the reason in words, else the status
        SiteStateKind state = SiteStateKind::Down;
        std::time_t since = 0;
    };

    // After the rows changed: the down sites first, then the slow ones, each
    // in list order.
    void update(const SiteList& sites, std::time_t now);

    int downCount() const { return down_; }
    int slowCount() const { return slow_; }
    const std::vector<Site>& failing() const { return failing_; }

    // One line a failing site, "Shop: HTTP 503, since 14:05" (the day too
    // when it is not today's), the rest as "and N more"; empty when none.
    std::string toolTip(std::time_t now) const;
    static std::string sinceText(std::time_t since, std::time_t now);

private:
    std::vector<Site> failing_;
    std::map<std::string, std::time_t> since_; // by title and URL
    int down_ = 0;
    int slow_ = 0;
};

} // namespace vantrel
