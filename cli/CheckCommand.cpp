#include "cli/CheckCommand.h"

#include "model/SiteEntry.h"
#include "monitor/CheckEvaluator.h"
#include "monitor/CheckRules.h"
#include "monitor/SiteRequest.h"
#include "platform/CurlHttpClient.h"

#include <chrono>

namespace vantrel {

namespace {

// The arguments as a site with options, so that they mean what the same
// options of a site in the list mean.
SiteEntry siteFor(const CheckCommand::Arguments& args) {
    SiteEntry site;
    site.title = args.url;
    site.url = args.url;
    if (!args.regex.empty()) {
        site.testString = args.regex;
        site.options.match = "regex";
    } else {
        site.testString = args.text;
    }
    if (args.invert)
        site.options.invert = "yes";
    site.options.statusCodes = args.status;
    site.options.headers = args.headers;
    if (args.insecure)
        site.options.insecure = "yes";
    return site;
}

} // namespace

PluginReport CheckCommand::run(const Arguments& args, HttpClient& http) {
    if (args.url.empty())
        return PluginReport::unknown("no URL given");
    if (!args.text.empty() && !args.regex.empty())
        return PluginReport::unknown("--text and --regex cannot be given together");
    if (args.invert && args.text.empty() && args.regex.empty())
        return PluginReport::unknown("--invert needs --text or --regex");
    if (args.warnMs < 0 || args.critMs < 0)
        return PluginReport::unknown("thresholds are milliseconds, 0 or more");
    if (args.warnMs > 0 && args.critMs > 0 && args.warnMs > args.critMs)
        return PluginReport::unknown("--warn-ms is above --crit-ms");
    if (args.timeoutSeconds <= 0)
        return PluginReport::unknown("--timeout is seconds, 1 or more");

    const SiteEntry site = siteFor(args);
    const CheckRules rules = CheckRules::from(site);
    // An option that cannot be used is known before anything is sent.
    if (!rules.problems.empty()) {
        const CheckRules::Problem& p = rules.problems.front();
        const std::string flag = p.key == "STATUSCODES"  ? "--status"
                                 : p.key == "HEADER"     ? "--header"
                                 : p.key == "TESTSTRING" ? (args.regex.empty() ? "--text" : "--regex")
                                                         : "option " + p.key;
        return PluginReport::unknown(flag + " " + p.message);
    }
    const HttpRequest request = SiteRequest::build(site, rules, nullptr);
    const HttpResponse response = http.perform(request);
    const CheckVerdict verdict = CheckEvaluator(rules).judge(response);
    return PluginReport::of(verdict, response, {args.warnMs, args.critMs});
}

PluginReport CheckCommand::run(const Arguments& args) {
    const auto timeout = std::chrono::seconds(args.timeoutSeconds > 0 ? args.timeoutSeconds : 1);
    CurlHttpClient http(timeout, timeout, CurlHttpClient::kMaxPageBytes, timeout);
    return run(args, http);
}

} // namespace vantrel
