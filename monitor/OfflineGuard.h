#pragma once

#include "monitor/ConnectivityVerdict.h"

#include <map>
#include <string>
#include <vector>

namespace vantrel {

// Keeps a machine that is itself offline from reporting every site as down.
// Each pass is judged on its own: it is offline when no network interface
// but loopback is up, or when it has at least kMinSites sites and every one
// of them failed to connect or to resolve its name. In an offline pass the
// failed fetches raise no report, sound or error-URL call; they are logged
// and stored as always. While the interfaces are down, a site on the machine
// itself (localhost, 127.x.x.x, [::1]) still reports: its failure is not the
// network's.
//
// Rows that an offline pass stored as failed keep, here, the status they had
// before the spell; the first pass with the network again judges them
// against that status, so a site that was fine before and is fine again
// mails no recovery report, and one that was fine and is down now still
// mails its error report.
class OfflineGuard {
public:
    static constexpr int kMinSites = 3;

    // Starts a pass's verdict: `enabled` is the setting, `interfaceUp` what
    // the machine's interfaces say.
    void beginPass(bool enabled, bool interfaceUp);
    // Adds the evidence of the pass's fetch results, when every site was
    // fetched before the first outcome: their error numbers (0: fetched).
    void judgeResults(const std::vector<int>& errorNumbers);
    // The same with every site's fetch, which also tells a resolver that
    // answers nothing and a captive portal from a machine with no network.
    void judgeSites(const std::vector<ConnectivityVerdict::Site>& sites);
    bool offline() const { return interfaceDown_ || allUnreachable_ || portal_; }
    // Behind a captive portal every failure of the pass is held back, the
    // pages that are not the sites' own included.
    bool portal() const { return portal_; }
    // Whose fault this pass's failures are, with `heldBack` sites not reached.
    ConnectivityVerdict verdict(int heldBack) const;
    // True once for each spell of a fault on this machine's side: the
    // notification that says so goes out once, not every pass.
    bool firstOfSpell();

    // True when a failed fetch of `url` in this pass raises no alerts.
    bool holdsBack(const std::string& url) const;
    // A site whose failure was held back: keeps `status` (its status before
    // this check) unless an earlier offline pass already kept one.
    void keepStatus(const std::string& site, const std::string& status);
    // The status to judge `site` against in a pass with the network: the
    // one kept before the offline spell, else `loaded`.
    std::string statusToJudge(const std::string& site, const std::string& loaded) const;
    // Ends the pass; a pass with the network forgets the kept statuses.
    void endPass();

    // "Cannot connect" and "name not resolved": what an offline machine
    // gets for every site.
    static bool unreachable(int errorNumber);
    static bool onThisMachine(const std::string& url);

private:
    bool enabled_ = false;
    bool interfaceDown_ = false;
    bool allUnreachable_ = false;
    bool portal_ = false;
    ConnectivityVerdict::Fault fault_ = ConnectivityVerdict::Fault::None;
    std::string portalHost_;
    ConnectivityVerdict::Fault notified_ = ConnectivityVerdict::Fault::None;
    std::map<std::string, std::string> statusBefore_;
};

} // namespace vantrel
