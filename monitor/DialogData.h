#pragma once

#include "model/SiteEntry.h"

#include <string>

namespace vantrel {

// The main window's bound values: what gather fills from the controls and
// show puts into them.
struct DialogData {
    SiteEntry entry;        // the current entry, bound to the eight entry boxes
    std::string statusText; // the Status field
    int siteCount = 0;      // "Total Sites:"
    int checkCount = 0;     // "Checks"
};

} // namespace vantrel
