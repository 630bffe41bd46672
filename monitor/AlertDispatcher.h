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
    static constexpr const char* kUrlFailedText =
        "Unable to load URL\r\nPlease check URL and update your listing.";
    static constexpr const char* kDefaultSound = "air.wav";

    explicit AlertDispatcher(SiteMonitor& monitor) : monitor_(monitor) {}

    void sendErrorReport() { sendReport(kErrorSubject); }
    void sendRecoveryReport() { sendReport(kRecoverySubject); }
    void startErrorSound();
    void callErrorUrl();

private:
    void sendReport(const char* subject);

    SiteMonitor& monitor_;
};

} // namespace vantrel
