#pragma once

#include "monitor/AlertSink.h"

#include <QObject>
#include <QString>

#include <functional>

namespace vantrel {

class DesktopIntegration;
class MonitorView;

// The one place that decides how the engine's announcements reach the user
// on the desktop: whether desktop notifications are on (looked at here and
// nowhere else), what a notification says, where the last mail or channel
// failure shows, and how a failed save is said. A run without a display
// shows no notification and writes failures to standard error.
class DesktopAlerts : public QObject, public AlertSink {
    Q_OBJECT
public:
    // `notificationsOn` reads the setting at each announcement, so a change
    // in Preferences counts from the next one.
    DesktopAlerts(DesktopIntegration& desktop, MonitorView& window, std::function<bool()> notificationsOn,
                  QObject* parent = nullptr);

    void setUnattended(bool on) { unattended_ = on; }
    // The last report mail's or channel send's failure; empty once a later
    // one went out.
    QString failure() const { return failure_; }
    // What the window's status line says: the last failure, else the fault
    // of this machine's connection while it lasts, else nothing.
    QString statusLine() const { return failure_.isEmpty() ? verdict_ : failure_; }

    // A pass whose failures are this machine's fault: `statusText` stands in
    // the status line until a pass with the network clears it (empty); a
    // `notification`, given once a spell, goes out as one notification.
    void connectionVerdict(const QString& statusText, const QString& notification);

    void siteChanges(const std::vector<SiteChange>& changes) override;
    void certificateEnding(const std::string& title, const std::string& url, int daysLeft) override;
    void mailResult(bool ok, const std::string& when, const std::string& errorText) override;
    void alertResult(bool ok, const std::string& when, const std::string& errorText) override;
    void saveFailed(const std::string& text, const std::string& caption) override;

signals:
    // The status line changed (a failure, or the connection's fault).
    void failureChanged(const QString& line);

private:
    bool notifying() const;
    void setFailure(const QString& failure);

    DesktopIntegration& desktop_;
    MonitorView& window_;
    std::function<bool()> notificationsOn_;
    bool unattended_ = false;
    QString failure_;
    QString verdict_;
};

} // namespace vantrel
