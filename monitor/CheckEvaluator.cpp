#include "monitor/CheckEvaluator.h"

#include "monitor/FetchErrorReason.h"
#include "monitor/ReasonText.h"
#include "platform/HttpClient.h"

namespace vantrel {

CheckEvaluator::CheckEvaluator(CheckRules rules) : rules_(std::move(rules)), content_(rules_) {}

CheckVerdict CheckEvaluator::judge(const HttpResponse& response) const {
    return judge(response, response.body);
}

CheckVerdict CheckEvaluator::judge(const HttpResponse& response, std::string_view page) const {
    using Outcome = CheckVerdict::Outcome;
    CheckVerdict v;
    v.statusCode = response.statusCode;
    if (!response.ok) {
        v.outcome = Outcome::NotFetched;
        v.kind = FetchErrorReason::kind(response);
        v.reason = FetchErrorReason::text(response);
        return v;
    }
    if (!rules_.problems.empty()) {
        const CheckRules::Problem& p = rules_.problems.front();
        v.outcome = Outcome::StringMissing;
        v.kind = ReasonKind::Option;
        v.reason = "option " + p.key + " " + p.message;
        return v;
    }
    if (rules_.statusCodes && !rules_.statusCodes->contains(response.statusCode)) {
        v.outcome = Outcome::NotFetched;
        v.wrongStatus = true;
        v.kind = ReasonKind::HttpStatus;
        v.reason =
            "HTTP " + std::to_string(response.statusCode) + " (expected " + rules_.statusCodes->text() + ")";
        return v;
    }
    const ContentMatcher::Result content = content_.check(page);
    if (!content.pass) {
        v.outcome = Outcome::StringMissing;
        v.kind = content.kind;
        v.reason = content.reason;
        return v;
    }
    v.outcome = Outcome::Good;
    const int ms = response.totalMs < 0 ? -1 : static_cast<int>(response.totalMs + 0.5);
    if (rules_.slowMs > 0 && ms > rules_.slowMs) {
        v.slow = true;
        v.kind = ReasonKind::Slow;
        v.reason = "slow: " + ReasonText::seconds(ms, rules_.slowMs) + " s (limit " +
                   ReasonText::seconds(rules_.slowMs) + " s)";
    }
    return v;
}

} // namespace vantrel
