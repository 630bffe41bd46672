#include "platform/CurlCertProbe.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <string_view>
#include <time.h>

namespace vantrel {

namespace {

int certProbeIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

HttpResponse::CertProblem problemOf(int error) {
    using P = HttpResponse::CertProblem;
    switch (error) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return P::Expired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return P::NotYetValid;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return P::SelfSigned;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return P::UntrustedIssuer;
    case X509_V_ERR_HOSTNAME_MISMATCH:
        return P::NameMismatch;
    default:
        return P::Other;
    }
}

// Notes each verification error and changes no verdict: the answer is
// OpenSSL's own. An expired certificate wins over the other errors, since
// it is the one a user can act on.
int noteVerifyError(int preverifyOk, X509_STORE_CTX* store) {
    const int error = X509_STORE_CTX_get_error(store);
    if (preverifyOk || error == X509_V_OK)
        return preverifyOk;
    auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* probe =
        ssl ? static_cast<CurlCertProbe*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), certProbeIndex()))
            : nullptr;
    if (!probe)
        return preverifyOk;
    const HttpResponse::CertProblem problem = problemOf(error);
    if (probe->problem == HttpResponse::CertProblem::None || problem == HttpResponse::CertProblem::Expired) {
        probe->problem = problem;
        if (problem == HttpResponse::CertProblem::Expired) {
            int days = 0;
            int secs = 0;
            X509* cert = X509_STORE_CTX_get_current_cert(store);
            if (cert && ASN1_TIME_diff(&days, &secs, X509_get0_notAfter(cert), nullptr))
                probe->daysPastEnd = days;
        }
    }
    return preverifyOk;
}

} // namespace

CURLcode CurlCertProbe::install(CURL*, void* sslCtx, void* user) {
    auto* ctx = static_cast<SSL_CTX*>(sslCtx);
    SSL_CTX_set_ex_data(ctx, certProbeIndex(), user);
    SSL_CTX_set_verify(ctx, SSL_CTX_get_verify_mode(ctx), noteVerifyError);
    return CURLE_OK;
}

int CurlCertProbe::daysLeftOf(CURL* h, std::time_t now) {
    curl_certinfo* info = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_CERTINFO, &info) != CURLE_OK || !info || info->num_of_certs < 1)
        return -1;
    // The first certificate of the chain is the server's own.
    for (curl_slist* field = info->certinfo[0]; field; field = field->next) {
        std::string_view line(field->data);
        constexpr std::string_view key = "Expire date:";
        if (line.substr(0, key.size()) == key)
            return daysLeftUntil(std::string(line.substr(key.size())), now);
    }
    return -1;
}

int CurlCertProbe::daysLeftUntil(const std::string& expireDate, std::time_t now) {
    // OpenSSL writes the date as "Jan  2 03:04:05 2027 GMT"; other TLS
    // libraries write "2027-01-02 03:04:05 GMT".
    std::tm tm{};
    const char* end = ::strptime(expireDate.c_str(), "%b %d %H:%M:%S %Y", &tm);
    if (!end) {
        tm = std::tm{};
        end = ::strptime(expireDate.c_str(), "%Y-%m-%d %H:%M:%S", &tm);
    }
    if (!end)
        return -1;
    const std::time_t expires = ::timegm(&tm);
    if (expires <= now)
        return 0;
    // Rounded up: a certificate with a few hours left ends in one day.
    return static_cast<int>((expires - now + 86399) / 86400);
}

} // namespace vantrel
