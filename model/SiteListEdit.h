#pragma once

#include "model/SiteEntry.h"

#include <vector>

namespace vantrel {

class SiteList;

// One change to the rows, decided apart from the list it is then made to:
// sites added at the top, one row removed or changed, or every row replaced. A list's
// observer sees the same steps as when the change is made to the list
// directly.
struct SiteListEdit {
    enum class Kind { None, AddOne, AddAll, Remove, Replace, Change };

    Kind kind = Kind::None;
    // AddOne: the one site; AddAll: the sites, the last of which ends up on
    // top; Replace: the new rows, in the same order as for AddAll.
    std::vector<SiteEntry> sites;
    // Change: `row` becomes the one site.
    int row = -1; // Remove, Change: the row

    void applyTo(SiteList& list) const;
};

} // namespace vantrel
