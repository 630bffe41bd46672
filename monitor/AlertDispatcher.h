#pragma once

#include "monitor/ChannelAlerts.h"

#include <string>
#include <vector>

namespace vantrel {

class SiteMonitor;

// The alert channels of a checked site: the error and recovery report mails,
// the error sound and the error-URL call (a GET, or a form POST).
class AlertDispatcher {
public:
    static constexpr const char* kErrorSubject = "Vantrel Error Report";
    static constexpr const char* kRecoverySubject = "Vantrel Recovery Report";
    static constexpr const char* kCertificateSubject = "Vantrel Certificate Warning";
    static constexpr const char* kSlowSubject = "Vantrel Slow Report";
    static constexpr const char* kUrlFailedText =
        "Unable to load URL\r\nPlease check URL and update your listing.";
    static constexpr const char* kDefaultSound = "air.wav";

    explicit AlertDispatcher(SiteMonitor& monitor) : monitor_(monitor) {}

    void sendErrorReport();
    void sendRecoveryReport();
    // Mails the report text as a slow report.
    void sendSlowReport();
    // Mails `body` as a certificate warning, to the same addresses as the
    // reports; the site's report text is left as it is.
    void sendCertificateWarning(const std::string& body) { sendReport(kCertificateSubject, body); }
    // Mails a report that waited through the quiet hours.
    void sendHeldReport(const std::string& subject, const std::string& text);
    void startErrorSound();
    void callErrorUrl();

    // The chat and push channels' part of a check just judged (the current
    // entry holds its new status), with the status it was judged against:
    // hands the channels an alert when the site changed state or a reminder
    // is due, and keeps the explanation that report mails may carry. Called
    // before the reports of the check go out.
    void noteCheck(const std::string& judgedAgainst);
    ChannelAlerts& channelAlerts() { return channelAlerts_; }
    // Pauses the reminders (a snooze); changes of state still go out.
    void setRemindersPaused(bool paused) { channelAlerts_.setRemindersPaused(paused); }

    // The channel numbers of a site's CHANNELS text ("1,3"); empty: all.
    static std::vector<int> routeOf(const std::string& channels);

private:
    void sendReport(const char* subject, const std::string& body);
    // The explaining lines a report mail gets with MAILEXPLAIN.
    std::string explanation(const std::string& report) const;

    SiteMonitor& monitor_;
    ChannelAlerts channelAlerts_;
    AlertMessage explained_; // the last check's explanation
};

} // namespace vantrel
