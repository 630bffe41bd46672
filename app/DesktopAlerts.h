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

    void siteChanges(const std::vector<SiteChange>& changes) override;
    void certificateEnding(const std::string& title, const std::string& url, int daysLeft) override;
    void mailResult(bool ok, const std::string& when, const std::string& errorText) override;
    void alertResult(bool ok, const std::string& when, const std::string& errorText) override;
    void saveFailed(const std::string& text, const std::string& caption) override;

signals:
    void failureChanged(const QString& failure);

private:
    bool notifying() const;
    void setFailure(const QString& failure);

    DesktopIntegration& desktop_;
    MonitorView& window_;
    std::function<bool()> notificationsOn_;
    bool unattended_ = false;
    QString failure_;
};

} // namespace vantrel
