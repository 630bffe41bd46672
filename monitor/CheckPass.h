#pragma once

#include "platform/HttpClient.h"

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
// With more than one parallel fetch, every page of the list is downloaded
// first, that many at a time, and the sites are then judged one after the
// other in list order, each with every effect of a one-at-a-time pass. With
// one, each page is fetched at its site's turn, as ever.
class CheckPass {
public:
    // The pause between two attempts at a site whose check failed.
    static constexpr std::chrono::seconds kConfirmPause{3};

    explicit CheckPass(SiteMonitor& monitor) : monitor_(monitor) {}
    void run();

private:
    enum class Outcome { NotFetched, StringMissing, Good };

    // A page downloaded before its site's turn, for the URL and test string
    // its row had then.
    struct Ahead {
        std::string url;
        std::string testString;
        HttpResponse response;
        bool pending = true;
    };

    void fetchAhead(int rows);
    bool fetchAtTurn(int i);
    HttpResponse downloadConfirmed(const std::string& url, const std::string& testString);
    void checkRow(int i, int& failureCount);
    void warnOfCertificate(int daysLeft);
    int parallelFetches() const;
    int confirmAttempts() const;
    static bool failed(const HttpResponse& response, const std::string& testString);

    SiteMonitor& monitor_;
    std::vector<Ahead> ahead_;
};

} // namespace vantrel
