#pragma once

#include <chrono>
#include <ctime>
#include <functional>

namespace vantrel {

class SiteMonitor;

// The engine around sleep and network changes, fed by the application
// (logind's PrepareForSleep, the network's state).
//
// Before sleep a running pass stops at its next safe point, the way it does
// when the program ends, and no check runs until the machine is awake. After
// resume or reconnection the engine waits, bounded, for a network interface,
// a default route and a resolver that answers, then checks every site at once instead of
// waiting out the interval. The time asleep or offline is kept in the
// history as not monitored.
class SleepWake {
public:
    static constexpr std::chrono::seconds kWakeWait{60};
    static constexpr std::chrono::seconds kWakeStep{1};
    static constexpr std::chrono::seconds kLookupWait{3};

    // Whether names resolve; the default looks up the host of the first site
    // that is not on this machine (none: true).
    using DnsProbe = std::function<bool()>;

    explicit SleepWake(SiteMonitor& monitor) : monitor_(monitor) {}

    void beforeSleep();
    void resumed();
    void networkChanged(bool up);
    // Asleep, or awaiting the network after it: no check runs.
    bool asleep() const { return asleep_ || waking_; }
    // The network went and has not come back.
    bool offline() const { return offlineSince_ != 0; }

    void setDnsProbe(DnsProbe probe) { probe_ = std::move(probe); }

    // A pass ended: a stop asked for by the sleep is taken back.
    void passEnded();

private:
    // Waits for the network, then checks every site; false when it never came.
    bool wakeAndCheck();
    bool dnsAnswers();

    SiteMonitor& monitor_;
    DnsProbe probe_;
    bool asleep_ = false;
    bool waking_ = false;
    bool stopForSleep_ = false;
    std::time_t asleepSince_ = 0;
    std::time_t offlineSince_ = 0;
};

} // namespace vantrel
