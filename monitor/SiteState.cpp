#include "monitor/SiteState.h"

#include "model/DateText.h"
#include "model/ExtraSettings.h"
#include "model/SiteEntry.h"
#include "monitor/SnoozePolicy.h"

#include <algorithm>
#include <optional>

namespace vantrel {

SiteStateKind SiteState::ofStatus(const std::string& status) {
    if (status == "OK")
        return SiteStateKind::Up;
    if (status == "Slow")
        return SiteStateKind::Slow;
    if (status.empty() || status == "New")
        return SiteStateKind::NotChecked;
    return SiteStateKind::Down;
}

SiteStateKind SiteState::of(const SiteEntry& site, const ExtraSettings& settings, std::time_t now) {
    return SnoozePolicy::snoozed(site, settings, now) ? SiteStateKind::Snoozed : ofStatus(site.status);
}

std::string SiteState::describe(const SiteEntry& site, const ExtraSettings& settings, std::time_t now) {
    const SiteStateKind status = ofStatus(site.status);
    std::string line;
    switch (status) {
    case SiteStateKind::Up:
        line = "Up";
        break;
    case SiteStateKind::NotChecked:
        line = "Not yet checked";
        break;
    case SiteStateKind::Slow:
    case SiteStateKind::Down:
        line = (status == SiteStateKind::Slow ? "Slow: " : "Down: ") +
               (site.reason.empty() ? site.status : site.reason);
        break;
    case SiteStateKind::Snoozed:
        break;
    }
    // A snooze shows its end: the later of the site's own and SNOOZEALL.
    std::optional<std::time_t> until;
    for (const std::string* s : {&site.options.snooze, &settings.snoozeAll})
        if (SnoozePolicy::before(*s, now))
            until = std::max(until.value_or(0), *DateText::parseDateTime(*s));
    if (until)
        line = "Snoozed until " + DateText::dateTime(*until) + "\n" + line;
    return line;
}

} // namespace vantrel
