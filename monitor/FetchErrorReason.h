#pragma once

#include "monitor/CheckVerdict.h"

#include <string>

namespace vantrel {

struct HttpResponse;

// Why a page could not be fetched, in words, from the error number and
// what the transfer learnt of the certificate: "DNS: no such host",
// "connection refused or host unreachable", "certificate expired 3 days ago".
class FetchErrorReason {
public:
    static ReasonKind kind(const HttpResponse& response);
    static std::string text(const HttpResponse& response);
};

} // namespace vantrel
