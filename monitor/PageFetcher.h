#pragma once

#include "platform/HttpClient.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace vantrel {

class EventPump;

// Downloads one page: a GET with the agent "Vantrel 1.0" and "Accept: */*",
// straight to the server (no proxy, never from a cache). Whatever body comes
// back is the page, whatever the status code.
class PageFetcher {
public:
    static constexpr const char* kUserAgent = "Vantrel 1.0";

    PageFetcher(HttpClient& http, EventPump& pump);

    // Empties pageText, then fetches `url`. On success pageText holds every
    // byte of the body. On failure pageText stays empty, lastFetchError
    // holds the WinINet error number in decimal and one line
    // "OpenUrl failed: <number>" goes to standard error.
    bool fetchPage(const std::string& url);

    // The two halves of fetchPage, for fetches made ahead of their use:
    // download without touching pageText or lastFetchError ...
    HttpResponse download(const std::string& url);
    HttpResponse download(HttpRequest request);
    // ... several at once (up to `parallel`), the responses in the order of
    // the requests; one wait through the pump for all of them ...
    std::vector<HttpResponse> downloadAll(const std::vector<std::string>& urls, int parallel);
    std::vector<HttpResponse> downloadAll(std::vector<HttpRequest> requests, int parallel);
    // ... or several at once with work done beside them: `arrived` gets
    // each response, with the index of its request, on this thread as soon
    // as it is there (in whatever order they end), and `work` runs on this
    // thread in between, one piece at a time, while it says more is ready
    // (see EventPump::runAlongside). Once `work` runs while downloads are
    // still under way, no further download starts while `mayStart` (called
    // on the downloading thread) says no; a pump that does the work only
    // after the downloads is never held back ...
    using Arrived = std::function<void(std::size_t index, HttpResponse&& response)>;
    void downloadAlongside(std::vector<HttpRequest> requests, int parallel, const Arrived& arrived,
                           const std::function<bool()>& work, const std::function<bool()>& mayStart);
    // ... and take a response as the result of a fetch, exactly as
    // fetchPage does once its download is over.
    bool accept(HttpResponse response);

    static HttpRequest requestFor(const std::string& url);

    std::string pageText;
    std::string lastFetchError; // changed only by a failed fetch
    // What the last fetch measured (its body is in pageText, not here).
    HttpResponse lastResponse;

private:
    HttpClient& http_;
    EventPump& pump_;
};

} // namespace vantrel
