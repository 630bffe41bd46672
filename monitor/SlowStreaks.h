#pragma once

#include <map>
#include <string>

namespace vantrel {

// How many checks in a row each site has been slow. A site becomes slow once
// it has been slow for its number of checks in a row, and stays slow (also
// across a restart, by its status) until a check is fast again.
class SlowStreaks {
public:
    // Notes one check of `site` and returns whether the site is slow now.
    // `slowNow`: this check was good but slow; `wasSlow`: the site was slow
    // before it; `count`: the checks in a row that make it slow. A check that
    // failed ends the streak (neither slow nor fast: pass slowNow false).
    bool note(const std::string& site, bool slowNow, bool wasSlow, int count);

private:
    std::map<std::string, int> streaks_;
};

} // namespace vantrel
