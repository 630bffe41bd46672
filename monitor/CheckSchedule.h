#pragma once

#include <chrono>
#include <ctime>
#include <map>
#include <string>
#include <vector>

namespace vantrel {

class SiteList;
struct SiteEntry;

// Which sites a pass checks, and when the next pass comes, once a site has
// an interval of its own (EVERY). Without any, every pass checks every site
// and the timer keeps the settings' interval: nothing here is consulted.
//
// With them, a site with its own interval is due that many minutes after
// its last check: the one made in this run, or else the one its check date
// names, so its rhythm goes on across a restart. The other sites are due one
// settings interval after the pass that last checked them (or after
// monitoring was switched on). After each pass the timer is set to the
// earliest due time. A site counts as due a little early (a twentieth of
// its interval, at least a second), since timers may fire early.
class CheckSchedule {
public:
    static constexpr std::chrono::seconds kMinDelay{1};

    // Whether any site of the list has an interval of its own.
    static bool inUse(const SiteList& sites);

    // Monitoring was switched on at `now`.
    void start(std::time_t now) { intervalBase_ = now; }
    // The rows a pass beginning at `now` checks.
    std::vector<bool> dueRows(const SiteList& sites, std::time_t now,
                              std::chrono::milliseconds interval) const;
    // `site` was checked at `when`.
    void checked(const SiteEntry& site, std::time_t when);
    // A pass that checked the sites without an interval of their own ended.
    void intervalPassDone(std::time_t when) { intervalBase_ = when; }
    // How long until the next pass: `interval` when no site has its own.
    std::chrono::milliseconds nextDelay(const SiteList& sites, std::time_t now,
                                        std::chrono::milliseconds interval) const;

private:
    // When the site is due, and how early it may be checked.
    std::time_t dueAt(const SiteEntry& site, long long interval) const;

    std::map<std::string, std::time_t> lastCheck_;
    std::time_t intervalBase_ = 0;
};

} // namespace vantrel
