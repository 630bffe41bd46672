#pragma once

#include "monitor/SiteChange.h"

#include <vector>

namespace vantrel {

class SiteMonitor;
struct SiteEntry;

// One pass over all sites: fetch each page, judge it, stamp and log the
// check, store the row, and send the alerts its action and the settings
// call for. Runs on the user-interface thread; its blocking calls wait
// through the engine's EventPump.
class CheckPass {
public:
    explicit CheckPass(SiteMonitor& monitor) : monitor_(monitor) {}
    void run();

private:
    enum class Outcome { NotFetched, StringMissing, Good };
    void checkRow(int i, int& failureCount);
    void noteChange(const SiteEntry& entry, const std::string& previousStatus, bool good);

    SiteMonitor& monitor_;
    // Sites that failed or recovered in this pass, announced once at its end.
    std::vector<SiteChange> changes_;
};

} // namespace vantrel
