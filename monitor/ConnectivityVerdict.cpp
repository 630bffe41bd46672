#include "monitor/ConnectivityVerdict.h"

#include "model/TextUtil.h"
#include "monitor/OfflineGuard.h"
#include "platform/CurlHttpClient.h"

#include <algorithm>
#include <cctype>

namespace vantrel {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

} // namespace

std::string ConnectivityVerdict::hostOf(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos)
        return {};
    std::string rest = url.substr(scheme + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const std::size_t at = rest.rfind('@'); at != std::string::npos)
        rest = rest.substr(at + 1);
    if (!rest.empty() && rest[0] == '[')
        return lower(rest.substr(1, rest.find(']') - 1));
    return lower(rest.substr(0, rest.find(':')));
}

bool ConnectivityVerdict::looksLikeLogin(const std::string& body) {
    // A form that asks for a password, or a page that says it is a login.
    const std::string page = lower(body.substr(0, 65536));
    return text::contains(page, "type=\"password\"") || text::contains(page, "type='password'") ||
           text::contains(page, "type=password");
}

ConnectivityVerdict ConnectivityVerdict::judge(bool interfaceUp, const std::vector<Site>& sites) {
    int failed = 0;
    int unreached = 0;
    int unresolved = 0;
    for (const Site& s : sites) {
        failed += s.failed;
        unreached += s.failed && OfflineGuard::unreachable(s.errorNumber);
        unresolved += s.failed && s.errorNumber == CurlHttpClient::kErrNameNotResolved;
    }
    const int n = static_cast<int>(sites.size());
    if (!interfaceUp)
        return {Fault::NoNetwork, failed, {}};

    // A login page on another host, or every site sent to one other host.
    // A site of its own that signs its users in elsewhere is no portal: the
    // login page counts only when no site was fetched well on its own host.
    std::string portal;
    std::string common;
    bool allElsewhere = n >= kMinSites;
    bool someFineAtHome = false;
    for (const Site& s : sites) {
        const std::string own = hostOf(s.url);
        const std::string landed = s.finalUrl.empty() ? own : hostOf(s.finalUrl);
        const bool elsewhere = !landed.empty() && landed != own;
        if (elsewhere && portal.empty() && s.errorNumber == 0 && looksLikeLogin(s.body))
            portal = landed;
        someFineAtHome = someFineAtHome || (!elsewhere && !s.failed);
        if (!elsewhere || (!common.empty() && landed != common))
            allElsewhere = false;
        else
            common = landed;
    }
    if (someFineAtHome)
        portal.clear();
    if (allElsewhere)
        portal = common;
    if (!portal.empty())
        return {Fault::CaptivePortal, failed, portal};

    if (n >= kMinSites && unresolved == n)
        return {Fault::DnsBroken, n, {}};
    if (n >= kMinSites && unreached == n)
        return {Fault::NoNetwork, n, {}};
    return {failed ? Fault::SomeSites : Fault::None, failed, {}};
}

std::string ConnectivityVerdict::notificationText() const {
    if (!userSide())
        return {};
    std::string why;
    if (fault_ == Fault::DnsBroken)
        why = " (the name server answers nothing)";
    else if (fault_ == Fault::CaptivePortal)
        why = " (a login page at " + portalHost_ + ")";
    return "Your connection seems down" + why + ": " + std::to_string(unreachable_) +
           (unreachable_ == 1 ? " site" : " sites") + " not reachable, not alerting";
}

std::string ConnectivityVerdict::statusText() const {
    switch (fault_) {
    case Fault::NoNetwork:
        return "Offline: no network, not alerting.";
    case Fault::DnsBroken:
        return "Offline: the name server answers nothing, not alerting.";
    case Fault::CaptivePortal:
        return "Offline: a login page at " + portalHost_ + " stands in for the sites, not alerting.";
    default:
        return {};
    }
}

std::string ConnectivityVerdict::label() const {
    switch (fault_) {
    case Fault::NoNetwork:
        return "no_network";
    case Fault::DnsBroken:
        return "dns";
    case Fault::CaptivePortal:
        return "captive_portal";
    case Fault::SomeSites:
        return "some_sites";
    default:
        return "none";
    }
}

} // namespace vantrel
