#pragma once

#include <string>

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

private:
    void sendReport(const char* subject, const std::string& body);

    SiteMonitor& monitor_;
};

} // namespace vantrel
