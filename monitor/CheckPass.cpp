#include "monitor/CheckPass.h"

#include "model/Clock.h"
#include "model/DateText.h"
#include "model/TextUtil.h"
#include "monitor/AlertDispatcher.h"
#include "monitor/AlertHold.h"
#include "monitor/CheckEvaluator.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteMonitor.h"
#include "monitor/SnoozePolicy.h"
#include "notify/EventPump.h"
#include "platform/NetworkStatus.h"

#include <algorithm>
#include <chrono>

namespace vantrel {

namespace {

constexpr auto kOpeningWait = std::chrono::milliseconds(2000);
// What the history keeps for a fetch this machine could not make.
constexpr const char* kLocalFailureStatus = "Local: no file descriptor or memory left (12001)";

using Outcome = CheckVerdict::Outcome;

// The three states a site can be in, by its status text. A site never
// checked counts as up: it has not failed.
enum class State { Up, Slow, Down };
State stateOf(const std::string& status) {
    if (status == "OK" || status == "New" || status.empty())
        return State::Up;
    return status == CheckPass::kSlowStatus ? State::Slow : State::Down;
}

// The check as the history keeps it, with what the fetch measured.
CheckRecord historyRecord(const SiteMonitor& m, const CheckVerdict& verdict, std::time_t now) {
    const SiteEntry& entry = m.data().entry;
    const HttpResponse& r = m.lastResponse();
    auto ms = [](double v) { return v < 0 ? -1 : static_cast<int>(v + 0.5); };
    CheckRecord c;
    c.time = now;
    c.url = entry.url;
    c.title = entry.title;
    c.outcome = static_cast<int>(verdict.outcome);
    // The log and the row keep the status text; the history says what failed.
    c.status = r.errorNumber == HttpResponse::kErrOutOfHandles && !r.ok ? kLocalFailureStatus : entry.status;
    c.httpStatus = r.statusCode;
    c.totalMs = ms(r.totalMs);
    c.nameLookupMs = ms(r.nameLookupMs);
    c.connectMs = ms(r.connectMs);
    c.tlsMs = ms(r.tlsMs);
    c.firstByteMs = ms(r.firstByteMs);
    c.bytesReceived = r.bytesReceived;
    c.errorNumber = r.ok ? 0 : r.errorNumber;
    c.certDaysLeft = r.certDaysLeft;
    c.reason = verdict.reason;
    c.reasonKind = reasonLabel(verdict.kind);
    return c;
}

} // namespace

void CheckPass::run() {
    SiteMonitor& m = monitor_;
    m.view().gather();
    // With sites on intervals of their own, only those due are checked.
    const bool scheduled = only_.empty() && CheckSchedule::inUse(m.sites());
    due_.clear();
    intervalSitesDue_ = false;
    if (scheduled) {
        due_ = m.schedule().dueRows(m.sites(), m.clock().now(), m.checkPeriod());
        for (int i = 0; i < m.sites().rowCount(); ++i)
            intervalSitesDue_ = intervalSitesDue_ || (due_[static_cast<size_t>(i)] &&
                                                      CheckRules::everyMinutes(m.sites().row(i)) == 0);
    }
    if (!only_.empty()) {
        due_ = only_;
        due_.resize(static_cast<size_t>(m.sites().rowCount()), false);
    }
    m.fetcher().pageText.clear();
    m.pump().sleepFor(kOpeningWait);
    if (m.stopRequested())
        return;
    checkDue(true);
}

void CheckPass::runRows(const std::vector<int>& rows) {
    SiteMonitor& m = monitor_;
    m.view().gather();
    due_.assign(static_cast<size_t>(std::max(m.sites().rowCount(), 0)), false);
    bool any = false;
    for (int i : rows) {
        if (m.sites().isValidRow(i)) {
            due_[static_cast<size_t>(i)] = true;
            any = true;
        }
    }
    if (!any || m.stopRequested())
        return;
    m.fetcher().pageText.clear();
    checkDue(false);
}

void CheckPass::checkDue(bool timed) {
    SiteMonitor& m = monitor_;
    MonitorView& view = m.view();
    DialogData& data = m.mutableData();
    const std::time_t started = m.clock().now();
    data.statusText = "Downloading...";
    view.show();
    const int rows = m.sites().rowCount();
    int failureCount = 0;

    OfflineGuard& guard = m.offlineGuard();
    const bool guarded = m.extraSettings().offlineGuard;
    guard.beginPass(guarded, !guarded || m.network().interfaceUp());
    next_ = 0;
    if (downloads_.parallelFetches() > 1 && rows > 0) {
        downloads_.fetchAlongside(
            rows, [this](int i) { return due(i); },
            [&] {
                if (next_ >= rows || !downloads_.ready(next_))
                    return false;
                return checkNext(rows, failureCount) && downloads_.ready(next_);
            });
    } else {
        view.setOffline(guard.offline());
    }
    while (checkNext(rows, failureCount)) {
    }
    if (!m.stopRequested())
        reportConnectivity(started);
    guard.endPass();
    downloads_.finish();
    if (m.stopRequested())
        return;
    announceChanges();

    if (timed && intervalSitesDue_)
        m.schedule().intervalPassDone(m.clock().now());

    data.statusText = "Done.";
    if (m.settings().monitor == "yes") {
        if (timed)
            view.setCheckTimer(m.nextPassDelay());
        data.statusText = "Monitor.";
    }
    view.show();
}

void CheckPass::announceChanges() {
    SiteMonitor& m = monitor_;
    if (changes_.empty() || m.quietNow())
        return;
    if (m.alertHold().doNotDisturb())
        m.alertHold().holdChanges(changes_);
    else
        m.alertSink().siteChanges(changes_);
}

void CheckPass::reportConnectivity(std::time_t started) {
    SiteMonitor& m = monitor_;
    OfflineGuard& guard = m.offlineGuard();
    const bool first = guard.firstOfSpell();
    if (!guard.offline())
        return;
    const ConnectivityVerdict verdict = guard.verdict(heldBack_);
    const bool notify =
        first && m.extraSettings().notifications && !m.quietNow() && !m.alertHold().doNotDisturb();
    m.view().connectionVerdict(verdict.statusText(), notify ? verdict.notificationText() : std::string());
    // Through the second of the pass's last check.
    m.recordUnmonitored(started, m.clock().now() + 1, verdict.label());
}

// Checks row next_ when it is due, and moves on to the next row. False once
// the pass has no row left to check.
bool CheckPass::checkNext(int rows, int& failureCount) {
    SiteMonitor& m = monitor_;
    // Rows may have been removed while the pass waited in a message box:
    // never read or write past the end of the list.
    if (next_ >= rows || !m.sites().isValidRow(next_)) {
        next_ = rows;
        return false;
    }
    const int i = next_++;
    if (due(i)) {
        checkRow(i, failureCount);
        // The program is ending: the rows keep what was reached, no further site.
        if (m.stopRequested())
            next_ = rows;
    }
    return next_ < rows;
}

void CheckPass::checkRow(int i, int& failureCount) {
    SiteMonitor& m = monitor_;
    MonitorView& view = m.view();
    DialogData& data = m.mutableData();
    SiteEntry& entry = data.entry;
    AlertDispatcher& alerts = m.alerts();
    OfflineGuard& guard = m.offlineGuard();

    m.loadRow(i);
    view.gather();
    m.reportText().clear();
    m.fetcher().pageText.clear();
    data.statusText = "Downloading...";
    view.show();

    const bool fetched = downloads_.fetchAtTurn(i);
    // A download that failed because the program is ending says nothing
    // about the site: it keeps its status and date, and nothing is logged.
    if (!fetched && m.stopRequested())
        return;
    if (fetched) {
        data.statusText = "Searching Page...";
        view.show();
    }
    // The judgement: the site's rules against what was fetched.
    const CheckRules rules = CheckRules::from(entry);
    CheckVerdict verdict = CheckEvaluator(rules).judge(m.fetcher().lastResponse, m.fetcher().pageText);
    const Outcome outcome = verdict.outcome;
    const int certDaysLeft = m.fetcher().lastResponse.certDaysLeft;

    std::string& previousStatus = m.previousStatus();
    previousStatus = entry.status;
    // A failed fetch in an offline pass raises nothing; the site is judged
    // later against the status it had before the spell.
    const std::string site = entry.title + "\n" + entry.url;
    const bool heldBack =
        (outcome == Outcome::NotFetched && !verdict.wrongStatus && guard.holdsBack(entry.url)) ||
        (outcome != Outcome::Good && guard.portal());
    if (heldBack) {
        guard.keepStatus(site, previousStatus);
        ++heldBack_;
    }
    const std::string judgedAgainst = guard.statusToJudge(site, previousStatus);
    // A slow page makes the site slow only after its number of slow checks
    // in a row; until then it is good and says nothing.
    const bool slow =
        m.slowStreaks().note(site, verdict.slow, stateOf(judgedAgainst) == State::Slow, rules.slowCount);
    if (verdict.slow && !slow) {
        verdict.reason.clear();
        verdict.kind = ReasonKind::None;
    }

    entry.status = CheckVerdict::statusFor(outcome, slow);
    entry.reason = verdict.reason;
    entry.checkDate = DateText::dateTime(m.clock().now());
    // A snoozed site is checked, logged and kept as ever and raises no
    // alert; a change of state it went through waits for the snooze's end.
    // A snooze that has ended leaves the record.
    const bool snoozed = SnoozePolicy::snoozed(entry, m.extraSettings(), m.clock().now());
    if (!entry.options.snooze.empty() && !SnoozePolicy::before(entry.options.snooze, m.clock().now()))
        entry.options.snooze.clear();
    const bool down = outcome != Outcome::Good;
    bool releaseDown = false;
    bool releaseUp = false;
    // A change held by a snooze that the site has since undone: the reader
    // was last told the state it is in, so this check tells nothing new.
    bool undone = false;
    if (snoozed && !heldBack && !slow && stateOf(judgedAgainst) != State::Slow) {
        if (down != (stateOf(judgedAgainst) == State::Down))
            m.alertHold().holdForSnooze(site, down ? AlertHold::Change::Down : AlertHold::Change::Up);
    } else if (!snoozed && !heldBack) {
        if (const auto held = m.alertHold().takeSnoozed(site)) {
            releaseDown = *held == AlertHold::Change::Down && down;
            releaseUp = *held == AlertHold::Change::Up && !down && !slow;
            undone = !releaseDown && !releaseUp;
        }
    }
    m.schedule().checked(entry, m.clock().now());
    m.log().writeLogRecord(m.settings(), "\n" + entry.checkDate + " " + entry.url + " " + entry.status);
    m.recordCheck(historyRecord(m, verdict, m.clock().now()));
    // The log and the history have what the check found; a failure of this
    // machine's connection leaves the site in the state it was in.
    if (heldBack)
        entry.status = judgedAgainst;
    // The new status and date must be in the boxes before the row is stored,
    // because storing gathers the boxes first.
    view.show();
    m.storeRow(i);
    // A failure held back while offline is no change of state; a snoozed
    // site's change is told when it is released.
    if (releaseDown || releaseUp)
        changes_.push_back(SiteChange{entry.title, entry.url, entry.status, releaseUp, entry.reason});
    else if (!heldBack && !snoozed && !undone)
        noteChange(entry, judgedAgainst);

    std::string& report = m.reportText();
    report.clear();
    switch (outcome) {
    case Outcome::NotFetched:
        report += "\n" + entry.url + " 404: " +
                  (verdict.wrongStatus ? std::to_string(verdict.statusCode) : m.fetcher().lastFetchError) +
                  "\n";
        break;
    case Outcome::StringMissing:
        report += "\n" + entry.url + " String Not Found\n";
        break;
    case Outcome::Good:
        report += "\n" + entry.url + (slow ? " Slow Response\n" : " Service Restored.\n");
        break;
    }
    report += "Vantrel Report " + entry.checkDate + "\n";
    // The reason follows the report's own text only for a site with options.
    if (rules.optionsInUse && !verdict.reason.empty())
        report += "Reason: " + verdict.reason + "\n";

    if (!heldBack)
        alerts.noteCheck(judgedAgainst);
    const Settings& s = m.settings();
    const bool mails = text::contains(entry.action, "Email") && !snoozed && !undone;
    const bool calls = text::contains(entry.action, "URL") && !heldBack && !snoozed;
    const bool sounds = text::contains(entry.action, "Sound") && !snoozed;
    const State before = stateOf(judgedAgainst);
    if (outcome == Outcome::Good && !slow) {
        if (mails && (judgedAgainst != "OK" || releaseUp))
            alerts.sendRecoveryReport();
    } else if (outcome == Outcome::Good) {
        // Slow: reported on the way in (from good or from a failure), and
        // again on every slow check only when every error is to be mailed.
        ++slowCount_;
        const bool cameIn = before == State::Down || judgedAgainst == "OK";
        if (mails && (cameIn || s.everyError == "yes"))
            alerts.sendSlowReport();
        if (sounds)
            alerts.startErrorSound();
        if (calls)
            alerts.callErrorUrl();
    } else if (!heldBack) {
        ++failureCount;
        const bool repeat =
            outcome == Outcome::NotFetched ? s.everyError == "yes" : text::contains(s.notify, "Every");
        // A slow site was up: failing is news.
        if (mails && (judgedAgainst == "OK" || before == State::Slow || repeat || releaseDown))
            alerts.sendErrorReport();
        if (sounds)
            alerts.startErrorSound();
        if (calls)
            alerts.callErrorUrl();
    }

    if (calls)
        alerts.callErrorUrl();
    if (failureCount >= 1)
        view.showTrayAlert();
    else if (slowCount_ >= 1)
        view.showTraySlow();
    else
        view.showTrayOn();
    ++data.checkCount;
    view.show();

    if (fetched && !snoozed)
        warnOfCertificate(certDaysLeft);
}

// A certificate that ends within the warning days: one warning a day for the
// site, mailed when its action mails, and shown on the desktop.
void CheckPass::warnOfCertificate(int daysLeft) {
    SiteMonitor& m = monitor_;
    const int warnDays = m.extraSettings().certWarnDays;
    // daysLeft is rounded up, so "at most warnDays" is "sooner than warnDays".
    if (warnDays <= 0 || daysLeft < 0 || daysLeft > warnDays)
        return;
    const SiteEntry& entry = m.data().entry;
    const std::string today = DateText::date(m.clock().now());
    std::string& warned = m.certificateWarned()[entry.url];
    if (warned == today)
        return;
    warned = today;
    if (text::contains(entry.action, "Email"))
        m.alerts().sendCertificateWarning(
            "\n" + entry.url + " Certificate ends in " + std::to_string(daysLeft) +
            (daysLeft == 1 ? " day.\n" : " days.\n") + "Vantrel Report " + entry.checkDate + "\n");
    m.alertSink().certificateEnding(entry.title, entry.url, daysLeft);
}

void CheckPass::noteChange(const SiteEntry& entry, const std::string& judgedAgainst) {
    // A site never checked before ("New") that checks good has not recovered
    // from anything; one that fails has failed.
    const State now = stateOf(entry.status);
    if (now != stateOf(judgedAgainst))
        changes_.push_back(SiteChange{entry.title, entry.url, entry.status, now == State::Up, entry.reason});
}

} // namespace vantrel
