#pragma once

#include "monitor/CheckRules.h"
#include "monitor/CheckVerdict.h"
#include "monitor/JsonValueCheck.h"
#include "monitor/RegexPattern.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// Judges a page's content by a site's test string: contained byte for byte
// (the check there has always been), contained in either case, matched by a
// pattern, or a JSON value; each one turned round by invert. An empty test
// string is no test, except with JSON, where the value must exist.
class ContentMatcher {
public:
    explicit ContentMatcher(const CheckRules& rules);

    struct Result {
        bool pass = true;
        ReasonKind kind = ReasonKind::None;
        std::string reason; // for a page that did not pass
    };
    Result check(std::string_view page) const;

private:
    CheckRules::Match match_;
    std::string testString_;
    bool invert_;
    std::shared_ptr<const RegexPattern> pattern_;
    std::optional<JsonValueCheck> json_;
};

} // namespace vantrel
