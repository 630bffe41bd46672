#include "monitor/SnoozePolicy.h"

#include "model/DateText.h"
#include "model/ExtraSettings.h"
#include "model/SiteEntry.h"

namespace vantrel {

bool SnoozePolicy::before(const std::string& until, std::time_t now) {
    if (until.empty())
        return false;
    const std::optional<std::time_t> end = DateText::parseDateTime(until);
    return end && *end > now;
}

bool SnoozePolicy::snoozed(const SiteEntry& site, const ExtraSettings& settings, std::time_t now) {
    return before(site.options.snooze, now) || before(settings.snoozeAll, now);
}

} // namespace vantrel
