#pragma once

#include "monitor/SiteChange.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

// Alerts that were not sent when they arose and may go out later:
// - a snoozed site's change of state (down, or back up after a report of it
//   being down), sent when the snooze has ended and the site is still in
//   that state; a site that changes back meanwhile has nothing held;
// - report mails kept through the quiet hours (QUIETMAIL=hold);
// - desktop notifications and the sound while the desktop's do-not-disturb
//   is on, given as one summary when it ends.
class AlertHold {
public:
    enum class Change { Down, Up };

    // `site` changed to `change` while snoozed.
    void holdForSnooze(const std::string& site, Change change);
    // The change held for `site`, forgotten with this call.
    std::optional<Change> takeSnoozed(const std::string& site);
    bool holdsForSnooze(const std::string& site) const { return snoozed_.count(site) != 0; }
    bool holdsForSnooze() const { return !snoozed_.empty(); }

    struct Mail {
        std::string subject;
        std::string body;
    };
    void holdMail(Mail mail) { mails_.push_back(std::move(mail)); }
    std::vector<Mail> takeMails();
    bool holdsMail() const { return !mails_.empty(); }

    void setDoNotDisturb(bool on) { doNotDisturb_ = on; }
    bool doNotDisturb() const { return doNotDisturb_; }
    // Newer changes of a site replace its older ones in the summary.
    void holdChanges(const std::vector<SiteChange>& changes);
    void holdSound(const std::string& sound) { sound_ = sound; }
    struct Summary {
        std::vector<SiteChange> changes;
        std::string sound; // empty: no sound was held
    };
    Summary takeSummary();

private:
    std::map<std::string, Change> snoozed_;
    std::vector<Mail> mails_;
    bool doNotDisturb_ = false;
    std::vector<SiteChange> changes_;
    std::string sound_;
};

} // namespace vantrel
