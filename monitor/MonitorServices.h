#pragma once

namespace vantrel {

class AlertSink;
class Clock;
class EventPump;
class HttpClient;
class NetworkStatus;
class SecretStore;
class SoundPlayer;

// What the engine uses of the world outside: how it waits, the time, HTTP,
// sound, whether the machine has a network, the secrets it may send, and
// where its announcements go. A service left null is replaced by a plain
// default (waits in place, the system clock, libcurl, no sound, the system's
// interface list, the secrets file in the current directory, announcements
// dropped but a failed save said in a box of the view).
struct MonitorServices {
    EventPump* pump = nullptr;
    Clock* clock = nullptr;
    HttpClient* http = nullptr;
    SoundPlayer* sound = nullptr;
    NetworkStatus* network = nullptr;
    const SecretStore* secrets = nullptr;
    AlertSink* alerts = nullptr;
};

} // namespace vantrel
