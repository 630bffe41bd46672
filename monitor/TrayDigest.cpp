#include "monitor/TrayDigest.h"

#include "model/DateText.h"
#include "model/SiteList.h"
#include "monitor/ReasonText.h"

#include <algorithm>

namespace vantrel {

void TrayDigest::update(const SiteList& sites, std::time_t now) {
    std::vector<Site> down;
    std::vector<Site> slow;
    std::map<std::string, std::time_t> since;
    for (int i = 0; i < sites.rowCount(); ++i) {
        const SiteEntry& e = sites.row(i);
        const SiteStateKind state = SiteState::ofStatus(e.status);
        if (state != SiteStateKind::Down && state != SiteStateKind::Slow)
            continue;
        const std::string key = e.title + "\n" + e.url;
        auto known = since_.find(key);
        const std::time_t began =
            known != since_.end() ? known->second : DateText::parseDateTime(e.checkDate).value_or(now);
        since[key] = began;
        Site site{i,     e.title.empty() ? e.url : e.title,
                  e.url, e.reason.empty() ? e.status : e.reason,
                  state, began};
        (state == SiteStateKind::Down ? down : slow).push_back(std::move(site));
    }
    since_ = std::move(since);
    down_ = static_cast<int>(down.size());
    slow_ = static_cast<int>(slow.size());
    failing_ = std::move(down);
    failing_.insert(failing_.end(), std::make_move_iterator(slow.begin()),
                    std::make_move_iterator(slow.end()));
}

std::string TrayDigest::sinceText(std::time_t since, std::time_t now) {
    const bool today = DateText::date(since) == DateText::date(now);
    return "since " + (today ? "" : DateText::date(since) + " ") + DateText::timeOfDay(since);
}

std::string TrayDigest::toolTip(std::time_t now) const {
    std::string text;
    const std::size_t listed = std::min(failing_.size(), kMaxListed);
    for (std::size_t i = 0; i < listed; ++i) {
        const Site& s = failing_[i];
        if (!text.empty())
            text += '\n';
        text += ReasonText::clip(s.title) + ": " + s.reason + ", " + sinceText(s.since, now);
    }
    if (failing_.size() > listed)
        text += "\nand " + std::to_string(failing_.size() - listed) + " more";
    return text;
}

} // namespace vantrel
