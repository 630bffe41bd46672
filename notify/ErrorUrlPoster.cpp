#include "notify/ErrorUrlPoster.h"

#include "model/TextUtil.h"
#include "notify/EventPump.h"
#include "platform/HttpClient.h"

#include <algorithm>

namespace vantrel {

namespace {

// The server piece must be a host name or address with an optional port;
// anything else ("user@host", "host/more", "host?x") would send the form to
// another place than the one the text names.
bool isPlainHost(std::string_view server) {
    return !server.empty() && std::all_of(server.begin(), server.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
               c == '-' || c == '_' || c == ':' || c == '[' || c == ']';
    });
}

// A control character (a line end above all) in the path would let the
// text end the request line early and add lines of its own to the request.
bool isPrintablePath(std::string_view path) {
    return std::none_of(path.begin(), path.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

} // namespace

ErrorUrlPoster::ErrorUrlPoster(HttpClient& http, EventPump& pump) : http_(http), pump_(pump) {}

ErrorUrlPoster::Parts ErrorUrlPoster::split(std::string_view text) {
    const std::size_t blank = text.find(' ');
    const std::size_t marker = text.find(" $HTTP");
    Parts parts;
    parts.server = text::removeAll(text::removeAll(text.substr(0, blank), "http://"), "/POST");
    if (marker == std::string_view::npos) {
        parts.data = text::removeAll(text, " ");
        return parts;
    }
    // A marker exists, so there is a blank at or before it.
    parts.path = text::removeAll(text.substr(blank, marker - blank), " ");
    parts.data = text::removeAll(text::removeAll(text.substr(marker), "$HTTP"), " ");
    return parts;
}

bool ErrorUrlPoster::postErrorUrl(const std::string& text) {
    const Parts parts = split(text);
    if (!isPlainHost(parts.server) || !isPrintablePath(parts.path))
        return false;

    HttpRequest request;
    request.method = HttpRequest::Method::Post;
    request.url = "http://" + parts.server;
    if (!parts.path.starts_with("/"))
        request.url += '/';
    request.url += parts.path;
    request.userAgent = kUserAgent;
    request.headers = {kContentType};
    request.body = parts.data;
    request.useEnvironmentProxy = true;
    request.cancel = &pump_.stopSignal().flag();

    HttpResponse response;
    pump_.runBlocking([&] { response = http_.perform(request); });
    return response.ok;
}

} // namespace vantrel
