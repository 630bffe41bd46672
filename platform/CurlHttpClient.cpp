#include "platform/CurlHttpClient.h"

#include "platform/CurlBatch.h"
#include "platform/CurlCertProbe.h"
#include "platform/OpenFiles.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>
#include <curl/curl.h>
#include <memory>
#include <string_view>
#include <sys/socket.h>
#include <unordered_map>

namespace vantrel {

namespace {

void initCurlOnce() {
    // curl_global_init is not thread-safe in this libcurl; a function-local
    // static runs it exactly once, before any handle is made.
    static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)init;
}

// The URL's scheme in lower case, or "" when the text does not begin with one.
std::string schemeOf(std::string_view url) {
    std::size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(url[0])))
        return {};
    std::string scheme;
    for (char c : url.substr(0, colon)) {
        auto u = static_cast<unsigned char>(c);
        if (!std::isalnum(u) && c != '+' && c != '-' && c != '.')
            return {};
        scheme += static_cast<char>(std::tolower(u));
    }
    return scheme;
}

struct BodySink {
    std::string* body;
    std::size_t limit;
    bool cut = false;
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<BodySink*>(user);
    const size_t n = size * count;
    const size_t room = sink->limit - sink->body->size();
    if (n > room) {
        sink->body->append(data, room);
        sink->cut = true;
        return 0; // ends the transfer; perform() turns this into a success
    }
    sink->body->append(data, n);
    return n;
}

// libcurl calls this often while data moves and about once a second while
// nothing does, so a set cancel flag ends the transfer within a second.
int checkCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* cancel = static_cast<const std::atomic<bool>*>(user);
    return cancel->load(std::memory_order_acquire) ? 1 : 0;
}

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
// Opens a transfer's socket as libcurl would, and keeps the reason when no
// socket could be had.
curl_socket_t openSocket(void* failure, curlsocktype, curl_sockaddr* address) {
    const int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (fd < 0)
        *static_cast<int*>(failure) = errno;
    return fd < 0 ? CURL_SOCKET_BAD : fd;
}

bool hasLineBreak(const std::string& line) {
    return line.find_first_of("\r\n") != std::string::npos;
}

} // namespace

CurlHttpClient::CurlHttpClient(std::chrono::milliseconds connectTimeout, std::chrono::seconds stallTimeout,
                               std::size_t maxBodyBytes, std::chrono::milliseconds totalTimeout)
    : connectTimeout_(connectTimeout), stallTimeout_(stallTimeout), maxBodyBytes_(maxBodyBytes),
      totalTimeout_(totalTimeout) {
    initCurlOnce();
}

int CurlHttpClient::errorNumberFor(int curlCode, long osErrno, bool gotResponse) {
    switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_UNSUPPORTED_PROTOCOL:
        return gotResponse ? kErrUnrecognizedScheme : kErrInvalidServerResponse;
    case CURLE_URL_MALFORMAT:
        return kErrInvalidUrl;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
        return kErrNameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return kErrCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
        return kErrTimeout;
    case CURLE_PARTIAL_FILE:
        return kErrConnectionAborted;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        return osErrno == ECONNRESET ? kErrConnectionReset : kErrConnectionAborted;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_BAD_CONTENT_ENCODING:
        return kErrInvalidServerResponse;
    case CURLE_OUT_OF_MEMORY:
        // This libcurl refuses a response header line it cannot keep (over
        // 100 KB) with "out of memory"; after a status line that is the
        // server's fault, not ours.
        return gotResponse ? kErrInvalidServerResponse : kErrInternal;
#if LIBCURL_VERSION_NUM >= 0x080600
    case CURLE_TOO_LARGE: // what later libcurl says instead
        return kErrInvalidServerResponse;
#endif
    case CURLE_ABORTED_BY_CALLBACK:
        return kErrCancelled;
    case CURLE_TOO_MANY_REDIRECTS:
        return kErrRedirectFailed;
    case CURLE_PEER_FAILED_VERIFICATION:
        return kErrInvalidCa;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return kErrSecurityChannel;
    default:
        return kErrInternal;
    }
}

