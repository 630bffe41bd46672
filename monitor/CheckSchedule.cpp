#include "monitor/CheckSchedule.h"

#include "model/DateText.h"
#include "model/SiteList.h"
#include "monitor/CheckRules.h"

#include <algorithm>

namespace vantrel {

namespace {

std::string siteKey(const SiteEntry& site) {
    return site.title + "\n" + site.url;
}

long long periodOf(const SiteEntry& site, long long interval) {
    const int every = CheckRules::everyMinutes(site);
    return every > 0 ? every * 60LL : interval;
}

} // namespace

bool CheckSchedule::inUse(const SiteList& sites) {
    for (int i = 0; i < sites.rowCount(); ++i)
        if (CheckRules::everyMinutes(sites.row(i)) > 0)
            return true;
    return false;
}

std::time_t CheckSchedule::dueAt(const SiteEntry& site, long long interval) const {
    if (CheckRules::everyMinutes(site) == 0)
        return intervalBase_ + interval;
    std::time_t last = 0;
    if (auto it = lastCheck_.find(siteKey(site)); it != lastCheck_.end())
        last = it->second;
    else if (auto date = DateText::parseDateTime(site.checkDate))
        last = *date;
    return last ? last + periodOf(site, interval) : 0;
}

std::vector<bool> CheckSchedule::dueRows(const SiteList& sites, std::time_t now,
                                         std::chrono::milliseconds interval) const {
    const long long seconds = interval.count() / 1000;
    std::vector<bool> due(static_cast<size_t>(sites.rowCount()));
    for (int i = 0; i < sites.rowCount(); ++i) {
        const SiteEntry& site = sites.row(i);
        const long long early = std::max<long long>(1, periodOf(site, seconds) / 20);
        due[static_cast<size_t>(i)] = now + early >= dueAt(site, seconds);
    }
    return due;
}

void CheckSchedule::checked(const SiteEntry& site, std::time_t when) {
    lastCheck_[siteKey(site)] = when;
}

std::chrono::milliseconds CheckSchedule::nextDelay(const SiteList& sites, std::time_t now,
                                                   std::chrono::milliseconds interval) const {
    if (!inUse(sites))
        return interval;
    const long long seconds = interval.count() / 1000;
    long long soonest = seconds;
    for (int i = 0; i < sites.rowCount(); ++i)
        soonest = std::min<long long>(soonest, dueAt(sites.row(i), seconds) - now);
    return std::max<std::chrono::milliseconds>(kMinDelay, std::chrono::seconds(soonest));
}

} // namespace vantrel
