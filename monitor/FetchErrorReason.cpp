#include "monitor/FetchErrorReason.h"

#include "platform/CurlHttpClient.h"
#include "platform/HttpClient.h"

namespace vantrel {

ReasonKind FetchErrorReason::kind(const HttpResponse& r) {
    using C = CurlHttpClient;
    switch (r.errorNumber) {
    case C::kErrNameNotResolved:
        return ReasonKind::Dns;
    case C::kErrCannotConnect:
        return ReasonKind::Connect;
    case C::kErrTimeout:
        return ReasonKind::Timeout;
    case C::kErrConnectionAborted:
    case C::kErrConnectionReset:
        return ReasonKind::Connection;
    case C::kErrSecurityChannel:
        return ReasonKind::Tls;
    case C::kErrInvalidCa:
        return ReasonKind::Certificate;
    case C::kErrRedirectFailed:
        return ReasonKind::Redirect;
    case C::kErrInvalidServerResponse:
        return ReasonKind::Response;
    case C::kErrInvalidUrl:
    case C::kErrUnrecognizedScheme:
        return ReasonKind::Url;
    case C::kErrCancelled:
        return ReasonKind::Cancelled;
    default:
        return ReasonKind::Internal;
    }
}

std::string FetchErrorReason::text(const HttpResponse& r) {
    using C = CurlHttpClient;
    using P = HttpResponse::CertProblem;
    switch (r.errorNumber) {
    case C::kErrNameNotResolved:
        return "DNS: no such host";
    case C::kErrCannotConnect:
        return "connection refused or host unreachable";
    case C::kErrTimeout:
        return "timed out";
    case C::kErrConnectionAborted:
        return "connection closed early";
    case C::kErrConnectionReset:
        return "connection reset";
    case C::kErrSecurityChannel:
        return "TLS handshake failed";
    case C::kErrRedirectFailed:
        return "too many redirects";
    case C::kErrInvalidServerResponse:
        return "invalid response from the server";
    case C::kErrInvalidUrl:
        return "invalid URL";
    case C::kErrUnrecognizedScheme:
        return "not an http or https URL";
    case C::kErrCancelled:
        return "cancelled";
    case C::kErrInvalidCa:
        switch (r.certProblem) {
        case P::Expired:
            if (r.certDaysPastEnd <= 0)
                return "certificate expired today";
            return "certificate expired " + std::to_string(r.certDaysPastEnd) +
                   (r.certDaysPastEnd == 1 ? " day ago" : " days ago");
        case P::NotYetValid:
            return "certificate not valid yet";
        case P::SelfSigned:
            return "self-signed certificate";
        case P::UntrustedIssuer:
            return "certificate issuer not trusted";
        case P::NameMismatch:
            return "certificate does not match the host name";
        default:
            return "certificate not trusted";
        }
    default:
        return "error " + std::to_string(r.errorNumber);
    }
}

} // namespace vantrel
