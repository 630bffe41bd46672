#pragma once

#include "monitor/CheckRules.h"
#include "monitor/CheckVerdict.h"
#include "monitor/ContentMatcher.h"

#include <string_view>

namespace vantrel {

struct HttpResponse;

// Judges one fetch of a site by its rules, on its own: no state, no I/O.
// In order: a fetch that failed is not fetched; a site whose options cannot
// be used fails; a status code outside the expected ones counts as not
// fetched; then the content is judged; a good page that took longer than
// the limit is marked slow. Each failure, and a slow page, gets its reason.
class CheckEvaluator {
public:
    explicit CheckEvaluator(CheckRules rules);

    const CheckRules& rules() const { return rules_; }

    // `page` is the body of `response` (which may have been moved out of it).
    CheckVerdict judge(const HttpResponse& response, std::string_view page) const;
    CheckVerdict judge(const HttpResponse& response) const;

private:
    CheckRules rules_;
    ContentMatcher content_;
};

} // namespace vantrel
