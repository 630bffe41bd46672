#pragma once

#include <ctime>
#include <string>

namespace vantrel {

struct ExtraSettings;
struct SiteEntry;

// A site's state at a glance, as the list's first column and the tray show
// it: up, down (any failed status), slow, snoozed (its alerts held, whatever
// its last check said) or not yet checked.
enum class SiteStateKind { Up, Down, Slow, Snoozed, NotChecked };

class SiteState {
public:
    static SiteStateKind of(const SiteEntry& site, const ExtraSettings& settings, std::time_t now);
    // From the status alone, without the snooze.
    static SiteStateKind ofStatus(const std::string& status);
    // The state and, where there is one, the reason or the snooze's end, as
    // one line: "Down: HTTP 503 (expected 200-299)", "Snoozed until 10 Dec
    // 2026 18:00:00".
    static std::string describe(const SiteEntry& site, const ExtraSettings& settings, std::time_t now);
};

} // namespace vantrel
