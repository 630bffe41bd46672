#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vantrel {

// The options of one site beyond its eight fields, as the texts its record
// in the site list file holds. Like the eight fields they are bytes,
// interpreted where they are used (CheckRules); an empty text is the
// default, and a default is never written to the file. The key of each text
// is in SiteOptionKeys.
struct SiteOptions {
    std::string statusCodes;          // STATUSCODES: "200-299,301"; empty: any status
    std::string match;                // MATCH: text, nocase, regex or json; empty: text
    std::string jsonPointer;          // JSONPOINTER: "/status" with MATCH=json
    std::string invert;               // INVERT: "yes" when the page must not match
    std::string slowMs;               // SLOWMS: a response slower than this is slow
    std::string slowCount;            // SLOWCOUNT: slow checks in a row that make the site slow
    std::string method;               // METHOD: HEAD; empty: GET
    std::vector<std::string> headers; // HEADER: "Name: value", one key line each
    std::string auth;                 // AUTH: basic or bearer
    std::string authUser;             // AUTHUSER: the user of a basic login
    std::string userAgent;            // USERAGENT: empty: the program's own
    std::string redirects;            // REDIRECTS: "no" when redirects are not followed
    std::string insecure;             // INSECURE: "yes" when any certificate is accepted
    std::string every;                // EVERY: minutes between checks; empty: INTERVAL
    std::string channels;             // CHANNELS: "1,3", the alert channels it goes to; empty: all
    // SNOOZE: "10 Dec 2026 18:00:00", the date form of CHECK; until then the
    // site raises no alert. Not part of the check itself.
    std::string snooze;

    // Keys this version does not know (a later version wrote them), with
    // their values in file order; kept with the record and written back.
    std::vector<std::pair<std::string, std::string>> unknown;

    // True when any option this version knows that changes the check is set
    // (CHANNELS only routes its alerts; a snooze changes what an alert does,
    // not the check).
    bool inUse() const;

    bool operator==(const SiteOptions&) const = default;
};

} // namespace vantrel
