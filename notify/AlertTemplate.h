#pragma once

#include "notify/AlertMessage.h"

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// A text with placeholders for the fields of an alert: {title}, {url},
// {state}, {reason}, {time}, {downsince}, {duration}, {lastgood}, {page},
// and {headline} and {text} for the composed lines. Any other text in
// braces stays as it is, so JSON's own braces need no escaping.
//
// A JSON template is the body of a generic webhook. Its placeholders stand
// inside JSON strings, and every value is escaped for a JSON string, so no
// value can end the string or add a member. A template that does not give
// valid JSON for every value (a placeholder outside a string, a missing
// quote) is refused.
class AlertTemplate {
public:
    enum class Escape { None, Json };

    // The body a webhook sends when the user wrote no template of its own.
    static constexpr const char* kDefaultJson =
        R"({"title":"{title}","url":"{url}","state":"{state}","reason":"{reason}","time":"{time}",)"
        R"("downSince":"{downsince}","duration":"{duration}","lastGood":"{lastgood}","text":"{text}"})";

    explicit AlertTemplate(std::string text) : text_(std::move(text)) {}
    const std::string& text() const { return text_; }

    std::string expand(const AlertMessage& message, Escape escape) const;
    // The JSON body for `message`, or nothing when the result is not valid
    // JSON (a template that check() would refuse).
    std::optional<std::string> expandJson(const AlertMessage& message) const;

    // Why the template cannot be a JSON body, in a sentence, or nothing when
    // it can: it is expanded with values full of quotes, backslashes and
    // line ends and must still parse as JSON.
    std::optional<std::string> jsonProblem() const;

    // `value` as the inside of a JSON string: quotes, backslashes and control
    // characters escaped, bytes that are not UTF-8 replaced by U+FFFD.
    static std::string jsonEscape(std::string_view value);
    // `value` fit for an HTTP header: control characters (CR and LF among
    // them) become blanks and the length is bounded.
    static std::string headerValue(std::string_view value);
    static constexpr std::size_t kMaxHeaderValue = 256;

private:
    std::string text_;
};

} // namespace vantrel
