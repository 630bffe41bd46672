#include "monitor/CheckRules.h"

#include "model/SiteEntry.h"
#include "model/TextUtil.h"
#include "monitor/JsonValueCheck.h"
#include "monitor/RegexPattern.h"

#include <charconv>

namespace vantrel {

namespace {

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && text::startsWithNoCase(a, b);
}

// A whole number from `low` to `high`, or nothing.
std::optional<int> number(const std::string& text, int low, int high) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

// A token character of a header name (RFC 9110).
bool tokenChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

} // namespace

std::optional<std::string> CheckRules::headerProblem(const std::string& line) {
    if (line.find_first_of("\r\n") != std::string::npos)
        return "a header must be one line";
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0)
        return "\"" + line + "\" is not a header (Name: value)";
    const std::string_view name(line.data(), colon);
    for (char c : name)
        if (!tokenChar(c))
            return "\"" + std::string(name) + "\" is not a header name";
    if (equalNoCase(name, "Host") || equalNoCase(name, "Content-Length"))
        return std::string(name) + " cannot be set";
    return std::nullopt;
}

int CheckRules::everyMinutes(const SiteEntry& site) {
    return number(site.options.every, 1, kMaxEveryMinutes).value_or(0);
}

CheckRules CheckRules::from(const SiteEntry& site) {
    const SiteOptions& o = site.options;
    CheckRules r;
    r.testString = site.testString;
    r.optionsInUse = o.inUse();
    auto problem = [&r](const char* key, std::string message) {
        r.problems.push_back({key, std::move(message)});
    };
    auto yesNo = [&](const char* key, const std::string& text, bool& value) {
        if (text == "yes")
            value = true;
        else if (text == "no")
            value = false;
        else if (!text.empty())
            problem(key, "must be yes or no");
    };

    if (!o.statusCodes.empty()) {
        std::string error;
        r.statusCodes = StatusCodeSet::parse(o.statusCodes, &error);
        if (!r.statusCodes)
            problem("STATUSCODES", error);
    }

    if (o.match == "nocase")
        r.match = Match::NoCase;
    else if (o.match == "regex")
        r.match = Match::Regex;
    else if (o.match == "json")
        r.match = Match::Json;
    else if (!o.match.empty() && o.match != "text")
        problem("MATCH", "must be text, nocase, regex or json");
    if (r.match == Match::Regex) {
        const auto pattern = RegexPattern::compiled(r.testString, RegexPattern::Kind::Regex);
        if (!pattern->ok())
            problem("TESTSTRING", pattern->error());
    }
    r.jsonPointer = o.jsonPointer;
    if (r.match == Match::Json) {
        if (auto error = JsonValueCheck::pointerError(r.jsonPointer))
            problem("JSONPOINTER", *error);
    } else if (!o.jsonPointer.empty()) {
        problem("JSONPOINTER", "is used only with MATCH=json");
    }

    yesNo("INVERT", o.invert, r.invert);
    if (r.invert && r.testString.empty() && r.match != Match::Json)
        problem("INVERT", "needs a test string that must not be found");

    if (!o.slowMs.empty()) {
        if (auto ms = number(o.slowMs, 1, kMaxSlowMs))
            r.slowMs = *ms;
        else
            problem("SLOWMS", "must be a number of milliseconds from 1 to " + std::to_string(kMaxSlowMs));
    }
    if (!o.slowCount.empty()) {
        if (auto count = number(o.slowCount, 1, kMaxSlowCount))
            r.slowCount = *count;
        else
            problem("SLOWCOUNT", "must be a number of checks from 1 to " + std::to_string(kMaxSlowCount));
    }

    if (o.method == "HEAD")
        r.head = true;
    else if (!o.method.empty() && o.method != "GET")
        problem("METHOD", "must be GET or HEAD");
    if (r.head && (!r.testString.empty() || r.match == Match::Json))
        problem("TESTSTRING", "must be empty with HEAD, which fetches no page");

    for (const std::string& line : o.headers) {
        if (auto error = headerProblem(line))
            problem("HEADER", *error);
        else
            r.headers.push_back(line);
    }

    if (o.auth == "basic")
        r.auth = Auth::Basic;
    else if (o.auth == "bearer")
        r.auth = Auth::Bearer;
    else if (!o.auth.empty())
        problem("AUTH", "must be basic or bearer");
    r.authUser = o.authUser;
    if (r.auth == Auth::Basic && r.authUser.empty())
        problem("AUTHUSER", "a basic login needs a user");
    if (r.authUser.find(':') != std::string::npos)
        problem("AUTHUSER", "a user name cannot hold \":\"");

    r.userAgent = o.userAgent;
    yesNo("REDIRECTS", o.redirects, r.followRedirects);
    yesNo("INSECURE", o.insecure, r.insecure);

    if (!o.every.empty()) {
        if (auto minutes = number(o.every, 1, kMaxEveryMinutes))
            r.every = *minutes;
        else
            problem("EVERY", "must be a number of minutes from 1 to " + std::to_string(kMaxEveryMinutes));
    }
    return r;
}

} // namespace vantrel
