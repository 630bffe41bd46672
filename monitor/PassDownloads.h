#pragma once

#include "model/SiteEntry.h"
#include "platform/HttpClient.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <vector>

namespace vantrel {

class SiteMonitor;

// The downloading side of a pass with more than one parallel fetch: the
// pages of the due rows, fetched the configured number at a time before
// their rows' turns, and the offline guard's verdict on them. A failed page
// is fetched again, a pause apart, until it passes or the attempts are used
// up; a row's page is ready once its last attempt is in. Each row takes its
// page at its turn (or fetches now when the row changed since), so a row is
// checked exactly as a one-at-a-time pass checks it.
class PassDownloads {
public:
    // The pause between two attempts at a site whose check failed.
    static constexpr std::chrono::seconds kConfirmPause{3};
    static constexpr size_t kMaxWaitingBytes = 16 * 1024 * 1024;
    // Lists from this many rows give their memory back after a parallel pass.
    static constexpr size_t kLargeList = 1000;

    using Due = std::function<bool(int)>;

    explicit PassDownloads(SiteMonitor& monitor) : monitor_(monitor) {}

    // Downloads every due row's page while `checkReady` checks rows in list
    // order on this thread: it is called whenever a page came in once the
    // offline guard has its verdict, and checks rows while they are ready.
    void fetchAlongside(int rows, const Due& due, const std::function<bool()>& checkReady);
    // Whether row i's page (its last attempt) is in.
    bool ready(int i) const {
        return static_cast<size_t>(i) < ahead_.size() && ahead_[static_cast<size_t>(i)].arrived;
    }
    // Puts the current entry's page into the fetcher: the one downloaded
    // ahead when the row still has the URL, test string and options it had
    // then, else a download now. False when the fetch failed.
    bool fetchAtTurn(int i);
    // Drops what is left of the pass's pages; gives a long list's memory back.
    void finish();

    int parallelFetches() const;
    int confirmAttempts() const;
    HttpRequest requestFor(const SiteEntry& site) const;
    static bool failed(const HttpResponse& response, const SiteEntry& site);
    // Whether a page fetched for `before` serves the check of `now`.
    static bool sameCheck(const SiteEntry& before, const SiteEntry& now);

private:
    // A page downloaded before its site's turn, for the row as it was then.
    struct Ahead {
        SiteEntry site;
        HttpResponse response;
        bool pending = true;
        bool arrived = false; // its last attempt has ended
    };

    // The due rows, each with its row as it is now; ahead_ sized to `rows`.
    std::vector<size_t> collect(int rows, const Due& due);
    HttpResponse downloadConfirmed(const SiteEntry& site);
    // The offline guard's verdict over every fetched row.
    void judgeAll();
    // A page fetched well from its own host: the machine is online, whatever
    // the other sites answer.
    static bool fineAtHome(const HttpResponse& response, const SiteEntry& site);

    SiteMonitor& monitor_;
    std::vector<Ahead> ahead_;
    // Bytes of pages downloaded ahead and not yet judged. Downloads wait
    // while they pass kMaxWaitingBytes, so a window that judges slower than
    // the network delivers holds a bounded part of the list in memory.
    std::atomic<size_t> waitingBytes_{0};
};

} // namespace vantrel
