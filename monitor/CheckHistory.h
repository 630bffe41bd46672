#pragma once

#include "platform/HttpClient.h"

#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace vantrel {

// One decided check of a site, as the history keeps it. Values a transfer did
// not report are -1.
struct CheckRecord {
    std::time_t time = 0;
    std::string url;
    std::string title;
    int outcome = 0;    // 0: not fetched, 1: test string missing, 2: good
    std::string status; // the status text the site was given
    int httpStatus = -1;
    int totalMs = -1;
    int nameLookupMs = -1;
    int connectMs = -1;
    int tlsMs = -1;
    int firstByteMs = -1;
    long long bytesReceived = -1;
    int errorNumber = 0; // the fetch's error number when it failed, else 0
    int certDaysLeft = -1;
    // Why the check failed or was slow, in words ("HTTP 503 (expected
    // 200-299)"), and the kind of it as a short label ("http_status"); empty
    // and "none" for a good check. A slow check is good: its status is "Slow".
    std::string reason;
    std::string reasonKind = "none";

    // The fetch failed for a reason on this machine, which says nothing
    // about the site.
    bool localFailure() const {
        return outcome == kNotFetched && errorNumber == HttpResponse::kErrOutOfHandles;
    }

    static constexpr int kNotFetched = 0;
    static constexpr int kStringMissing = 1;
    static constexpr int kGood = 2;
};

// One alert sent for a site: its channel ("mail", "url", "sound"), whether it
// went out, and for a mail the failure text.
struct AlertRecord {
    std::time_t time = 0;
    std::string url;
    std::string title;
    std::string channel;
    bool ok = true;
    std::string detail; // a mail's recipient, or its failure text
};

// A stretch from the first failed check of a site to its next good one.
struct Incident {
    std::time_t start = 0;
    std::time_t end = 0; // 0: not recovered yet
    std::string status;  // the status of the first failed check
    long long durationSeconds(std::time_t now) const { return (end ? end : now) - start; }
};

// A stretch of time the sites were not monitored, and why ("asleep",
// "offline", "no_network", "dns", "captive_portal").
struct UnmonitoredStretch {
    std::time_t from = 0;
    std::time_t to = 0;
    std::string reason;
};

// What the window shows of one site.
struct SiteSummary {
    // Fraction of good checks, -1 where there was no check in the window.
    double uptime24h = -1;
    double uptime7d = -1;
    double uptime30d = -1;
    int checks30d = 0;
    // Response times of the fetched checks of the last 30 days, -1 without any.
    double averageMs = -1;
    double p95Ms = -1;
    std::vector<Incident> incidents; // the latest first
};

// One point of a site's chart: a check, or, for times past the kept raw
// checks, an hour or a day of them (`checks` many, `totalMs` their mean).
struct SeriesPoint {
    std::time_t time = 0;
    int totalMs = -1;
    bool failed = false; // the check failed; for an hour or a day, any of its checks
    int checks = 1;
    int failures = 0;
};

// What a site's checks over a stretch of time add up to. Response times are
// those of the checks that were fetched (`timed` many).
struct RangeFigures {
    long long checks = 0;
    long long failures = 0;
    long long slow = 0;
    long long timed = 0;
    int minMs = -1;
    double averageMs = -1;
    double p95Ms = -1;
    // Fraction of good checks, -1 without any check.
    double uptime() const {
        return checks ? static_cast<double>(checks - failures) / static_cast<double>(checks) : -1;
    }
};

// The check history of the engine: every check and alert, kept for a number
// of days, and hourly and daily roll-ups of the checks kept longer. Recording never blocks for long and never
// fails a check: a store that cannot be written reports itself unavailable and drops records.
class CheckHistory {
public:
    virtual ~CheckHistory() = default;

    virtual void recordCheck(const CheckRecord& record) = 0;
    virtual void recordAlert(const AlertRecord& record) = 0;
    // From `from` up to, not including, `to` the sites were not monitored: the machine slept,
    // was offline, or its own connection failed every check ("asleep",
    // "offline", "no_network", "dns", "captive_portal"). Such a stretch is
    // neither up nor down: uptime leaves out the checks inside it and a
    // chart shows a gap. A store that keeps no such stretches ignores it.
    virtual void recordUnmonitored(std::time_t from, std::time_t to, const std::string& reason) {
        (void)from, (void)to, (void)reason;
    }
    // The stretches not monitored that overlap `from` to `to`, oldest first.
    virtual std::vector<UnmonitoredStretch> unmonitored(std::time_t from, std::time_t to) {
        (void)from, (void)to;
        return {};
    }

    // False once the store could not be opened or written; `problem` says why.
    virtual bool available() const = 0;
    virtual std::string problem() const = 0;

    // Queries see every record made before them.
    virtual SiteSummary summary(const std::string& url, const std::string& title, std::time_t now,
                                int incidentLimit = 10) = 0;
    // The chart's points: each check where checks are kept, before that an
    // hour or a day of them a point.
    virtual std::vector<SeriesPoint> series(const std::string& url, const std::string& title,
                                            std::time_t from, std::time_t to) = 0;
    // Every check of one site (url and title given) or of all sites (both
    // empty), oldest first, handed to `row`.
    virtual bool exportChecks(const std::string& url, const std::string& title,
                              const std::function<void(const CheckRecord&)>& row) = 0;
    // A site's figures from `from` to `to`: from its checks where they are
    // still kept, before that from the hourly and daily roll-ups (whole hours
    // and days from the first that starts at or after `from`).
    virtual RangeFigures figures(const std::string& url, const std::string& title, std::time_t from,
                                 std::time_t to) {
        (void)url, (void)title, (void)from, (void)to;
        return {};
    }
};

} // namespace vantrel
