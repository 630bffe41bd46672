#include "platform/CurlHttpClient.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <curl/curl.h>
#include <memory>
#include <string_view>

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
}

} // namespace

HttpResponse CurlHttpClient::perform(const HttpRequest& request) {
    HttpResponse response;
    const std::string scheme = schemeOf(request.url);
    if (scheme != "http" && scheme != "https") {
        response.errorNumber = kErrUnrecognizedScheme;
        return response;
    }

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        response.errorNumber = kErrInternal;
        return response;
    }
    CURL* h = easy.get();

    std::unique_ptr<curl_slist, SlistDeleter> headers;
    auto addHeader = [&headers](const std::string& line) {
        if (curl_slist* grown = curl_slist_append(headers.get(), line.c_str())) {
            (void)headers.release();
            headers.reset(grown);
        }
    };
    for (const std::string& line : request.headers)
        addHeader(line);

    BodySink sink{&response.body, maxBodyBytes_};

    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
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
    if (request.method == HttpRequest::Method::Post) {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        // No "Expect: 100-continue": the body goes out with the request at
        // once instead of waiting for a go-ahead many servers never send.
        addHeader("Expect:");
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    if (request.cancel) {
        if (request.cancel->load(std::memory_order_acquire)) {
            response.errorNumber = kErrCancelled;
            return response;
        }
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, checkCancel);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(request.cancel));
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    }

    const CURLcode rc = curl_easy_perform(h);
    recordMeasurements(h, response);
    if (rc == CURLE_OK || (rc == CURLE_WRITE_ERROR && sink.cut)) {
        response.ok = true;
        return response;
    }
    long osErrno = 0;
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_OS_ERRNO, &osErrno);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    response.errorNumber = errorNumberFor(rc, osErrno, status != 0);
    response.body.clear();
    return response;
}

} // namespace vantrel
