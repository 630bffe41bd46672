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
    request.cancel = &pump_.stopSignal().flag();

    HttpResponse response;
    pump_.runBlocking([&] { response = http_.perform(request); });
    if (!response.ok) {
        std::fprintf(stderr, "OpenUrl failed: %d\n", response.errorNumber);
        std::fflush(stderr);
        lastFetchError = std::to_string(response.errorNumber);
        return false;
    }
    pageText = std::move(response.body);
    return true;
}

} // namespace vantrel
