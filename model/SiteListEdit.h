#pragma once

#include "model/SiteEntry.h"

#include <vector>

namespace vantrel {

class SiteList;

// One change to the rows, decided apart from the list it is then made to:
// sites added at the top, or one row removed. A list's observer sees the
// same steps as when the change is made to the list directly.
struct SiteListEdit {
    enum class Kind { None, AddOne, AddAll, Remove };

    Kind kind = Kind::None;
    // AddOne: the one site; AddAll: the sites, the last of which ends up on top.
    std::vector<SiteEntry> sites;
    int row = -1; // Remove: the row

    void applyTo(SiteList& list) const;
};

} // namespace vantrel
