#pragma once

#include "platform/HttpClient.h"

#include <string>

namespace vantrel {

struct CheckRules;
class SecretStore;
struct SiteEntry;

// The request that fetches a site's page: the program's plain GET
// (PageFetcher::requestFor), changed only by the options the site has.
// Extra headers replace a default header of the same name. A login's
// secret comes from the secret store under secretKey(); without one the
// request goes out without a login.
class SiteRequest {
public:
    // "site:" followed by the site's URL, e.g. "site:https://example.com/health".
    static std::string secretKey(const std::string& url);

    static HttpRequest build(const SiteEntry& site, const CheckRules& rules, const SecretStore* secrets);
};

} // namespace vantrel
