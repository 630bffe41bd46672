#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

class SiteMonitor;

// What the tray, the window and a notification's actions ask of the engine
// besides passes: check chosen sites now, snooze one site or all of them
// until a time, and the desktop's do-not-disturb; and the release of alerts
// that waited for a snooze's or the quiet hours' end.
//
// A snooze is kept in the files (a site's SNOOZE key, SNOOZEALL in
// vantrel-extra.ini), so its end survives a restart. A site's snooze set
// while a pass runs is put on the row at once and again once the pass has
// stored its rows, so the pass cannot write the row back without it.
class TriageCommands {
public:
    explicit TriageCommands(SiteMonitor& monitor) : monitor_(monitor) {}

    void snooze(int row, std::time_t until);
    void snoozeAll(std::time_t until);
    void clearSnooze(int row);
    void clearSnoozeAll();

    // The notification service's do-not-disturb (its Inhibited property).
    // While on, notifications and the sound wait; when it ends they are
    // given as one summary. Mail and error URLs never wait for it.
    void setDoNotDisturb(bool on);

    // When something held may go out: the earliest end of a snooze that
    // holds an alert, or of the quiet hours while mails wait for them.
    std::optional<std::time_t> nextRelease() const;
    // At (or after) that time: mails that waited for the quiet hours go out,
    // and the sites whose alerts a snooze held are checked now; an alert
    // goes out only for a site still in the state it was held for.
    void release();

    // A pass or a check now ended.
    void passEnded();

private:
    void setSnooze(int row, const std::string& until);
    bool saveSettings();

    SiteMonitor& monitor_;
    // Snoozes set during a pass: site (title and URL) and the SNOOZE text.
    std::vector<std::pair<std::string, std::string>> pending_;
};

} // namespace vantrel
