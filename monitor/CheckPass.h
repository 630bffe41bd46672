#pragma once

#include "model/SiteEntry.h"
#include "monitor/CheckVerdict.h"
#include "monitor/ConnectivityVerdict.h"
#include "monitor/SiteChange.h"
#include "platform/HttpClient.h"

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace vantrel {

class SiteMonitor;

// One pass over all sites: fetch each page, judge it, stamp and log the
// check, store the row, and send the alerts its action and the settings
// call for. Runs on the user-interface thread; its blocking calls wait
// through the engine's EventPump.
//
// With more than one parallel fetch, the pages of the list are downloaded
// that many at a time, and the sites are judged one after the other in list
// order, each with every effect of a one-at-a-time pass: each as soon as its
// page and those above it are in, or, when failed checks are tried again,
// once every page is in. With one, each page is fetched at its site's turn,
// as ever.
class CheckPass {
public:
    // The pause between two attempts at a site whose check failed.
    static constexpr std::chrono::seconds kConfirmPause{3};

    explicit CheckPass(SiteMonitor& monitor) : monitor_(monitor) {}
    // A pass over the rows marked in `only` alone, due or not.
    CheckPass(SiteMonitor& monitor, std::vector<bool> only) : monitor_(monitor), only_(std::move(only)) {}
    void run();
    // Checks the chosen rows at once, each through the same one-site check
    // as a pass: no opening wait, and the timer and the schedule of the
    // passes are left as they are.
    void runRows(const std::vector<int>& rows);

    // The status of a site that is slow.
    static constexpr const char* kSlowStatus = "Slow";
    static constexpr size_t kMaxWaitingBytes = 16 * 1024 * 1024;
    // Lists from this many rows give their memory back after a parallel pass.
    static constexpr size_t kLargeList = 1000;

private:
    // A page downloaded before its site's turn, for the row as it was then.
    struct Ahead {
        SiteEntry site;
        HttpResponse response;
        bool pending = true;
        bool arrived = false; // its download has ended
    };

    // The checks of the due rows, from the offline guard's verdict to the
    // pass's end; `timed`: a pass of the timer, which re-arms it.
    void checkDue(bool timed);
    void fetchAhead(int rows);
    void fetchAlongside(int rows, int& failureCount);
    // Every fetched row's result, as whose-fault-it-is judges them.
    std::vector<ConnectivityVerdict::Site> verdictSites() const;
    bool checkNext(int rows, int& failureCount);
    bool fetchAtTurn(int i);
    HttpResponse downloadConfirmed(const SiteEntry& site);
    HttpRequest requestFor(const SiteEntry& site) const;
    bool due(int i) const {
        return due_.empty() || (static_cast<size_t>(i) < due_.size() && due_[static_cast<size_t>(i)]);
    }
    void checkRow(int i, int& failureCount);
    void noteChange(const SiteEntry& entry, const std::string& judgedAgainst);
    // Hands the pass's changes to the desktop, or holds them.
    void announceChanges();
    // Says once a spell that the fault is this machine's, and keeps it in the history.
    void reportConnectivity(std::time_t started);
    void warnOfCertificate(int daysLeft);
    int parallelFetches() const;
    int confirmAttempts() const;
    static bool failed(const HttpResponse& response, const SiteEntry& site);
    // Whether a page fetched for `before` serves the check of `now`.
    static bool sameCheck(const SiteEntry& before, const SiteEntry& now);

    SiteMonitor& monitor_;
    std::vector<bool> only_;
    std::vector<Ahead> ahead_;
    int next_ = 0; // the row the pass checks next
    // Bytes of pages downloaded ahead and not yet judged. Downloads wait
    // while they pass kMaxWaitingBytes, so a window that judges slower than
    // the network delivers holds a bounded part of the list in memory.
    std::atomic<size_t> waitingBytes_{0};
    // With sites on intervals of their own: the rows this pass checks (empty: all).
    std::vector<bool> due_;
    // Sites without an interval of their own are due in this pass.
    bool intervalSitesDue_ = false;
    int slowCount_ = 0; // sites found slow in this pass
    int heldBack_ = 0;  // failures held back as this machine's fault
    // Sites that failed or recovered in this pass, announced once at its end.
    std::vector<SiteChange> changes_;
};

} // namespace vantrel
