#pragma once

#include "platform/CurlBatch.h"
#include "platform/HttpClient.h"

#include <chrono>
#include <cstddef>
#include <ctime>
#include <memory>
#include <string>

namespace vantrel {

// HttpClient over libcurl, one easy handle per request, nothing kept between
// requests. Only http and https are fetched, also on redirects; redirects are
// followed up to kMaxRedirects (unless the request says not to);
// certificates are verified (unless the request accepts any); no proxy is
// used unless the request asks for the environment's proxy settings
// (http_proxy, https_proxy, no_proxy). The status code is not looked at.
// A login goes only to the URL's host. For https the days left on the server
// certificate are recorded, and for a refused one what was wrong with it.
//
// Every wait is bounded: connecting (name lookup and TLS handshake included)
// by `connectTimeout`, a transfer whose rate stays below 1 byte a second
// for `stallTimeout` fails (libcurl's low-speed limit, judged on its average
// over the last few seconds), and so does a whole request that takes longer
// than `totalTimeout` (a server that drips a few bytes a second never
// stalls). A body is kept
// up to `maxBodyBytes`; a longer one is cut there and the transfer ends as a
// success, so an endless body can neither exhaust memory nor hold up the
// caller.
//
// Failures carry WinINet error numbers:
//   12007 name not resolved          (host or proxy name)
//   12029 cannot connect             (refused, unreachable)
//   12002 timed out                  (connect, stalled transfer, total time)
//   12030 connection aborted         (closed early, send/receive failure)
//   12031 connection reset           (send/receive failure with ECONNRESET)
//   12152 invalid server response    (not HTTP, nothing sent back, a
//                                     header too long to keep)
//   12156 redirect failed            (more than kMaxRedirects)
//   12157 secure channel error       (TLS handshake or TLS set-up failure)
//   12045 invalid certificate authority (peer verification failed)
//   12017 operation cancelled        (the request's cancel flag was set)
//   12006 unrecognised scheme        (anything but http:// and https://,
//                                     also as a redirect's target)
//   12005 invalid URL                (malformed)
//   12004 internal error             (everything else)
//   12001 out of handles             (no descriptor or memory for the socket:
//                                     this machine's failure, not the site's)
class CurlHttpClient : public HttpClient {
public:
    static constexpr std::size_t kMaxPageBytes = 16 * 1024 * 1024;
    static constexpr long kMaxRedirects = 10;
    static constexpr std::chrono::minutes kMaxTransferTime{5};

    static constexpr int kErrTimeout = 12002;
    static constexpr int kErrInternal = 12004;
    static constexpr int kErrInvalidUrl = 12005;
    static constexpr int kErrUnrecognizedScheme = 12006;
    static constexpr int kErrCancelled = 12017;
    static constexpr int kErrNameNotResolved = 12007;
    static constexpr int kErrCannotConnect = 12029;
    static constexpr int kErrConnectionAborted = 12030;
    static constexpr int kErrConnectionReset = 12031;
    static constexpr int kErrInvalidCa = 12045;
    static constexpr int kErrInvalidServerResponse = 12152;
    static constexpr int kErrRedirectFailed = 12156;
    static constexpr int kErrSecurityChannel = 12157;

    explicit CurlHttpClient(std::chrono::milliseconds connectTimeout = std::chrono::seconds(60),
                            std::chrono::seconds stallTimeout = std::chrono::seconds(30),
                            std::size_t maxBodyBytes = kMaxPageBytes,
                            std::chrono::milliseconds totalTimeout = kMaxTransferTime);

    HttpResponse perform(const HttpRequest& request) override;
    // Runs the requests on one libcurl multi handle, each with the same
    // options and bounds as perform(), in their order as far as the limits
    // below allow.
    std::vector<HttpResponse> performAll(const std::vector<HttpRequest>& requests, int parallel) override;
    void performEach(const std::vector<HttpRequest>& requests, int parallel, const Ended& ended,
                     const MayStart& mayStart = {}) override;

    // How many transfers of a batch run at once (see CurlBatch::Limits).
    // `parallel` transfers moving; twice that many connections to one
    // server, so a server sees at most its usual share of moving requests
    // plus as many hanging ones; and in all, from the descriptors the
    // process may still open beside kDescriptorReserve (the reserve the
    // metrics endpoint keeps for mail, the log and the history), never
    // fewer than `parallel`.
    using BatchLimits = CurlBatch::Limits;
    BatchLimits batchLimits(int parallel) const;
    static constexpr long kDescriptorReserve = 256;
    static constexpr long kMaxOpenTransfers = 4096;
    static constexpr std::size_t kLookAhead = CurlBatch::kLookAhead;

    // Trust the certificate authorities in this PEM file instead of the
    // system's (empty: the system's).
    void setCaFile(std::string path) { caFile_ = std::move(path); }

    // Days from `now` until an "Expire date" as libcurl reports it, a part
    // of a day counted as a whole one (0 once it has passed; -1 when the
    // text is not a date).
    static int daysLeftUntil(const std::string& expireDate, std::time_t now);

    // The WinINet number for a libcurl result. `osErrno` is the system error
    // libcurl saw last (it tells a reset from other receive failures);
    // `gotResponse` tells whether any HTTP response arrived (a reply that is
    // not HTTP at all is refused by libcurl as an unsupported protocol).
    static int errorNumberFor(int curlCode, long osErrno, bool gotResponse);

private:
    struct Transfer;
    std::unique_ptr<Transfer> prepare(const HttpRequest& request) const;
    static void finish(Transfer& transfer, int curlCode);

    std::string caFile_;
    std::chrono::milliseconds connectTimeout_;
    std::chrono::seconds stallTimeout_;
    std::size_t maxBodyBytes_;
    std::chrono::milliseconds totalTimeout_;
};

} // namespace vantrel
