#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace vantrel {

struct HttpRequest {
    enum class Method { Get, Post, Head, Put };
    Method method = Method::Get;
    std::string url;
    std::string userAgent;
    // "Name: value", without line ends; a line holding CR or LF is not sent.
    std::vector<std::string> headers;
    std::string body;                 // sent with POST and PUT
    bool useEnvironmentProxy = false; // false: always connect directly
    bool followRedirects = true;      // false: a redirect is the response
    bool verifyCertificate = true;    // false: any certificate and host name are accepted
    // An HTTP login. It is sent only to the host of the URL, never to
    // another host a redirect leads to.
    enum class Auth { None, Basic, Bearer };
    Auth auth = Auth::None;
    std::string authUser;   // Basic
    std::string authSecret; // Basic: the password; Bearer: the token
    // When set, the request ends early, as a failure, once this turns true.
    const std::atomic<bool>* cancel = nullptr;
};

struct HttpResponse {
    bool ok = false;     // the URL was opened and the whole body read
    int errorNumber = 0; // on failure: the WinINet-style error number (12xxx)
    // The error number of a request this machine could not make (no
    // descriptor or memory left for its socket), WinINet's "out of handles":
    // it says nothing about the site.
    static constexpr int kErrOutOfHandles = 12001;
    std::string body; // every byte of the body, NUL bytes included

    // What the transfer measured, where the client reports it (-1: not known).
    int statusCode = -1;         // the last response's HTTP status code
    double nameLookupMs = -1;    // from the start until the name was resolved
    double connectMs = -1;       // until the TCP connection stood
    double tlsMs = -1;           // until the TLS handshake ended (https only)
    double firstByteMs = -1;     // until the first byte of the response
    double totalMs = -1;         // the whole transfer
    long long bytesReceived = 0; // body bytes received
    int certDaysLeft = -1;       // https: days until the server certificate ends, rounded up
    // The URL the answer came from after redirects, or the one a redirect
    // that was not followed points to; empty where the client does not say.
    std::string finalUrl;

    // A certificate that was refused (errorNumber 12045): what was wrong.
    enum class CertProblem { None, Expired, NotYetValid, SelfSigned, UntrustedIssuer, NameMismatch, Other };
    CertProblem certProblem = CertProblem::None;
    int certDaysPastEnd = -1; // Expired: whole days since the certificate ended
};

// One HTTP request, blocking until the body has been read or the request
// failed. Implementations bound every wait, so a call always returns.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    virtual HttpResponse perform(const HttpRequest& request) = 0;

    // Runs all `requests`, up to `parallel` of them at the same time, and
    // returns their responses in the order of the requests. Blocks until
    // every one has ended. This default runs them one after the other.
    virtual std::vector<HttpResponse> performAll(const std::vector<HttpRequest>& requests, int parallel) {
        std::vector<HttpResponse> responses(requests.size());
        performEach(requests, parallel, [&](std::size_t index, HttpResponse&& response) {
            responses[index] = std::move(response);
        });
        return responses;
    }

    // Called once for every request as soon as it has ended, with its index
    // in `requests`, in whatever order they end, on the thread that called
    // performEach.
    using Ended = std::function<void(std::size_t index, HttpResponse&& response)>;
    // Like performAll, but hands each response over as soon as it is there
    // instead of keeping them all. While `mayStart` (when given) says no,
    // called on the same thread, no further request starts; those under way
    // go on. This default runs the requests one after the other, each at
    // once.
    using MayStart = std::function<bool()>;
    virtual void performEach(const std::vector<HttpRequest>& requests, int parallel, const Ended& ended,
                             const MayStart& mayStart = {}) {
        (void)parallel;
        (void)mayStart;
        for (std::size_t i = 0; i < requests.size(); ++i)
            ended(i, perform(requests[i]));
    }
};

} // namespace vantrel
