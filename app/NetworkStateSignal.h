#pragma once

#include <QDBusConnection>
#include <QObject>

namespace vantrel {

class SiteMonitor;

// Feeds NetworkManager's state (its StateChanged signal on the system bus)
// to the engine: the network went when the state falls to disconnected,
// asleep or a connection of this machine alone, and came back when it
// rises to a connection beyond it. States in between (connecting,
// disconnecting) change nothing. The engine hears of a return from the
// event loop, since it then waits for the network.
class NetworkStateSignal : public QObject {
    Q_OBJECT
public:
    // NetworkManager's NMState values.
    enum State : unsigned {
        Unknown = 0,
        Asleep = 10,
        Disconnected = 20,
        Disconnecting = 30,
        Connecting = 40,
        ConnectedLocal = 50,
        ConnectedSite = 60,
        ConnectedGlobal = 70,
    };

    NetworkStateSignal(SiteMonitor& engine, QDBusConnection bus = QDBusConnection::systemBus(),
                       QObject* parent = nullptr);
    bool listening() const { return listening_; }

private slots:
    void stateChanged(uint state);

private:
    SiteMonitor& engine_;
    bool listening_ = false;
    bool up_ = true; // what the engine was last told
};

} // namespace vantrel
