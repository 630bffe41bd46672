#pragma once

#include "platform/HttpClient.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace vantrel {

// Runs a batch of requests on one libcurl multi handle under the limits of
// a pass: how many transfers move at once, how many connections one server
// gets, and how many transfers are open in all. The transfers themselves
// (their easy handles and what they answer) belong to the caller.
class CurlBatch {
public:
    // `moving` limits only the transfers that are moving: one that has
    // received nothing for `quietAfter` (a server that accepted and hangs, a
    // page that stalls) stops counting, so that a few hanging sites cannot
    // hold the rest of the list until their stall limit; it counts again
    // once data arrives. Quiet transfers still hold their connections, so
    // `perHost` bounds the connections to one server (host and port) and
    // `open` the transfers under way in all.
    struct Limits {
        int moving = 1;
        int perHost = 2;
        int open = 1;
        std::chrono::milliseconds quietAfter{1000};
    };
    // Waiting requests looked at for one that may start.
    static constexpr std::size_t kLookAhead = 256;
    // What `end` gets instead of a libcurl result when a transfer could not
    // be added to the batch, or was left when the multi handle failed.
    static constexpr int kNotAdded = -1;
    static constexpr int kAbandoned = -2;

    // Sets up request `index` and returns its easy handle, or nullptr when
    // the request has ended already (and the caller reported it).
    using Start = std::function<void*(std::size_t index)>;
    // The transfer of request `index` on `easy` ended with libcurl's result
    // `curlCode` (or kNotAdded / kAbandoned, `easy` null when it never
    // started): the caller reports it and frees the handle.
    using End = std::function<void(void* easy, std::size_t index, int curlCode)>;

    explicit CurlBatch(const Limits& limits) : limits_(limits) {}

    // Starts the requests in their order as far as the limits allow, and
    // returns once every one has ended. A request whose server has its share
    // of connections waits for one of them to end, and those behind it may
    // go first. While `mayStart` says no, only cancelled requests start.
    // False, with nothing started, when no multi handle could be made.
    bool run(const std::vector<HttpRequest>& requests, const Start& start, const End& end,
             const HttpClient::MayStart& mayStart);

    // The server of a URL as "host:port", the key of the cap on connections
    // to one server ("" when the URL names none).
    static std::string hostKeyOf(const std::string& url);

private:
    Limits limits_;
};

} // namespace vantrel
