#include "app/LogindSleepSignal.h"

#include "monitor/SiteMonitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

namespace vantrel {

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

} // namespace

LogindSleepSignal::LogindSleepSignal(SiteMonitor& engine, QDBusConnection bus, QObject* parent)
    : QObject(parent), engine_(engine), bus_(bus) {
    listening_ =
        bus_.isConnected() && bus_.connect(kService, kPath, kManager, QStringLiteral("PrepareForSleep"), this,
                                           SLOT(prepareForSleep(bool)));
    if (listening_)
        takeLock();
}

void LogindSleepSignal::takeLock() {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kManager, QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Vantrel") << QStringLiteral("Ending a check pass")
         << QStringLiteral("delay");
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        // A lock that arrives after the machine began to sleep is let go.
        if (reply.isValid() && !sleeping_)
            lock_ = reply.value();
    });
}

void LogindSleepSignal::prepareForSleep(bool start) {
    if (start == sleeping_)
        return;
    sleeping_ = start;
    if (start) {
        engine_.beforeSleep();
        releaseWhenStopped(0);
        return;
    }
    takeLock();
    QTimer::singleShot(0, this, [this] { engine_.resumed(); });
}

void LogindSleepSignal::releaseWhenStopped(int waitedMs) {
    if (!sleeping_ || !lock_.isValid())
        return;
    if (!engine_.passRunning() || waitedMs >= kMaxHoldMs) {
        lock_ = QDBusUnixFileDescriptor(); // closes the descriptor: logind may go on
        return;
    }
    QTimer::singleShot(kSettleStepMs, this,
                       [this, waitedMs] { releaseWhenStopped(waitedMs + kSettleStepMs); });
}

} // namespace vantrel
