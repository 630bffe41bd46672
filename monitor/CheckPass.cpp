#include "monitor/CheckPass.h"

#include "model/Clock.h"
#include "model/DateText.h"
#include "model/TextUtil.h"
#include "monitor/AlertDispatcher.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteMonitor.h"
#include "notify/EventPump.h"

#include <chrono>

namespace vantrel {

namespace {

constexpr auto kOpeningWait = std::chrono::milliseconds(2000);

const char* statusFor(int outcome) {
    switch (outcome) {
    case 0: return "404";
    case 1: return "Bad - Test String text Not Found";
    default: return "OK";
    }
}

// The check as the history keeps it, with what the fetch measured.
CheckRecord historyRecord(SiteMonitor& m, int outcome) {
    const SiteEntry& entry = m.data().entry;
    const HttpResponse& r = m.fetcher().lastMeasure;
    auto ms = [](double v) { return v < 0 ? -1 : static_cast<int>(v + 0.5); };
    CheckRecord c;
    c.time = m.clock().now();
    c.url = entry.url;
    c.title = entry.title;
    c.outcome = outcome;
    c.status = entry.status;
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

void CheckPass::run() {
    SiteMonitor& m = monitor_;
    MonitorView& view = m.view();
    DialogData& data = m.data();
    view.gather();
    m.fetcher().pageText.clear();
    m.pump().sleepFor(kOpeningWait);
    data.statusText = "Downloading...";
    view.show();
    const int rows = m.sites().rowCount();
    int failureCount = 0;
    for (int i = 0; i < rows; ++i) {
        // Rows may have been removed while the pass waited in a message box:
        // never read or write past the end of the list.
        if (!m.sites().isValidRow(i))
            break;
        checkRow(i, failureCount);
    }
    data.statusText = "Done.";
    if (m.settings().monitor == "yes") {
        view.setCheckTimer(m.checkPeriod());
        data.statusText = "Monitor.";
    }
    view.show();
}

void CheckPass::checkRow(int i, int& failureCount) {
    SiteMonitor& m = monitor_;
    MonitorView& view = m.view();
    DialogData& data = m.data();
    SiteEntry& entry = data.entry;
    AlertDispatcher& alerts = m.alerts();

    m.loadRow(i);
    view.gather();
    m.reportBody().clear();
    m.fetcher().pageText.clear();
    data.statusText = "Downloading...";
    view.show();

    Outcome outcome = Outcome::NotFetched;
    if (m.fetcher().fetchPage(entry.url)) {
        data.statusText = "Searching Page...";
        view.show();
        const bool found = entry.testString.empty() || text::contains(m.fetcher().pageText, entry.testString);
        outcome = found ? Outcome::Good : Outcome::StringMissing;
    }

    std::string& previousStatus = m.previousStatus();
    previousStatus = entry.status;
    entry.status = statusFor(static_cast<int>(outcome));
    entry.checkDate = DateText::dateTime(m.clock().now());
    m.log().writeLogRecord(m.settings(), "\n" + entry.checkDate + " " + entry.url + " " + entry.status);
    m.recordCheck(historyRecord(m, static_cast<int>(outcome)));
    // The new status and date must be in the boxes before the row is stored,
    // because storing gathers the boxes first.
    view.show();
    m.storeRow(i);

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
    if (outcome == Outcome::Good) {
        if (mails && previousStatus != "OK")
            alerts.sendRecoveryReport();
    } else {
        ++failureCount;
        const bool repeat =
            outcome == Outcome::NotFetched ? s.everyError == "yes" : text::contains(s.notify, "Every");
        if (mails && (previousStatus == "OK" || repeat))
            alerts.sendErrorReport();
        if (text::contains(entry.action, "Sound"))
            alerts.startErrorSound();
        if (text::contains(entry.action, "URL"))
            alerts.callErrorUrl();
    }

    if (text::contains(entry.action, "URL"))
        alerts.callErrorUrl();
    if (failureCount >= 1)
        view.showTrayAlert();
    else
        view.showTrayOn();
    ++data.checkCount;
    view.show();
}

} // namespace vantrel
