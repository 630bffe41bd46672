#pragma once

#include <ctime>
#include <string>

namespace vantrel {

struct ExtraSettings;
struct SiteEntry;

// Whether a site's alerts are snoozed: by its own SNOOZE key or by
// SNOOZEALL, each a time in the date form of CHECK. A snoozed site is still
// checked, logged and kept in the history; it only raises no alert. A time
// that has passed, or a text that names no time, snoozes nothing.
class SnoozePolicy {
public:
    static bool snoozed(const SiteEntry& site, const ExtraSettings& settings, std::time_t now);
    // True while the text names a time after `now`.
    static bool before(const std::string& until, std::time_t now);
};

} // namespace vantrel