namespace {

// Copies what the transfer measured into the response; libcurl reports each
// step's time from the start of the transfer, in microseconds.
void recordMeasurements(CURL* h, HttpResponse& response) {
    auto millis = [h](CURLINFO info) {
        curl_off_t us = -1;
        if (curl_easy_getinfo(h, info, &us) != CURLE_OK || us <= 0)
            return -1.0;
        return static_cast<double>(us) / 1000.0;
    };
    response.nameLookupMs = millis(CURLINFO_NAMELOOKUP_TIME_T);
    response.connectMs = millis(CURLINFO_CONNECT_TIME_T);
    response.tlsMs = millis(CURLINFO_APPCONNECT_TIME_T);
    response.firstByteMs = millis(CURLINFO_STARTTRANSFER_TIME_T);
    response.totalMs = millis(CURLINFO_TOTAL_TIME_T);
    long status = 0;
    if (curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status > 0)
        response.statusCode = static_cast<int>(status);
    curl_off_t bytes = 0;
    if (curl_easy_getinfo(h, CURLINFO_SIZE_DOWNLOAD_T, &bytes) == CURLE_OK && bytes > 0)
        response.bytesReceived = static_cast<long long>(bytes);
    // Where the answer came from: the redirect not followed, else the last URL.
    char* url = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &url) == CURLE_OK && url)
        response.finalUrl = url;
    else if (curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url)
        response.finalUrl = url;
}

} // namespace

// One request on its own easy handle, from set-up to its response.
struct CurlHttpClient::Transfer {
    std::unique_ptr<CURL, EasyDeleter> easy;
    std::unique_ptr<curl_slist, SlistDeleter> headers;
    HttpResponse response;
    BodySink sink{nullptr, 0};
    CurlCertProbe certProbe;
    bool https = false;
    int socketErrno = 0; // why no socket could be opened
};

std::unique_ptr<CurlHttpClient::Transfer> CurlHttpClient::prepare(const HttpRequest& request) const {
    auto t = std::make_unique<Transfer>();
    HttpResponse& response = t->response;
    const std::string scheme = schemeOf(request.url);
    if (scheme != "http" && scheme != "https") {
        response.errorNumber = kErrUnrecognizedScheme;
        return t;
    }
    t->https = scheme == "https";
    if (request.cancel && request.cancel->load(std::memory_order_acquire)) {
        response.errorNumber = kErrCancelled; // nothing is sent
        return t;
    }

    t->easy.reset(curl_easy_init());
    if (!t->easy) {
        response.errorNumber = kErrInternal;
        return t;
    }
    CURL* h = t->easy.get();

    auto addHeader = [t = t.get()](const std::string& line) {
        if (curl_slist* grown = curl_slist_append(t->headers.get(), line.c_str())) {
            (void)t->headers.release();
            t->headers.reset(grown);
        }
    };
    // A line break inside a header would start a header or a request of its own.
    for (const std::string& line : request.headers)
        if (!hasLineBreak(line))
            addHeader(line);

    t->sink = BodySink{&response.body, maxBodyBytes_};

    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, request.verifyCertificate ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, request.verifyCertificate ? 2L : 0L);
    if (!caFile_.empty())
        curl_easy_setopt(h, CURLOPT_CAINFO, caFile_.c_str());
    // The server certificate's chain, for the days it has left, and what
    // verification found wrong with it.
    if (t->https) {
        curl_easy_setopt(h, CURLOPT_CERTINFO, 1L);
        curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, CurlCertProbe::install);
        curl_easy_setopt(h, CURLOPT_SSL_CTX_DATA, &t->certProbe);
    }
    if (request.auth == HttpRequest::Auth::Basic) {
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(h, CURLOPT_USERNAME, request.authUser.c_str());
        curl_easy_setopt(h, CURLOPT_PASSWORD, request.authSecret.c_str());
    } else if (request.auth == HttpRequest::Auth::Bearer) {
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BEARER));
        curl_easy_setopt(h, CURLOPT_XOAUTH2_BEARER, request.authSecret.c_str());
    }
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // A connection serves one request and is closed, also when several
    // transfers share a multi handle.
    curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout_.count()));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    // 0 would switch the stall limit off; one second is the least there is.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, std::max<long>(1, static_cast<long>(stallTimeout_.count())));
    // 0 would mean no limit; one millisecond is the least there is.
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, std::max<long>(1, static_cast<long>(totalTimeout_.count())));
    if (!request.useEnvironmentProxy)
        curl_easy_setopt(h, CURLOPT_PROXY, ""); // an empty name also ignores the environment
    if (!request.userAgent.empty())
        curl_easy_setopt(h, CURLOPT_USERAGENT, request.userAgent.c_str());
    if (request.method == HttpRequest::Method::Post || request.method == HttpRequest::Method::Put) {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        // A PUT with the body in memory: libcurl's own PUT would read it
        // through a callback.
        if (request.method == HttpRequest::Method::Put)
            curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "PUT");
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        // No "Expect: 100-continue": the body goes out with the request at
        // once instead of waiting for a go-ahead many servers never send.
        addHeader("Expect:");
    } else if (request.method == HttpRequest::Method::Head) {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, t->headers.get());
    curl_easy_setopt(h, CURLOPT_OPENSOCKETFUNCTION, openSocket);
    curl_easy_setopt(h, CURLOPT_OPENSOCKETDATA, &t->socketErrno);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &t->sink);
    if (request.cancel) {
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, checkCancel);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(request.cancel));
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    }
    return t;
}

