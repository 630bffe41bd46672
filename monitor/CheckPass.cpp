#include "monitor/CheckPass.h"

#include "model/Clock.h"
#include "model/DateText.h"
#include "model/ExtraSettingsFile.h"
#include "model/TextUtil.h"
#include "monitor/AlertDispatcher.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteMonitor.h"
#include "notify/EventPump.h"
#include "platform/NetworkStatus.h"

#include <algorithm>
#include <chrono>

namespace vantrel {

namespace {

constexpr auto kOpeningWait = std::chrono::milliseconds(2000);
// What the history keeps for a fetch this machine could not make.
constexpr const char* kLocalFailureStatus = "Local: no file descriptor or memory left (12001)";

const char* statusFor(int outcome) {
    switch (outcome) {
    case 0:
        return "404";
    case 1:
        return "Bad - Test String text Not Found";
    default:
        return "OK";
    }
}

// The check as the history keeps it, with what the fetch measured.
CheckRecord historyRecord(SiteMonitor& m, int outcome) {
    const SiteEntry& entry = m.data().entry;
    const HttpResponse& r = m.fetcher().lastResponse;
    auto ms = [](double v) { return v < 0 ? -1 : static_cast<int>(v + 0.5); };
    CheckRecord c;
    c.time = m.clock().now();
    c.url = entry.url;
    c.title = entry.title;
    c.outcome = outcome;
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
    return c;
}

} // namespace

int CheckPass::parallelFetches() const {
    return std::clamp(monitor_.extraSettings().parallelFetches, 1, ExtraSettingsFile::kMaxParallelFetches);
}

int CheckPass::confirmAttempts() const {
    return std::clamp(monitor_.extraSettings().confirmAttempts, 1, ExtraSettingsFile::kMaxConfirmAttempts);
}

bool CheckPass::failed(const HttpResponse& response, const std::string& testString) {
    return !response.ok || (!testString.empty() && !text::contains(response.body, testString));
}

void CheckPass::run() {
    SiteMonitor& m = monitor_;
    MonitorView& view = m.view();
    DialogData& data = m.data();
    view.gather();
    m.fetcher().pageText.clear();
    m.pump().sleepFor(kOpeningWait);
    if (m.stopRequested())
        return;
    data.statusText = "Downloading...";
    view.show();
    const int rows = m.sites().rowCount();
    int failureCount = 0;

    OfflineGuard& guard = m.offlineGuard();
    const bool guarded = m.extraSettings().offlineGuard;
    guard.beginPass(guarded, !guarded || m.network().interfaceUp());
    if (parallelFetches() > 1 && rows > 0)
        fetchAhead(rows);
    view.setOffline(guard.offline());

    for (int i = 0; i < rows; ++i) {
        // Rows may have been removed while the pass waited in a message box:
        // never read or write past the end of the list.
        if (!m.sites().isValidRow(i))
            break;
        checkRow(i, failureCount);
        // The program is ending: the rows keep what was reached, no further site.
        if (m.stopRequested())
            break;
    }
    guard.endPass();
    ahead_.clear();
    if (m.stopRequested())
        return;
    if (!changes_.empty() && m.extraSettings().notifications)
        view.notifySiteChanges(changes_);

    data.statusText = "Done.";
    if (m.settings().monitor == "yes") {
        view.setCheckTimer(m.checkPeriod());
        data.statusText = "Monitor.";
    }
    view.show();
}

// Downloads every row's page, the configured number at a time, and fetches
// the failed ones again (all together, a pause apart) until they pass or
// their attempts are used up. Nothing of a site is judged, logged or sent
// here; the offline guard gets to see every result before the first site's
// turn.
void CheckPass::fetchAhead(int rows) {
    SiteMonitor& m = monitor_;
    ahead_.assign(static_cast<size_t>(rows), Ahead{});
    std::vector<size_t> wanted;
    for (int i = 0; i < rows; ++i) {
        const SiteEntry& row = m.sites().row(i);
        ahead_[static_cast<size_t>(i)].url = row.url;
        ahead_[static_cast<size_t>(i)].testString = row.testString;
        wanted.push_back(static_cast<size_t>(i));
    }
    for (int attempt = 1; attempt <= confirmAttempts() && !wanted.empty() && !m.stopRequested(); ++attempt) {
        if (attempt > 1)
            m.pump().sleepFor(kConfirmPause);
        std::vector<std::string> urls;
        for (size_t i : wanted)
            urls.push_back(ahead_[i].url);
        std::vector<HttpResponse> responses = m.fetcher().downloadAll(urls, parallelFetches());
        std::vector<size_t> again;
        for (size_t k = 0; k < wanted.size() && k < responses.size(); ++k) {
            Ahead& a = ahead_[wanted[k]];
            a.response = std::move(responses[k]);
            if (failed(a.response, a.testString))
                again.push_back(wanted[k]);
        }
        wanted = std::move(again);
    }
    std::vector<int> errors;
    for (const Ahead& a : ahead_)
        errors.push_back(a.response.ok ? 0 : a.response.errorNumber);
    m.offlineGuard().judgeResults(errors);
}

// Fetches the current entry's page into the fetcher: the page downloaded
// ahead when the row still has the URL and test string it had then, else a
// download now.
bool CheckPass::fetchAtTurn(int i) {
    const SiteEntry& entry = monitor_.data().entry;
    const auto at = static_cast<size_t>(i);
    if (at < ahead_.size() && ahead_[at].pending && ahead_[at].url == entry.url &&
        ahead_[at].testString == entry.testString) {
        ahead_[at].pending = false;
        return monitor_.fetcher().accept(std::move(ahead_[at].response));
    }
    return monitor_.fetcher().accept(downloadConfirmed(entry.url, entry.testString));
}

// Downloads `url` until a download passes or the attempts are used up, a
// pause apart; the last download is the one that counts.
HttpResponse CheckPass::downloadConfirmed(const std::string& url, const std::string& testString) {
    HttpResponse response = monitor_.fetcher().download(url);
    for (int attempt = 2;
         attempt <= confirmAttempts() && failed(response, testString) && !monitor_.stopRequested();
         ++attempt) {
        monitor_.pump().sleepFor(kConfirmPause);
        response = monitor_.fetcher().download(url);
    }
    return response;
}

void CheckPass::checkRow(int i, int& failureCount) {
    SiteMonitor& m = monitor_;
    MonitorView& view = m.view();
    DialogData& data = m.data();
    SiteEntry& entry = data.entry;
    AlertDispatcher& alerts = m.alerts();
    OfflineGuard& guard = m.offlineGuard();

    m.loadRow(i);
    view.gather();
    m.reportBody().clear();
    m.fetcher().pageText.clear();
    data.statusText = "Downloading...";
    view.show();

    Outcome outcome = Outcome::NotFetched;
    const bool fetched = fetchAtTurn(i);
    // A download that failed because the program is ending says nothing
    // about the site: it keeps its status and date, and nothing is logged.
    if (!fetched && m.stopRequested())
        return;
    if (fetched) {
        data.statusText = "Searching Page...";
        view.show();
        const bool found = entry.testString.empty() || text::contains(m.fetcher().pageText, entry.testString);
        outcome = found ? Outcome::Good : Outcome::StringMissing;
    }
    const int certDaysLeft = m.fetcher().lastResponse.certDaysLeft;

    std::string& previousStatus = m.previousStatus();
    previousStatus = entry.status;
    // A failed fetch in an offline pass raises nothing; the site is judged
    // later against the status it had before the spell.
    const std::string site = entry.title + "\n" + entry.url;
    const bool heldBack = outcome == Outcome::NotFetched && guard.holdsBack(entry.url);
    if (heldBack)
        guard.keepStatus(site, previousStatus);
    const std::string judgedAgainst = guard.statusToJudge(site, previousStatus);

    entry.status = statusFor(static_cast<int>(outcome));
    entry.checkDate = DateText::dateTime(m.clock().now());
    m.log().writeLogRecord(m.settings(), "\n" + entry.checkDate + " " + entry.url + " " + entry.status);
    m.recordCheck(historyRecord(m, static_cast<int>(outcome)));
    // The new status and date must be in the boxes before the row is stored,
    // because storing gathers the boxes first.
    view.show();
    m.storeRow(i);
    // A failure held back while offline is no change of state.
    if (!heldBack)
        noteChange(entry, judgedAgainst, outcome == Outcome::Good);

    std::string& report = m.reportBody();
    report.clear();
    switch (outcome) {
    case Outcome::NotFetched:
        report += "\n" + entry.url + " 404: " + m.fetcher().lastFetchError + "\n";
        break;
    case Outcome::StringMissing:
        report += "\n" + entry.url + " String Not Found\n";
        break;
    case Outcome::Good:
        report += "\n" + entry.url + " Service Restored.\n";
        break;
    }
    report += "Vantrel Report " + entry.checkDate + "\n";

    const Settings& s = m.settings();
    const bool mails = text::contains(entry.action, "Email");
    const bool calls = text::contains(entry.action, "URL") && !heldBack;
    if (outcome == Outcome::Good) {
        if (mails && judgedAgainst != "OK")
            alerts.sendRecoveryReport();
    } else if (!heldBack) {
        ++failureCount;
        const bool repeat =
            outcome == Outcome::NotFetched ? s.everyError == "yes" : text::contains(s.notify, "Every");
        if (mails && (judgedAgainst == "OK" || repeat))
            alerts.sendErrorReport();
        if (text::contains(entry.action, "Sound"))
            alerts.startErrorSound();
        if (calls)
            alerts.callErrorUrl();
    }

    if (calls)
        alerts.callErrorUrl();
    if (failureCount >= 1)
        view.showTrayAlert();
    else
        view.showTrayOn();
    ++data.checkCount;
    view.show();

    if (outcome != Outcome::NotFetched)
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
    m.view().certificateEnding(entry.title, entry.url, daysLeft);
}

void CheckPass::noteChange(const SiteEntry& entry, const std::string& judgedAgainst, bool good) {
    // A site never checked before ("New") that checks good has not recovered
    // from anything; one that fails has failed.
    const bool wasFailing = judgedAgainst != "OK" && judgedAgainst != "New" && !judgedAgainst.empty();
    if (good == wasFailing)
        changes_.push_back(SiteChange{entry.title, entry.url, entry.status, good});
}

} // namespace vantrel
