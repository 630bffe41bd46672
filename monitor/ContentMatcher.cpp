#include "monitor/ContentMatcher.h"

#include "model/TextUtil.h"
#include "monitor/ReasonText.h"

namespace vantrel {

ContentMatcher::ContentMatcher(const CheckRules& rules)
    : match_(rules.match), testString_(rules.testString), invert_(rules.invert) {
    if (match_ == CheckRules::Match::Regex)
        pattern_ = RegexPattern::compiled(testString_, RegexPattern::Kind::Regex);
    else if (match_ == CheckRules::Match::NoCase)
        pattern_ = RegexPattern::compiled(testString_, RegexPattern::Kind::LiteralIgnoringCase);
    else if (match_ == CheckRules::Match::Json)
        json_.emplace(rules.jsonPointer, testString_);
}

ContentMatcher::Result ContentMatcher::check(std::string_view page) const {
    Result r;
    if (match_ == CheckRules::Match::Json) {
        const JsonValueCheck::Result json = json_->check(page);
        // Inverted, the value must be something else, or absent.
        r.pass = invert_ ? json.json && !json.equal : json.equal;
        if (!r.pass) {
            r.kind = ReasonKind::Json;
            r.reason = json.description;
            if (invert_ && json.equal)
                r.reason += testString_.empty() ? ", expected it absent" : ", expected anything else";
        }
        return r;
    }
    if (testString_.empty())
        return r;
    const bool found = pattern_ ? pattern_->search(page) : text::contains(page, testString_);
    if (found != invert_)
        return r;
    r.pass = false;
    const std::string what = ReasonText::quoted(testString_);
    if (match_ == CheckRules::Match::Regex) {
        r.kind = ReasonKind::Pattern;
        r.reason = "pattern " + what + (found ? " matched" : " not matched");
    } else {
        r.kind = ReasonKind::Text;
        r.reason = "text " + what + (found ? " found" : " not found");
        if (match_ == CheckRules::Match::NoCase)
            r.reason += " (ignoring case)";
    }
    return r;
}

} // namespace vantrel
