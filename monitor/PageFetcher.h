#pragma once

#include "platform/HttpClient.h"

#include <string>

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

    std::string pageText;
    std::string lastFetchError; // changed only by a failed fetch
    // What the last fetch measured (status code, timings, bytes), without
    // its body; kept for the check history.
    HttpResponse lastMeasure;

private:
    HttpClient& http_;
    EventPump& pump_;
};

} // namespace vantrel
