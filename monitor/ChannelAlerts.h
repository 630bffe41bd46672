#pragma once

#include "notify/AlertMessage.h"

#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

struct SiteEntry;

// Decides which checks raise an alert on the chat and push channels, and
// composes it: a site that went down, became slow or came back, and, while
// a site stays down, a reminder every `remindEvery` minutes up to
// `remindMax` of them. It remembers, for each site, since when it is down,
// its last good check and the reminders sent. A site already down when the
// program started counts as down since its first check in this run.
class ChannelAlerts {
public:
    struct Reminders {
        int everyMinutes = 0; // 0: no reminders
        int max = 0;          // reminders in one outage
    };

    // The alert for the check of `site` just made (its status and check
    // date are the new ones), judged against the status it had before, or
    // nothing when the check is no news. `page` is what the server sent.
    std::optional<AlertMessage> checked(const SiteEntry& site, const std::string& before, std::time_t now,
                                        std::string_view page, Reminders reminders);

    // The explanation of the last check given to checked(), alert or not:
    // what a report mail may carry.
    const AlertMessage& explanation() const { return explanation_; }

    // While paused (a snooze), no reminder goes out; state changes still do.
    void setRemindersPaused(bool paused) { paused_ = paused; }
    bool remindersPaused() const { return paused_; }

    // "45 min", "2 h 10 min", "3 d 4 h": a length of time in words.
    static std::string durationText(long long seconds);
    // The first `chars` characters of `page` as plain text: markup left out,
    // control characters removed, runs of white space made one blank, and
    // bytes that are not UTF-8 dropped.
    static std::string pageExcerpt(std::string_view page, std::size_t chars = kExcerptChars);
    static constexpr std::size_t kExcerptChars = 300;

private:
    struct Memory {
        std::time_t downSince = 0; // 0: up
        std::time_t lastAlert = 0;
        int reminders = 0;
        std::string lastGood; // the check date of the last good check
    };

    std::map<std::string, Memory> sites_;
    AlertMessage explanation_;
    bool paused_ = false;
};

} // namespace vantrel
