#include "monitor/AlertHold.h"

#include <algorithm>

namespace vantrel {

void AlertHold::holdForSnooze(const std::string& site, Change change) {
    auto it = snoozed_.find(site);
    // Down then up again (or up then down) inside one snooze: the reader was
    // last told the state the site is in now, so nothing is left to send.
    if (it != snoozed_.end() && it->second != change)
        snoozed_.erase(it);
    else
        snoozed_[site] = change;
}

std::optional<AlertHold::Change> AlertHold::takeSnoozed(const std::string& site) {
    auto it = snoozed_.find(site);
    if (it == snoozed_.end())
        return std::nullopt;
    const Change change = it->second;
    snoozed_.erase(it);
    return change;
}

std::vector<AlertHold::Mail> AlertHold::takeMails() {
    std::vector<Mail> taken;
    taken.swap(mails_);
    return taken;
}

void AlertHold::holdChanges(const std::vector<SiteChange>& changes) {
    for (const SiteChange& c : changes) {
        std::erase_if(changes_,
                      [&](const SiteChange& held) { return held.title == c.title && held.url == c.url; });
        changes_.push_back(c);
    }
}

AlertHold::Summary AlertHold::takeSummary() {
    Summary s{std::move(changes_), std::move(sound_)};
    changes_.clear();
    sound_.clear();
    return s;
}

} // namespace vantrel
