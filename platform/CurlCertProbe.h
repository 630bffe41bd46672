#pragma once

#include "platform/HttpClient.h"

#include <ctime>
#include <curl/curl.h>
#include <string>

namespace vantrel {

// What certificate verification found wrong with a server's certificate,
// gathered while OpenSSL checks the chain so that a refused certificate can
// be named, and the days a certificate has left.
class CurlCertProbe {
public:
    HttpResponse::CertProblem problem = HttpResponse::CertProblem::None;
    int daysPastEnd = -1;

    // For CURLOPT_SSL_CTX_FUNCTION, with the probe as CURLOPT_SSL_CTX_DATA:
    // notes each verification error and changes no verdict.
    static CURLcode install(CURL* easy, void* sslCtx, void* probe);
    // The days the server certificate of a finished https transfer has
    // left (-1: not known).
    static int daysLeftOf(CURL* easy, std::time_t now);
    // Days from `now` until an "Expire date" as libcurl reports it, a part
    // of a day counted as a whole one (0 once it has passed; -1 when the
    // text is not a date).
    static int daysLeftUntil(const std::string& expireDate, std::time_t now);
};

} // namespace vantrel
