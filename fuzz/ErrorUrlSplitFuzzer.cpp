// Fuzzes the splitter of a POST error URL and the request built from it.
// The pieces hold no blanks; a request goes out only as a form POST to the
// host the text names (as libcurl reads the URL), carrying the data piece.
#include "fuzz/FuzzCheck.h"
#include "fuzz/RecordingHttpClient.h"
#include "notify/DirectEventPump.h"
#include "notify/ErrorUrlPoster.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstddef>
#include <cstdint>
#include <curl/curl.h>
#include <string>
#include <strings.h>

using vantrel::ErrorUrlPoster;
using vantrel::fuzz::FuzzCheck;

namespace {

// The host of a server piece: up to its port, brackets kept.
std::string hostOf(const std::string& server) {
    if (server.starts_with("["))
        return server.substr(0, server.find(']') + 1);
    return server.substr(0, server.find(':'));
}

// The same address written two ways ("127.1" and "127.0.0.1", "[::0:1]" and
// "[::1]"): libcurl writes numeric hosts in their usual form.
bool sameNumericHost(const std::string& a, const std::string& b) {
    in_addr a4{}, b4{};
    if (::inet_aton(a.c_str(), &a4) && ::inet_aton(b.c_str(), &b4))
        return a4.s_addr == b4.s_addr;
    if (a.size() < 2 || b.size() < 2 || a.front() != '[' || b.front() != '[')
        return false;
    in6_addr a6{}, b6{};
    return ::inet_pton(AF_INET6, a.substr(1, a.size() - 2).c_str(), &a6) == 1 &&
           ::inet_pton(AF_INET6, b.substr(1, b.size() - 2).c_str(), &b6) == 1 &&
           std::equal(std::begin(a6.s6_addr), std::end(a6.s6_addr), std::begin(b6.s6_addr));
}

// The host libcurl would connect to for `url`, or "" when it refuses the URL.
std::string curlHost(const std::string& url) {
    CURLU* u = curl_url();
    std::string host;
    char* part = nullptr;
    if (curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
        curl_url_get(u, CURLUPART_HOST, &part, 0) == CURLUE_OK)
        host = part;
    curl_free(part);
    curl_url_cleanup(u);
    return host;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const ErrorUrlPoster::Parts parts = ErrorUrlPoster::split(text);
    FuzzCheck::require(parts.server.find(' ') == std::string::npos, "the server piece holds no blank");
    FuzzCheck::require(parts.path.find(' ') == std::string::npos, "the path piece holds no blank");
    FuzzCheck::require(parts.data.find(' ') == std::string::npos, "the data piece holds no blank");
    FuzzCheck::require(parts.path.size() + parts.data.size() <= text.size() &&
                           parts.server.size() <= text.size(),
                       "the pieces are taken from the text");

    vantrel::fuzz::RecordingHttpClient http;
    vantrel::DirectEventPump pump;
    ErrorUrlPoster poster(http, pump);
    const bool sent = poster.postErrorUrl(text);
    FuzzCheck::require(sent == http.last.has_value(), "true exactly when a request went out");
    if (!http.last)
        return 0;
    const vantrel::HttpRequest& request = *http.last;
    FuzzCheck::require(request.method == vantrel::HttpRequest::Method::Post, "the request is a POST");
    FuzzCheck::require(request.body == parts.data, "the body is the data piece");
    FuzzCheck::require(request.useEnvironmentProxy, "the request may go through the environment's proxy");
    FuzzCheck::require(request.url.find_first_of("\r\n") == std::string::npos, "the URL holds no line end");

    const std::string host = curlHost(request.url);
    const std::string named = hostOf(parts.server);
    if (!host.empty())
        FuzzCheck::require(::strcasecmp(host.c_str(), named.c_str()) == 0 || sameNumericHost(host, named),
                           "the form goes to the host the text names");
    return 0;
}
