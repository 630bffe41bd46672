#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// Compares one value of a JSON response with the value it must have: the
// value is found by a JSON Pointer (RFC 6901, "/status", "/checks/0/ok"),
// and equals the expected text when it is a string with exactly that text,
// or any other JSON value that the text, read as JSON, equals ("true", "200",
// "null"). An empty expected text asks only that the value exists.
//
// Responses larger than kMaxBytes or nested deeper than kMaxDepth are not
// parsed, so a hostile response costs neither much memory nor much time.
class JsonValueCheck {
public:
    static constexpr std::size_t kMaxBytes = 4 * 1024 * 1024;
    static constexpr int kMaxDepth = 64;

    // Nothing when `pointer` is a valid JSON Pointer, else why it is not.
    static std::optional<std::string> pointerError(const std::string& pointer);

    JsonValueCheck(std::string pointer, std::string expected);

    struct Result {
        bool json = false;  // the response was JSON, within the bounds
        bool found = false; // ... and the pointer led to a value
        bool equal = false; // ... which equals the expected text
        // In words: "/status is "degraded", expected "ok"", "/status not
        // found", "response is not JSON (at byte 1)".
        std::string description;
    };
    Result check(std::string_view body) const;

private:
    std::string pointer_;
    std::string expected_;
};

} // namespace vantrel
