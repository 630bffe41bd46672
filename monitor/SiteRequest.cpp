#include "monitor/SiteRequest.h"

#include "model/SiteEntry.h"
#include "model/TextUtil.h"
#include "monitor/CheckRules.h"
#include "monitor/PageFetcher.h"
#include "monitor/SecretStore.h"

#include <algorithm>

namespace vantrel {

namespace {

std::string_view headerName(std::string_view line) {
    return line.substr(0, line.find(':'));
}

} // namespace

std::string SiteRequest::secretKey(const std::string& url) {
    return "site:" + url;
}

HttpRequest SiteRequest::build(const SiteEntry& site, const CheckRules& rules, const SecretStore* secrets) {
    HttpRequest request = PageFetcher::requestFor(site.url);
    if (!rules.userAgent.empty())
        request.userAgent = rules.userAgent;
    for (const std::string& line : rules.headers) {
        const std::string_view name = headerName(line);
        std::erase_if(request.headers, [name](const std::string& have) {
            const std::string_view other = headerName(have);
            return other.size() == name.size() && text::startsWithNoCase(other, name);
        });
        request.headers.push_back(line);
    }
    if (rules.head)
        request.method = HttpRequest::Method::Head;
    request.followRedirects = rules.followRedirects;
    request.verifyCertificate = !rules.insecure;
    if (rules.auth != CheckRules::Auth::None && secrets) {
        if (std::optional<std::string> secret = secrets->secret(secretKey(site.url))) {
            request.auth =
                rules.auth == CheckRules::Auth::Basic ? HttpRequest::Auth::Basic : HttpRequest::Auth::Bearer;
            request.authUser = rules.authUser;
            request.authSecret = std::move(*secret);
        }
    }
    return request;
}

} // namespace vantrel
