#include "monitor/TriageCommands.h"

#include "model/DateText.h"
#include "model/QuietHours.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteMonitor.h"
#include "monitor/SnoozePolicy.h"

#include <algorithm>
#include <utility>

namespace vantrel {

namespace {

std::string siteKey(const SiteEntry& e) {
    return e.title + "\n" + e.url;
}

} // namespace

void TriageCommands::snooze(int row, std::time_t until) {
    setSnooze(row, DateText::dateTime(until));
}

void TriageCommands::clearSnooze(int row) {
    setSnooze(row, {});
}

void TriageCommands::setSnooze(int row, const std::string& until) {
    SiteList& sites = monitor_.mutableSites();
    if (!sites.isValidRow(row))
        return;
    SiteEntry e = sites.row(row);
    e.options.snooze = until;
    sites.setRow(row, e);
    if (monitor_.passRunning())
        pending_.emplace_back(siteKey(e), until);
    monitor_.writeSiteList();
}

void TriageCommands::snoozeAll(std::time_t until) {
    monitor_.mutableExtraSettings().snoozeAll = DateText::dateTime(until);
    monitor_.saveSettings();
}

void TriageCommands::clearSnoozeAll() {
    monitor_.mutableExtraSettings().snoozeAll.clear();
    monitor_.saveSettings();
}

void TriageCommands::passEnded() {
    // Mails that waited for the quiet hours go out with the first checks after them.
    if (monitor_.alertHold().holdsMail() && !monitor_.mailsWait() && !monitor_.stopRequested())
        for (const AlertHold::Mail& mail : monitor_.alertHold().takeMails())
            monitor_.alerts().sendHeldReport(mail.subject, mail.body);
    if (pending_.empty())
        return;
    // The pass stored the rows it checked as it had loaded them.
    SiteList& sites = monitor_.mutableSites();
    for (const auto& [key, until] : pending_) {
        for (int i = 0; i < sites.rowCount(); ++i) {
            if (siteKey(sites.row(i)) != key || sites.row(i).options.snooze == until)
                continue;
            SiteEntry e = sites.row(i);
            e.options.snooze = until;
            sites.setRow(i, e);
        }
    }
    pending_.clear();
    monitor_.writeSiteList();
}

void TriageCommands::setDoNotDisturb(bool on) {
    AlertHold& hold = monitor_.alertHold();
    const bool ended = hold.doNotDisturb() && !on;
    hold.setDoNotDisturb(on);
    if (!ended)
        return;
    AlertHold::Summary summary = hold.takeSummary();
    // The quiet hours silence the summary too.
    if (monitor_.quietNow())
        return;
    if (!summary.changes.empty())
        monitor_.alertSink().siteChanges(summary.changes);
    if (!summary.sound.empty())
        monitor_.alerts().startErrorSound();
}

std::optional<std::time_t> TriageCommands::nextRelease() const {
    SiteMonitor& m = monitor_;
    const std::time_t now = m.clock().now();
    std::optional<std::time_t> next;
    auto consider = [&next](std::time_t t) { next = next ? std::min(*next, t) : t; };
    if (m.alertHold().holdsMail()) {
        const std::optional<QuietHours> quiet = QuietHours::parse(m.extraSettings().quietHours);
        consider(quiet ? quiet->endAfter(now) : now);
    }
    if (m.alertHold().holdsForSnooze()) {
        const SiteList& sites = m.sites();
        for (int i = 0; i < sites.rowCount(); ++i) {
            const SiteEntry& e = sites.row(i);
            if (!m.alertHold().holdsForSnooze(siteKey(e)))
                continue;
            // The later of the two snoozes that still run.
            std::time_t end = now;
            for (const std::string* until : {&e.options.snooze, &std::as_const(m.extraSettings()).snoozeAll})
                if (SnoozePolicy::before(*until, now))
                    end = std::max(end, *DateText::parseDateTime(*until));
            consider(end);
        }
    }
    return next;
}

void TriageCommands::release() {
    SiteMonitor& m = monitor_;
    if (m.alertHold().holdsMail() && !m.mailsWait())
        for (const AlertHold::Mail& mail : m.alertHold().takeMails())
            m.alerts().sendHeldReport(mail.subject, mail.body);
    std::vector<int> rows;
    const SiteList& sites = m.sites();
    for (int i = 0; i < sites.rowCount(); ++i) {
        const SiteEntry& e = sites.row(i);
        if (m.alertHold().holdsForSnooze(siteKey(e)) &&
            !SnoozePolicy::snoozed(e, m.extraSettings(), m.clock().now()))
            rows.push_back(i);
    }
    if (!rows.empty())
        m.checkNow(rows);
}

} // namespace vantrel
