#pragma once

#include "app/DesktopAlerts.h"
#include "ui/DesktopNotifier.h"

#include <QObject>
#include <QString>

#include <functional>

namespace vantrel {

class MonitorView;
class TrayIcon;

// The program's presence on the desktop outside its window: the tray icon,
// the desktop notifications, and the alert sink that decides what of the
// engine's announcements reaches them. A notification goes to the desktop's
// notification service; only when no service answers does the tray show it
// as its own message instead.
class DesktopIntegration : public QObject {
    Q_OBJECT
public:
    DesktopIntegration(MonitorView& window, std::function<bool()> notificationsOn, QObject* parent = nullptr);

    TrayIcon& tray() { return *tray_; }
    DesktopNotifier& notifier() { return notifier_; }
    DesktopAlerts& alerts() { return alerts_; }
    const DesktopAlerts& alerts() const { return alerts_; }
    void setUnattended(bool on) { alerts_.setUnattended(on); }

    // One notification of plain text; urgent ones are marked critical. The
    // service is asked first, without waiting; the tray's message stands in
    // when none answers.
    void showNotification(const QString& summary, const QString& body, bool urgent);

signals:
    // A notification went to the tray's message, no service having answered.
    void shownInTray(const QString& summary);

private:
    void showInTray(const QString& summary, const QString& body);

    TrayIcon* tray_;
    DesktopNotifier notifier_;
    DesktopAlerts alerts_;
};

} // namespace vantrel
