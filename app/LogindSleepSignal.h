#pragma once

#include <QDBusConnection>
#include <QObject>

namespace vantrel {

class SiteMonitor;

// Feeds logind's PrepareForSleep signal (org.freedesktop.login1.Manager on
// the system bus) to the engine: true before the machine sleeps, false
// after it resumed. The resume is handed on from the event loop, not from
// inside the signal's delivery, since the engine then waits for the network.
class LogindSleepSignal : public QObject {
    Q_OBJECT
public:
    LogindSleepSignal(SiteMonitor& engine, QDBusConnection bus = QDBusConnection::systemBus(),
                      QObject* parent = nullptr);
    // Whether the bus took the subscription.
    bool listening() const { return listening_; }

private slots:
    void prepareForSleep(bool start);

private:
    SiteMonitor& engine_;
    bool listening_ = false;
};

} // namespace vantrel
