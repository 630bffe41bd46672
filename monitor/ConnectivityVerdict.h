#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vantrel {

// Whose fault the failures of a pass are: this machine's connection (no
// network, a resolver that answers nothing, a captive portal) or the sites'
// own. Judged from the interfaces and from every site's fetch of the pass.
class ConnectivityVerdict {
public:
    enum class Fault {
        None,          // nothing failed
        NoNetwork,     // no interface up, or every site unreachable
        DnsBroken,     // the resolver answered nothing for every site
        CaptivePortal, // a login page on another host stands in for the sites
        SomeSites,     // only some sites fail: their own fault
    };

    // One site's fetch: its URL, the fetch's error number (0: fetched), the
    // URL the answer came from after redirects (or a redirect not followed
    // pointed to), and the body of a fetched page.
    struct Site {
        std::string url;
        int errorNumber = 0;
        bool failed = false;
        std::string finalUrl;
        std::string body;
    };

    // Fewer sites than this, all failing alike, say nothing about the network.
    static constexpr int kMinSites = 3;

    static ConnectivityVerdict judge(bool interfaceUp, const std::vector<Site>& sites);
    // A fault on this machine's side, already known, with `unreachable` sites.
    static ConnectivityVerdict userSideFault(Fault fault, int unreachable, std::string portalHost = {}) {
        return {fault, unreachable, std::move(portalHost)};
    }

    Fault fault() const { return fault_; }
    // The fault is on this machine's side: nothing is alerted.
    bool userSide() const {
        return fault_ == Fault::NoNetwork || fault_ == Fault::DnsBroken || fault_ == Fault::CaptivePortal;
    }
    int unreachable() const { return unreachable_; }
    const std::string& portalHost() const { return portalHost_; }

    // The words for the window's status bar and for the one desktop
    // notification of a fault on this machine's side; empty otherwise.
    std::string statusText() const;
    std::string notificationText() const;
    // A short label for the history: "no_network", "dns", "captive_portal".
    std::string label() const;

    static std::string hostOf(const std::string& url);
    static bool looksLikeLogin(const std::string& body);

private:
    ConnectivityVerdict(Fault fault, int unreachable, std::string portalHost)
        : fault_(fault), unreachable_(unreachable), portalHost_(std::move(portalHost)) {}

    Fault fault_ = Fault::None;
    int unreachable_ = 0;
    std::string portalHost_;
};

} // namespace vantrel
