#include "monitor/PassDownloads.h"

#include "model/ExtraSettingsFile.h"
#include "model/TextUtil.h"
#include "monitor/CheckEvaluator.h"
#include "monitor/ConnectivityVerdict.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteMonitor.h"
#include "monitor/SiteRequest.h"
#include "notify/EventPump.h"
#include "platform/FreeMemory.h"

#include <algorithm>

namespace vantrel {

int PassDownloads::parallelFetches() const {
    return std::clamp(monitor_.extraSettings().parallelFetches, 1, ExtraSettingsFile::kMaxParallelFetches);
}

int PassDownloads::confirmAttempts() const {
    return std::clamp(monitor_.extraSettings().confirmAttempts, 1, ExtraSettingsFile::kMaxConfirmAttempts);
}

bool PassDownloads::failed(const HttpResponse& response, const SiteEntry& site) {
    // The plain check needs no rules read (and nothing compiled) to know.
    if (!site.options.inUse())
        return !response.ok || (!site.testString.empty() && !text::contains(response.body, site.testString));
    return CheckEvaluator(CheckRules::from(site)).judge(response).outcome != CheckVerdict::Outcome::Good;
}

bool PassDownloads::fineAtHome(const HttpResponse& response, const SiteEntry& site) {
    if (failed(response, site))
        return false;
    return response.finalUrl.empty() ||
           ConnectivityVerdict::hostOf(response.finalUrl) == ConnectivityVerdict::hostOf(site.url);
}

bool PassDownloads::sameCheck(const SiteEntry& before, const SiteEntry& now) {
    return before.url == now.url && before.testString == now.testString && before.options == now.options;
}

HttpRequest PassDownloads::requestFor(const SiteEntry& site) const {
    if (!site.options.inUse())
        return PageFetcher::requestFor(site.url);
    return SiteRequest::build(site, CheckRules::from(site), monitor_.secrets());
}

std::vector<size_t> PassDownloads::collect(int rows, const Due& due) {
    ahead_.assign(static_cast<size_t>(rows), Ahead{});
    std::vector<size_t> wanted;
    for (int i = 0; i < rows; ++i) {
        Ahead& a = ahead_[static_cast<size_t>(i)];
        a.pending = due(i);
        a.arrived = !a.pending;
        if (!a.pending)
            continue;
        a.site = monitor_.sites().row(i);
        wanted.push_back(static_cast<size_t>(i));
    }
    return wanted;
}

// Downloads every due row's page, the configured number at a time, and
// checks the rows in list order while later pages still download: a row is
// checked once its page (its last attempt) and those of all rows above it
// are in, and the offline guard has what it needs for its verdict (a page
// fetched well from its own host, or every result). A failed page is
// fetched again with the others that failed in the same round, a pause
// after the round ends. Each check has every effect of a check at its turn.
void PassDownloads::fetchAlongside(int rows, const Due& due, const std::function<bool()>& checkReady) {
    SiteMonitor& m = monitor_;
    waitingBytes_ = 0;
    std::vector<size_t> wanted = collect(rows, due);
    bool verdict = false;
    size_t outstanding = wanted.size(); // rows whose last attempt is not in
    for (int attempt = 1; !wanted.empty() && !m.stopRequested(); ++attempt) {
        if (attempt > 1)
            m.pump().sleepFor(kConfirmPause);
        const bool last = attempt >= confirmAttempts();
        std::vector<HttpRequest> requests;
        for (size_t i : wanted)
            requests.push_back(requestFor(ahead_[i].site));
        std::vector<size_t> again;
        m.fetcher().downloadAlongside(
            std::move(requests), parallelFetches(),
            [&](size_t k, HttpResponse&& response) {
                Ahead& a = ahead_[wanted[k]];
                a.response = std::move(response);
                if (!last && failed(a.response, a.site)) {
                    again.push_back(wanted[k]);
                    return;
                }
                a.arrived = true;
                --outstanding;
                waitingBytes_ += a.response.body.size();
                if (!verdict && fineAtHome(a.response, a.site)) {
                    // One site fetched well settles it: the machine is online.
                    m.offlineGuard().judgeSites({{a.site.url, 0, false, a.response.finalUrl, {}}});
                    m.view().setOffline(m.offlineGuard().offline());
                    verdict = true;
                }
            },
            [&] {
                if (!verdict && outstanding == 0) {
                    judgeAll();
                    verdict = true;
                }
                return verdict && checkReady();
            },
            [&] { return waitingBytes_.load(std::memory_order_relaxed) < kMaxWaitingBytes; });
        std::sort(again.begin(), again.end());
        wanted = std::move(again);
    }
    // A pass stopped between rounds: the rows keep the answer they have.
    for (Ahead& a : ahead_)
        a.arrived = true;
    if (!verdict)
        judgeAll();
}

void PassDownloads::judgeAll() {
    std::vector<ConnectivityVerdict::Site> sites;
    for (const Ahead& a : ahead_)
        if (a.pending)
            sites.push_back({a.site.url, a.response.ok ? 0 : a.response.errorNumber,
                             failed(a.response, a.site), a.response.finalUrl,
                             a.response.ok ? a.response.body.substr(0, 65536) : std::string()});
    monitor_.offlineGuard().judgeSites(sites);
    monitor_.view().setOffline(monitor_.offlineGuard().offline());
}

bool PassDownloads::fetchAtTurn(int i) {
    const SiteEntry& entry = monitor_.data().entry;
    const auto at = static_cast<size_t>(i);
    if (at < ahead_.size() && ahead_[at].pending && sameCheck(ahead_[at].site, entry)) {
        ahead_[at].pending = false;
        waitingBytes_ -= std::min(waitingBytes_.load(), ahead_[at].response.body.size());
        return monitor_.fetcher().accept(std::move(ahead_[at].response));
    }
    return monitor_.fetcher().accept(downloadConfirmed(entry));
}

// Downloads the site's page until a download passes or the attempts are
// used up, a pause apart; the last download is the one that counts.
HttpResponse PassDownloads::downloadConfirmed(const SiteEntry& site) {
    HttpResponse response = monitor_.fetcher().download(requestFor(site));
    for (int attempt = 2; attempt <= confirmAttempts() && failed(response, site) && !monitor_.stopRequested();
         ++attempt) {
        monitor_.pump().sleepFor(kConfirmPause);
        response = monitor_.fetcher().download(requestFor(site));
    }
    return response;
}

void PassDownloads::finish() {
    // The pages of a long list were many; what they took goes back now
    // rather than staying resident until the next pass.
    const bool large = ahead_.size() >= kLargeList;
    ahead_ = {};
    if (large)
        FreeMemory::giveBack();
}

} // namespace vantrel
