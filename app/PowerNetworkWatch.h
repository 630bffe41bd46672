#pragma once

#include "app/LogindSleepSignal.h"
#include "app/NetworkStateSignal.h"

#include <QDBusConnection>
#include <QObject>

namespace vantrel {

class SiteMonitor;

// What the desktop says of sleep and of the network, fed to the engine:
// logind's sleep and resume, NetworkManager's state, both on the system bus.
// A machine without either (no system bus, a container) just gets neither.
class PowerNetworkWatch : public QObject {
public:
    explicit PowerNetworkWatch(SiteMonitor& engine, QDBusConnection bus = QDBusConnection::systemBus(),
                               QObject* parent = nullptr)
        : QObject(parent), sleep_(engine, bus, this), network_(engine, bus, this) {}

    bool listening() const { return sleep_.listening() && network_.listening(); }

private:
    LogindSleepSignal sleep_;
    NetworkStateSignal network_;
};

} // namespace vantrel
