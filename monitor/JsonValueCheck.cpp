#include "monitor/JsonValueCheck.h"

#include "monitor/ReasonText.h"

#include <nlohmann/json.hpp>

namespace vantrel {

namespace {

using nlohmann::json;

// The deepest nesting of arrays and objects, counted without parsing and
// stopping as soon as `limit` is passed.
int nestingDepth(std::string_view text, int limit) {
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > deepest && (deepest = depth) > limit)
                return deepest;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

// A value as a reason shows it: JSON text, cut when long.
std::string shown(const json& value) {
    return ReasonText::clip(value.dump(-1, ' ', false, json::error_handler_t::replace));
}

} // namespace

std::optional<std::string> JsonValueCheck::pointerError(const std::string& pointer) {
    try {
        json::json_pointer p(pointer);
        (void)p;
        return std::nullopt;
    } catch (const json::exception& e) {
        // "[json.exception.parse_error.107] parse error at byte 1: JSON pointer must ..."
        std::string what = e.what();
        const size_t colon = what.rfind(": ");
        return colon == std::string::npos ? what : what.substr(colon + 2);
    }
}

JsonValueCheck::JsonValueCheck(std::string pointer, std::string expected)
    : pointer_(std::move(pointer)), expected_(std::move(expected)) {}

JsonValueCheck::Result JsonValueCheck::check(std::string_view body) const {
    Result r;
    if (body.size() > kMaxBytes) {
        r.description =
            "response too large for JSON (over " + std::to_string(kMaxBytes / (1024 * 1024)) + " MiB)";
        return r;
    }
    if (nestingDepth(body, kMaxDepth) > kMaxDepth) {
        r.description = "JSON nested deeper than " + std::to_string(kMaxDepth) + " levels";
        return r;
    }
    json document;
    try {
        document = json::parse(body.begin(), body.end());
    } catch (const json::parse_error& e) {
        r.description = "response is not JSON (at byte " + std::to_string(e.byte) + ")";
        return r;
    }
    r.json = true;
    const json* value = nullptr;
    try {
        const json::json_pointer p(pointer_);
        if (document.contains(p))
            value = &document.at(p);
    } catch (const json::exception&) {
        value = nullptr; // an index that is not a number, in an array
    }
    const std::string where = pointer_.empty() ? std::string("the response") : ReasonText::clip(pointer_);
    if (!value) {
        r.description = where + " not found";
        return r;
    }
    r.found = true;
    if (expected_.empty()) {
        r.equal = true;
        r.description = where + " is " + shown(*value);
        return r;
    }
    json want = expected_;
    if (value->is_string()) {
        r.equal = value->get_ref<const std::string&>() == expected_;
    } else {
        want = json::parse(expected_, nullptr, false);
        r.equal = !want.is_discarded() && *value == want;
        if (want.is_discarded())
            want = expected_;
    }
    r.description = where + " is " + shown(*value);
    if (!r.equal)
        r.description += ", expected " + shown(want);
    return r;
}

} // namespace vantrel
