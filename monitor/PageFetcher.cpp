#include "monitor/PageFetcher.h"

#include "notify/EventPump.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <utility>

namespace vantrel {

PageFetcher::PageFetcher(HttpClient& http, EventPump& pump) : http_(http), pump_(pump) {}

HttpRequest PageFetcher::requestFor(const std::string& url) {
    HttpRequest request;
    request.url = url;
    request.userAgent = kUserAgent;
    // The no-cache pair makes every proxy or cache on the way ask the server.
    request.headers = {"Accept: */*", "Cache-Control: no-cache", "Pragma: no-cache"};
    request.useEnvironmentProxy = false;
    return request;
}

bool PageFetcher::fetchPage(const std::string& url) {
    pageText.clear();
    return accept(download(url));
}

HttpResponse PageFetcher::download(const std::string& url) {
    return download(requestFor(url));
}

HttpResponse PageFetcher::download(HttpRequest request) {
    request.cancel = &pump_.stopSignal().flag(); // a stop ends the download at once
    HttpResponse response;
    pump_.runBlocking([&] { response = http_.perform(request); });
    return response;
}

std::vector<HttpResponse> PageFetcher::downloadAll(const std::vector<std::string>& urls, int parallel) {
    std::vector<HttpRequest> requests;
    requests.reserve(urls.size());
    for (const std::string& url : urls)
        requests.push_back(requestFor(url));
    return downloadAll(std::move(requests), parallel);
}

std::vector<HttpResponse> PageFetcher::downloadAll(std::vector<HttpRequest> requests, int parallel) {
    for (HttpRequest& request : requests)
        request.cancel = &pump_.stopSignal().flag();
    std::vector<HttpResponse> responses;
    pump_.runBlocking([&] { responses = http_.performAll(requests, parallel); });
    return responses;
}

void PageFetcher::downloadAlongside(std::vector<HttpRequest> requests, int parallel, const Arrived& arrived,
                                    const std::function<bool()>& work,
                                    const std::function<bool()>& mayStart) {
    for (HttpRequest& request : requests)
        request.cancel = &pump_.stopSignal().flag();
    // Responses that ended and are not yet handed over, filled by the
    // downloading side and emptied by this one.
    std::mutex mutex;
    std::vector<std::pair<std::size_t, HttpResponse>> inbox;
    std::vector<std::pair<std::size_t, HttpResponse>> taken;
    std::atomic<bool> downloading{false};
    std::atomic<bool> workBeside{false}; // work ran while downloads were under way
    pump_.runAlongside(
        [&](const EventPump::Signal& signal) {
            downloading = true;
            http_.performEach(
                requests, parallel,
                [&](std::size_t index, HttpResponse&& response) {
                    {
                        std::lock_guard<std::mutex> lock(mutex);
                        inbox.emplace_back(index, std::move(response));
                    }
                    signal();
                },
                [&] { return !workBeside || mayStart(); });
            downloading = false;
        },
        [&] {
            if (downloading)
                workBeside = true;
            {
                std::lock_guard<std::mutex> lock(mutex);
                taken.swap(inbox);
            }
            for (auto& [index, response] : taken)
                arrived(index, std::move(response));
            taken.clear();
            return work();
        });
}

bool PageFetcher::accept(HttpResponse response) {
    pageText.clear();
    lastResponse = std::move(response);
    if (!lastResponse.ok) {
        std::fprintf(stderr, "OpenUrl failed: %d\n", lastResponse.errorNumber);
        std::fflush(stderr);
        lastFetchError = std::to_string(lastResponse.errorNumber);
        return false;
    }
    pageText = std::move(lastResponse.body);
    lastResponse.body.clear();
    return true;
}

} // namespace vantrel
