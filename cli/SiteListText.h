#pragma once

#include "model/SiteEntry.h"

#include <string>
#include <vector>

namespace vantrel {

// The sites and their states as `vantrel list` prints them: a table for
// people, JSON (an array of SiteJson objects with the reason of the last
// check where one is known) or CSV (a header row, then one row a site, RFC
// 4180; its title, url and text columns import again).
class SiteListText {
public:
    static std::string table(const std::vector<SiteEntry>& sites);
    static std::string json(const std::vector<SiteEntry>& sites);
    static std::string csv(const std::vector<SiteEntry>& sites);
};

} // namespace vantrel
