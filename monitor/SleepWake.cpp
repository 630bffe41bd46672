#include "monitor/SleepWake.h"

#include "model/Clock.h"
#include "monitor/ConnectivityVerdict.h"
#include "monitor/OfflineGuard.h"
#include "monitor/SiteMonitor.h"
#include "notify/EventPump.h"
#include "platform/HostResolver.h"
#include "platform/NetworkStatus.h"

namespace vantrel {

void SleepWake::beforeSleep() {
    if (asleep_)
        return;
    asleep_ = true;
    // Checks of the second the sleep began in were made before it.
    asleepSince_ = monitor_.clock().now() + 1;
    // A pass under way stops at its next safe point; the stop is taken back
    // once it has.
    if (monitor_.passRunning() && !monitor_.stopRequested()) {
        stopForSleep_ = true;
        monitor_.pump().stopSignal().request();
    }
}

void SleepWake::passEnded() {
    if (stopForSleep_ && !monitor_.quitting())
        monitor_.pump().stopSignal().reset();
    stopForSleep_ = false;
}

void SleepWake::resumed() {
    if (!asleep_)
        return;
    asleep_ = false;
    if (monitor_.monitoringOn())
        monitor_.recordUnmonitored(asleepSince_, monitor_.clock().now(), "asleep");
    wakeAndCheck();
}

void SleepWake::networkChanged(bool up) {
    if (!up) {
        if (!offlineSince_)
            offlineSince_ = monitor_.clock().now() + 1; // as for the sleep
        return;
    }
    if (offlineSince_ && monitor_.monitoringOn())
        monitor_.recordUnmonitored(offlineSince_, monitor_.clock().now(), "offline");
    offlineSince_ = 0;
    // A network that changed while asleep waits for the resume.
    if (!asleep_)
        wakeAndCheck();
}

bool SleepWake::wakeAndCheck() {
    // No pass or timer tick starts while the network is awaited; a sleep
    // that comes meanwhile ends the wait.
    if (waking_)
        return false;
    waking_ = true;
    bool ready = false;
    const long steps = kWakeWait / kWakeStep;
    for (long step = 0; step <= steps && !monitor_.stopRequested() && !asleep_; ++step) {
        if (monitor_.network().interfaceUp() && monitor_.network().defaultRoute() && dnsAnswers()) {
            ready = true;
            break;
        }
        if (step < steps)
            monitor_.pump().sleepFor(kWakeStep);
    }
    waking_ = false;
    // Without the network the timer's passes go on as ever and the offline
    // guard judges them.
    if (!ready || asleep_ || !monitor_.monitoringOn() || monitor_.stopRequested())
        return ready;
    std::vector<int> rows;
    for (int i = 0; i < monitor_.sites().rowCount(); ++i)
        rows.push_back(i);
    monitor_.checkNow(rows);
    return true;
}

bool SleepWake::dnsAnswers() {
    if (probe_)
        return probe_();
    for (int i = 0; i < monitor_.sites().rowCount(); ++i) {
        const std::string& url = monitor_.sites().row(i).url;
        if (OfflineGuard::onThisMachine(url))
            continue;
        const std::string host = ConnectivityVerdict::hostOf(url);
        if (host.empty())
            continue;
        int result = -1;
        monitor_.pump().runBlocking([&] {
            HostResolver::Addresses addresses;
            result =
                HostResolver::resolve(host, 80, std::chrono::steady_clock::now() + kLookupWait, addresses);
        });
        return result == 0;
    }
    return true;
}

} // namespace vantrel