void CurlHttpClient::finish(Transfer& t, int curlCode) {
    CURL* h = t.easy.get();
    HttpResponse& response = t.response;
    const auto rc = static_cast<CURLcode>(curlCode);
    recordMeasurements(h, response);
    if (rc == CURLE_OK || (rc == CURLE_WRITE_ERROR && t.sink.cut)) {
        response.ok = true;
        if (t.https)
            response.certDaysLeft = CurlCertProbe::daysLeftOf(h, std::time(nullptr));
        return;
    }
    long osErrno = 0;
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_OS_ERRNO, &osErrno);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    response.errorNumber = errorNumberFor(rc, osErrno, status != 0);
    // No descriptor or memory for the socket: the failure is this machine's.
    const int local = t.socketErrno;
    if (local == EMFILE || local == ENFILE || local == ENOBUFS || local == ENOMEM)
        response.errorNumber = HttpResponse::kErrOutOfHandles;
    response.body.clear();
    if (response.errorNumber == kErrInvalidCa) {
        response.certProblem = t.certProbe.problem;
        response.certDaysPastEnd = t.certProbe.daysPastEnd;
        // The chain was fine, so what curl refused is the host name.
        if (response.certProblem == HttpResponse::CertProblem::None)
            response.certProblem = HttpResponse::CertProblem::NameMismatch;
    }
}

HttpResponse CurlHttpClient::perform(const HttpRequest& request) {
    std::unique_ptr<Transfer> t = prepare(request);
    if (!t->easy)
        return std::move(t->response);
    finish(*t, curl_easy_perform(t->easy.get()));
    return std::move(t->response);
}

std::vector<HttpResponse> CurlHttpClient::performAll(const std::vector<HttpRequest>& requests, int parallel) {
    std::vector<HttpResponse> responses(requests.size());
    performEach(requests, parallel,
                [&](std::size_t index, HttpResponse&& response) { responses[index] = std::move(response); });
    return responses;
}

CurlHttpClient::BatchLimits CurlHttpClient::batchLimits(int parallel) const {
    BatchLimits limits;
    limits.moving = std::max(1, parallel);
    limits.perHost = 2 * limits.moving;
    // Two descriptors a transfer (a second one while both address families
    // of a name are tried), out of what is left beside the reserve.
    const long open = OpenFiles::inUse();
    const long spare = open < 0 ? 0 : (OpenFiles::limit() - open - kDescriptorReserve) / 2;
    limits.open = static_cast<int>(std::clamp<long>(spare, limits.moving, kMaxOpenTransfers));
    // A twentieth of the stall limit: far below it, so a hanging site gives
    // up its place long before it fails; at most a second, since a page that
    // sends nothing for that long is slow in any case; and never so short
    // that an ordinary round trip over a slow line counts as quiet.
    const auto twentieth = std::chrono::duration_cast<std::chrono::milliseconds>(stallTimeout_) / 20;
    limits.quietAfter = std::clamp(twentieth, std::chrono::milliseconds(50), std::chrono::milliseconds(1000));
    return limits;
}

void CurlHttpClient::performEach(const std::vector<HttpRequest>& requests, int parallel, const Ended& ended,
                                 const MayStart& mayStart) {
    // Each transfer of the batch by its easy handle, from its start to its end.
    std::unordered_map<void*, std::unique_ptr<Transfer>> transfers;
    auto start = [&](std::size_t index) -> void* {
        std::unique_ptr<Transfer> t = prepare(requests[index]);
        if (!t->easy) {
            ended(index, std::move(t->response));
            return nullptr;
        }
        void* h = t->easy.get();
        transfers.emplace(h, std::move(t));
        return h;
    };
    auto end = [&](void* h, std::size_t index, int curlCode) {
        auto node = transfers.extract(h);
        HttpResponse response;
        if (node && curlCode >= 0) {
            finish(*node.mapped(), curlCode);
            response = std::move(node.mapped()->response);
        } else if (node && curlCode == CurlBatch::kNotAdded) {
            response = std::move(node.mapped()->response);
        }
        if (curlCode < 0 && response.errorNumber == 0)
            response.errorNumber = kErrInternal;
        node = {}; // the easy handle goes before the next one starts
        ended(index, std::move(response));
    };
    if (parallel <= 1 || !CurlBatch(batchLimits(parallel)).run(requests, start, end, mayStart))
        HttpClient::performEach(requests, parallel, ended);
}

int CurlHttpClient::daysLeftUntil(const std::string& expireDate, std::time_t now) {
    return CurlCertProbe::daysLeftUntil(expireDate, now);
}

} // namespace vantrel
