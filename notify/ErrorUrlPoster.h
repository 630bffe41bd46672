#pragma once

#include <string>
#include <string_view>

namespace vantrel {

class EventPump;
class HttpClient;

// The form POST of an error URL. The text holds server, script path and form
// data in one line: "http://", the host (optionally ":port"), "/POST", a
// blank, the path, a blank, "$HTTP" and the data, for example
//   http://example.org/POST /notify $HTTPsite=one&state=down
// The request goes out with the environment's proxy settings, the agent
// "vantrel" and the form content type; any response counts as success.
class ErrorUrlPoster {
public:
    struct Parts {
        std::string server; // host, optionally ":port"
        std::string path;
        std::string data;
        bool operator==(const Parts&) const = default;
    };

    static constexpr const char* kUserAgent = "vantrel";
    static constexpr const char* kContentType = "Content-Type: application/x-www-form-urlencoded";

    ErrorUrlPoster(HttpClient& http, EventPump& pump);

    // The server piece runs up to the first blank, without any "http://" or
    // "/POST"; the path piece from that blank to the first " $HTTP", without
    // blanks; the data piece from there to the end, without "$HTTP" and
    // blanks. Without " $HTTP" the path is empty and the data is the whole
    // text without blanks.
    static Parts split(std::string_view text);

    // True when the request was sent and a response came back. A server
    // piece that is not a plain host (with an optional port) or a path with a
    // control character in it sends nothing and gives false.
    bool postErrorUrl(const std::string& text);

private:
    HttpClient& http_;
    EventPump& pump_;
};

} // namespace vantrel
