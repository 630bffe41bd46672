#pragma once

#include "platform/HttpClient.h"

#include <optional>

namespace vantrel::fuzz {

// An HttpClient that sends nothing: it keeps the last request and answers
// every one with an empty page.
class RecordingHttpClient : public HttpClient {
public:
    std::optional<HttpRequest> last;

    HttpResponse perform(const HttpRequest& request) override {
        last = request;
        HttpResponse response;
        response.ok = true;
        return response;
    }
};

} // namespace vantrel::fuzz
