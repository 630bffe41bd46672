#include "monitor/PageFetcher.h"

#include "notify/EventPump.h"
#include "platform/HttpClient.h"

#include <cstdio>

namespace vantrel {

PageFetcher::PageFetcher(HttpClient& http, EventPump& pump) : http_(http), pump_(pump) {}

bool PageFetcher::fetchPage(const std::string& url) {
    pageText.clear();

    HttpRequest request;
    request.url = url;
    request.userAgent = kUserAgent;
    // The no-cache pair makes every proxy or cache on the way ask the server.
    request.headers = {"Accept: */*", "Cache-Control: no-cache", "Pragma: no-cache"};
    request.useEnvironmentProxy = false;

    HttpResponse response;
    pump_.runBlocking([&] { response = http_.perform(request); });
    std::string body = std::move(response.body);
    lastMeasure = std::move(response);
    lastMeasure.body.clear();
    if (!lastMeasure.ok) {
        std::fprintf(stderr, "OpenUrl failed: %d\n", lastMeasure.errorNumber);
        std::fflush(stderr);
        lastFetchError = std::to_string(lastMeasure.errorNumber);
        return false;
    }
    pageText = std::move(body);
    return true;
}

} // namespace vantrel
