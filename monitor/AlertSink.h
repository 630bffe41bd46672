#pragma once

#include "monitor/SiteChange.h"

#include <string>
#include <vector>

namespace vantrel {

// Where the engine's announcements to the user go: the sites that changed
// state in a pass, certificates about to end, the outcome of each report mail
// and channel send, and a data file that could not be saved. The engine
// decides what happened (and holds changes back in quiet hours or
// do-not-disturb); the sink decides whether and how the user hears of it.
class AlertSink {
public:
    virtual ~AlertSink() = default;

    // Once at the end of a check pass when sites changed state in it: one
    // summary of all of them.
    virtual void siteChanges(const std::vector<SiteChange>& changes) = 0;
    // A site's server certificate ends in `daysLeft` days; raised at most
    // once a day a site.
    virtual void certificateEnding(const std::string& title, const std::string& url, int daysLeft) = 0;
    // The outcome of each report mail as it ends: `when` is the local time
    // ("14:05"), `errorText` the mailer's error text of a failure.
    virtual void mailResult(bool ok, const std::string& when, const std::string& errorText) = 0;
    // The outcome of a send to a chat or push channel, as the mails'.
    virtual void alertResult(bool ok, const std::string& when, const std::string& errorText) = 0;
    // A data file could not be written; the old file was kept. The user is
    // to be told before the engine goes on.
    virtual void saveFailed(const std::string& text, const std::string& caption) = 0;
};

} // namespace vantrel
