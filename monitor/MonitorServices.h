#pragma once

namespace vantrel {

class Clock;
class EventPump;
class HttpClient;
class SoundPlayer;

// What the engine uses of the world outside: how it waits, the time, HTTP
// and sound. A service left null is replaced by a plain default (waits in
// place, the system clock, libcurl, no sound).
struct MonitorServices {
    EventPump* pump = nullptr;
    Clock* clock = nullptr;
    HttpClient* http = nullptr;
    SoundPlayer* sound = nullptr;
};

} // namespace vantrel
