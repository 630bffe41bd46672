#include "app/DesktopIntegration.h"

#include "ui/TrayIcon.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace vantrel {

namespace {

// Whether an answer to a call came from a notification service: any reply,
// even an error of the service's own, shows that one is there.
bool serviceAnswered(const QDBusError& error) {
    if (!error.isValid())
        return true;
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoReply:
    case QDBusError::NoServer:
    case QDBusError::Disconnected:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return false;
    default:
        return true;
    }
}

} // namespace

DesktopIntegration::DesktopIntegration(MonitorView& window, std::function<bool()> notificationsOn,
                                       QObject* parent)
    : QObject(parent), tray_(new TrayIcon(this)), alerts_(*this, window, std::move(notificationsOn), this) {}

void DesktopIntegration::showNotification(const QString& summary, const QString& body, bool urgent) {
    QDBusConnection bus = notifier_.bus();
    if (!bus.isConnected()) {
        showInTray(summary, body);
        return;
    }
    // A light call first, so that a missing service is known without
    // waiting; it also starts a service that is started on demand.
    QDBusMessage probe = QDBusMessage::createMethodCall(
        QString::fromLatin1(DesktopNotifier::kService), QString::fromLatin1(DesktopNotifier::kPath),
        QString::fromLatin1(DesktopNotifier::kInterface), QStringLiteral("GetServerInformation"));
    probe.setAutoStartService(true);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(probe), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, summary, body, urgent](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (serviceAnswered(call->error()))
                    notifier_.notify(summary, body, urgent);
                else
                    showInTray(summary, body);
            });
}

void DesktopIntegration::showInTray(const QString& summary, const QString& body) {
    tray_->notify(summary, body);
    emit shownInTray(summary);
}

} // namespace vantrel
