#pragma once

#include "tests/support/LoopbackServer.h"

#include <atomic>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace vantrel::test {

// A scripted HTTP/1.1 server on 127.0.0.1. Each request target (the text
// after the method in the request line, so "/page" or, through a proxy,
// "http://host/page") gets the response routed to it, or to a route that
// ends in '*' and of which it begins with the rest; others get a 404.
// Every request is recorded with all its bytes, body included. Each
// connection carries one request and is closed after the response.
class HttpTestServer : public LoopbackServer {
public:
    struct Response {
        enum class Kind { Full, Chunked, Silent, Reset, Raw, CutAndReset };
        Kind kind = Kind::Full;
        int status = 200;
        std::string reason = "OK";
        std::vector<std::string> headers;
        std::string body;
        std::size_t chunkSize = 0;
    };

    static Response ok(std::string body);
    static Response status(int code, std::string reason, std::string body);
    static Response chunked(std::string body, std::size_t chunkSize);
    static Response redirect(std::string location);
    // Reads the request and never answers.
    static Response silent();
    // Reads the request and resets the connection.
    static Response reset();
    // Sends these bytes as they are and closes.
    static Response raw(std::string bytes);
    // Announces the whole body, sends its first half and resets.
    static Response cutAndReset(std::string body);

    // `concurrent`: every connection is served at once on its own thread,
    // so a silent route holds up no other request.
    // `port` 0: a free one.
    explicit HttpTestServer(bool concurrent = false, std::uint16_t port = 0);
    ~HttpTestServer() override;

    void route(const std::string& target, Response response);
    // The n-th request for `target` gets the n-th response; the last one
    // answers every request after it.
    void routeInTurn(const std::string& target, std::vector<Response> responses);
    // "http://127.0.0.1:<port>" followed by `path`.
    std::string url(const std::string& path) const;
    std::vector<std::string> requests() const;
    // Long runs (benchmarks) keep no record of the requests.
    void setRecording(bool on) { recording_ = on; }
    std::string lastRequest() const;

protected:
    void serve(int& fd) override;

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::vector<Response>> routes_;
    std::map<std::string, std::size_t> served_;
    std::vector<std::string> requests_;
    std::atomic<bool> recording_{true};
};

} // namespace vantrel::test
