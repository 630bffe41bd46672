#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>

namespace vantrel {

class SiteMonitor;

// Feeds logind's PrepareForSleep signal (org.freedesktop.login1.Manager on
// the system bus) to the engine: true before the machine sleeps, false
// after it resumed. The resume is handed on from the event loop, not from
// inside the signal's delivery, since the engine then waits for the network.
//
// While awake it holds a delay lock on sleep (logind's Inhibit, "delay"), so
// that a pass under way can stop at its next safe point before the machine
// goes down; the lock is let go once no pass runs, or after kMaxHold at the
// latest, and taken again after the resume. A logind that offers no lock
// leaves only the signal.
class LogindSleepSignal : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxHoldMs = 4000; // logind waits 5 s by default
    static constexpr int kSettleStepMs = 50;

    LogindSleepSignal(SiteMonitor& engine, QDBusConnection bus = QDBusConnection::systemBus(),
                      QObject* parent = nullptr);
    // Whether the bus took the subscription.
    bool listening() const { return listening_; }
    // Whether a delay lock is held now.
    bool holdingLock() const { return lock_.isValid(); }

private slots:
    void prepareForSleep(bool start);

private:
    void takeLock();
    // Lets the lock go once the pass has stopped, looking every step.
    void releaseWhenStopped(int waitedMs);

    SiteMonitor& engine_;
    QDBusConnection bus_;
    QDBusUnixFileDescriptor lock_;
    bool listening_ = false;
    bool sleeping_ = false;
};

} // namespace vantrel
