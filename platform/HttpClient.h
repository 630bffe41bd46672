#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace vantrel {

struct HttpRequest {
    enum class Method { Get, Post };
    Method method = Method::Get;
    std::string url;
    std::string userAgent;
    std::vector<std::string> headers; // "Name: value", without line ends
    std::string body;                 // sent with POST
    bool useEnvironmentProxy = false; // false: always connect directly
    // When set, the request ends early, as a failure, once this turns true.
    const std::atomic<bool>* cancel = nullptr;
};

struct HttpResponse {
    bool ok = false;     // the URL was opened and the whole body read
    int errorNumber = 0; // on failure: the WinINet-style error number (12xxx)
    std::string body;    // every byte of the body, NUL bytes included
};

// One HTTP request, blocking until the body has been read or the request
// failed. Implementations bound every wait, so a call always returns.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    virtual HttpResponse perform(const HttpRequest& request) = 0;
};

} // namespace vantrel
