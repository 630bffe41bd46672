#include "app/NetworkStateSignal.h"

#include "monitor/SiteMonitor.h"

#include <QTimer>

namespace vantrel {

NetworkStateSignal::NetworkStateSignal(SiteMonitor& engine, QDBusConnection bus, QObject* parent)
    : QObject(parent), engine_(engine) {
    listening_ =
        bus.isConnected() && bus.connect(QStringLiteral("org.freedesktop.NetworkManager"),
                                         QStringLiteral("/org/freedesktop/NetworkManager"),
                                         QStringLiteral("org.freedesktop.NetworkManager"),
                                         QStringLiteral("StateChanged"), this, SLOT(stateChanged(uint)));
}

void NetworkStateSignal::stateChanged(uint state) {
    bool up = up_;
    if (state == Asleep || state == Disconnected || state == ConnectedLocal)
        up = false;
    else if (state == ConnectedSite || state == ConnectedGlobal)
        up = true;
    if (up == up_)
        return;
    up_ = up;
    if (!up)
        engine_.networkChanged(false);
    else
        QTimer::singleShot(0, this, [this] {
            if (up_)
                engine_.networkChanged(true);
        });
}

} // namespace vantrel
