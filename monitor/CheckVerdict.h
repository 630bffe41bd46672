#pragma once

#include <string>

namespace vantrel {

// What kind of thing went wrong in a check: a small fixed set, so that it
// can label metrics. The words of a reason say the rest.
enum class ReasonKind {
    None,        // the check was good
    Dns,         // the host name did not resolve
    Connect,     // no connection (refused, unreachable)
    Timeout,     // a bound of the request ran out
    Connection,  // the connection broke off or was reset
    Tls,         // the TLS handshake failed
    Certificate, // the server's certificate was refused
    Redirect,    // too many redirects, or one to another scheme
    Response,    // the answer was not HTTP, or not a usable one
    Url,         // the URL itself is wrong
    Cancelled,   // the program was ending
    Internal,    // anything else on this side
    HttpStatus,  // a status code outside the expected ones
    Text,        // the test string was missing (or present, inverted)
    Pattern,     // the pattern did not match (or did, inverted)
    Json,        // the JSON value was not the one expected
    Slow,        // the response took longer than the site's limit
    Option,      // a site option this version cannot use
};

// The label value of a kind in the metrics: "none", "dns", "http_status", ...
const char* reasonLabel(ReasonKind kind);

// The judgement of one fetched (or not fetched) page against a site's rules.
struct CheckVerdict {
    // The three outcomes a check has always had, in their order.
    enum class Outcome { NotFetched = 0, StringMissing = 1, Good = 2 };
    Outcome outcome = Outcome::NotFetched;
    // The page was fine but took longer than the site's limit. Whether the
    // site counts as slow depends on the checks before (SlowStreaks).
    bool slow = false;
    // Not fetched because of its status code: the fetch itself went well.
    bool wrongStatus = false;
    int statusCode = -1;
    ReasonKind kind = ReasonKind::None;
    // One short line, empty for a good check that was not slow.
    std::string reason;

    // The status text a site gets: "404", "Bad - Test String text Not
    // Found", "OK", or "Slow" for a good page when the site counts as slow.
    static const char* statusFor(Outcome outcome, bool slow);
};

} // namespace vantrel
