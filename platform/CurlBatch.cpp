#include "platform/CurlBatch.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <curl/curl.h>
#include <deque>
#include <memory>
#include <unordered_map>

namespace vantrel {

namespace {

struct MultiDeleter {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};

constexpr int kPollSliceMs = 100;
constexpr int kHeldSliceMs = 5;

} // namespace

std::string CurlBatch::hostKeyOf(const std::string& url) {
    std::string key;
    CURLU* u = curl_url();
    if (u && curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        char* host = nullptr;
        char* port = nullptr;
        if (curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
            curl_url_get(u, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
            for (const char* c = host; *c; ++c)
                key += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
            key += ':';
            key += port;
        }
        curl_free(host);
        curl_free(port);
    }
    curl_url_cleanup(u);
    return key;
}

bool CurlBatch::run(const std::vector<HttpRequest>& requests, const Start& start, const End& end,
                    const HttpClient::MayStart& mayStart) {
    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!multi)
        return false;
    using Clock = std::chrono::steady_clock;
    const Limits& limits = limits_;

    // A transfer under way: its request, its server, and when it last
    // received anything.
    struct Running {
        std::size_t index = 0;
        std::string host;
        Clock::time_point lastMoved;
        curl_off_t seen = 0; // header and body bytes so far
        bool quiet = false;
    };
    std::unordered_map<CURL*, Running> running;
    std::unordered_map<std::string, int> perHost;
    int moving = 0;
    std::deque<std::size_t> waiting;
    for (std::size_t i = 0; i < requests.size(); ++i)
        waiting.push_back(i);

    // Starts waiting requests in their order while fewer than the limit are
    // moving; only the first kLookAhead waiting requests are looked at, so a
    // list full of one busy server costs no search through all of it.
    auto startMore = [&] {
        // A request already cancelled starts (and ends at once) even so.
        const bool held = mayStart && !mayStart();
        std::size_t looked = 0;
        for (auto it = waiting.begin(); it != waiting.end() && moving < limits.moving &&
                                        static_cast<int>(running.size()) < limits.open && looked < kLookAhead;
             ++looked) {
            const std::size_t index = *it;
            const std::atomic<bool>* cancel = requests[index].cancel;
            if (held && !(cancel && cancel->load(std::memory_order_acquire)))
                break;
            std::string host = hostKeyOf(requests[index].url);
            if (!host.empty() && perHost[host] >= limits.perHost) {
                ++it;
                continue;
            }
            it = waiting.erase(it);
            auto* h = static_cast<CURL*>(start(index));
            if (!h)
                continue;
            if (curl_multi_add_handle(multi.get(), h) != CURLM_OK) {
                end(h, index, kNotAdded);
                continue;
            }
            ++moving;
            if (!host.empty())
                ++perHost[host];
            running.emplace(h, Running{index, std::move(host), Clock::now()});
        }
    };

    const int pollMs = static_cast<int>(std::min<long long>(kPollSliceMs, limits.quietAfter.count() / 2));
    startMore();
    while (!running.empty() || !waiting.empty()) {
        int stillRunning = 0;
        if (curl_multi_perform(multi.get(), &stillRunning) != CURLM_OK)
            break;
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi.get(), &queued)) {
            if (msg->msg != CURLMSG_DONE)
                continue;
            auto it = running.find(msg->easy_handle);
            if (it == running.end())
                continue;
            const CURLcode rc = msg->data.result;
            Running& r = it->second;
            CURL* h = it->first;
            curl_multi_remove_handle(multi.get(), h);
            moving -= r.quiet ? 0 : 1;
            if (!r.host.empty())
                --perHost[r.host];
            const std::size_t index = r.index;
            running.erase(it);
            end(h, index, rc);
        }
        // A transfer that has received nothing for a while stops counting
        // against the limit, and counts again once data moves.
        const Clock::time_point now = Clock::now();
        for (auto& [h, r] : running) {
            curl_off_t body = 0;
            long header = 0;
            curl_easy_getinfo(h, CURLINFO_SIZE_DOWNLOAD_T, &body);
            curl_easy_getinfo(h, CURLINFO_HEADER_SIZE, &header);
            const curl_off_t seen = body + header;
            if (seen != r.seen) {
                r.seen = seen;
                r.lastMoved = now;
                if (r.quiet) {
                    r.quiet = false;
                    ++moving;
                }
            } else if (!r.quiet && now - r.lastMoved >= limits.quietAfter) {
                r.quiet = true;
                --moving;
            }
        }
        startMore();
        // Every transfer bounds its own time, so this wait always ends; the
        // short slice keeps the loop from spinning and lets quiet transfers
        // be noticed in time. With nothing under way, requests wait for
        // leave to start, and are asked again after a shorter slice.
        if (!running.empty())
            curl_multi_poll(multi.get(), nullptr, 0, pollMs, nullptr);
        else if (!waiting.empty())
            curl_multi_poll(multi.get(), nullptr, 0, kHeldSliceMs, nullptr);
    }
    // Only reached with transfers left when the multi handle itself failed.
    for (auto& [h, r] : running) {
        curl_multi_remove_handle(multi.get(), h);
        end(h, r.index, kAbandoned);
    }
    for (std::size_t index : waiting)
        end(nullptr, index, kAbandoned);
    return true;
}

} // namespace vantrel
