#include "monitor/CheckVerdict.h"

namespace vantrel {

const char* reasonLabel(ReasonKind kind) {
    switch (kind) {
    case ReasonKind::None:
        return "none";
    case ReasonKind::Dns:
        return "dns";
    case ReasonKind::Connect:
        return "connect";
    case ReasonKind::Timeout:
        return "timeout";
    case ReasonKind::Connection:
        return "connection";
    case ReasonKind::Tls:
        return "tls";
    case ReasonKind::Certificate:
        return "certificate";
    case ReasonKind::Redirect:
        return "redirect";
    case ReasonKind::Response:
        return "response";
    case ReasonKind::Url:
        return "url";
    case ReasonKind::Cancelled:
        return "cancelled";
    case ReasonKind::Internal:
        return "internal";
    case ReasonKind::HttpStatus:
        return "http_status";
    case ReasonKind::Text:
        return "text";
    case ReasonKind::Pattern:
        return "pattern";
    case ReasonKind::Json:
        return "json";
    case ReasonKind::Slow:
        return "slow";
    case ReasonKind::Option:
        return "option";
    }
    return "internal";
}

const char* CheckVerdict::statusFor(Outcome outcome, bool slow) {
    switch (outcome) {
    case Outcome::NotFetched:
        return "404";
    case Outcome::StringMissing:
        return "Bad - Test String text Not Found";
    default:
        return slow ? "Slow" : "OK";
    }
}

} // namespace vantrel
