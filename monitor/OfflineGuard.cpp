#include "monitor/OfflineGuard.h"

#include "platform/CurlHttpClient.h"

#include <algorithm>
#include <cctype>

namespace vantrel {

void OfflineGuard::beginPass(bool enabled, bool interfaceUp) {
    enabled_ = enabled;
    interfaceDown_ = enabled && !interfaceUp;
    allUnreachable_ = false;
    portal_ = false;
    portalHost_.clear();
    fault_ = interfaceDown_ ? ConnectivityVerdict::Fault::NoNetwork : ConnectivityVerdict::Fault::None;
}

void OfflineGuard::judgeSites(const std::vector<ConnectivityVerdict::Site>& sites) {
    std::vector<int> errors;
    for (const ConnectivityVerdict::Site& s : sites)
        errors.push_back(s.errorNumber);
    judgeResults(errors);
    if (!enabled_)
        return;
    const ConnectivityVerdict v = ConnectivityVerdict::judge(!interfaceDown_, sites);
    fault_ = v.fault();
    portal_ = fault_ == ConnectivityVerdict::Fault::CaptivePortal;
    portalHost_ = v.portalHost();
    if (allUnreachable_ && !v.userSide())
        fault_ = ConnectivityVerdict::Fault::NoNetwork;
}

ConnectivityVerdict OfflineGuard::verdict(int heldBack) const {
    using F = ConnectivityVerdict::Fault;
    if (!offline())
        return ConnectivityVerdict::judge(true, {});
    const F fault = fault_ == F::None || fault_ == F::SomeSites ? F::NoNetwork : fault_;
    return ConnectivityVerdict::userSideFault(fault, heldBack, portalHost_);
}

bool OfflineGuard::firstOfSpell() {
    using F = ConnectivityVerdict::Fault;
    if (!offline()) {
        notified_ = F::None;
        return false;
    }
    const F now = verdict(0).fault();
    if (now == notified_)
        return false;
    notified_ = now;
    return true;
}

void OfflineGuard::judgeResults(const std::vector<int>& errorNumbers) {
    allUnreachable_ = enabled_ && static_cast<int>(errorNumbers.size()) >= kMinSites &&
                      std::all_of(errorNumbers.begin(), errorNumbers.end(), unreachable);
}

bool OfflineGuard::holdsBack(const std::string& url) const {
    return allUnreachable_ || (interfaceDown_ && !onThisMachine(url));
}

void OfflineGuard::keepStatus(const std::string& site, const std::string& status) {
    statusBefore_.emplace(site, status);
}

std::string OfflineGuard::statusToJudge(const std::string& site, const std::string& loaded) const {
    auto it = statusBefore_.find(site);
    return it == statusBefore_.end() ? loaded : it->second;
}

void OfflineGuard::endPass() {
    if (!offline())
        statusBefore_.clear();
}

bool OfflineGuard::unreachable(int errorNumber) {
    return errorNumber == CurlHttpClient::kErrNameNotResolved ||
           errorNumber == CurlHttpClient::kErrCannotConnect;
}

bool OfflineGuard::onThisMachine(const std::string& url) {
    const std::string host = ConnectivityVerdict::hostOf(url);
    return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

} // namespace vantrel
