#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel {

// The HTTP status codes a site may answer with: a list of codes and ranges
// such as "200-299,301,404". Blanks around the items are allowed.
class StatusCodeSet {
public:
    // Nothing when the text is not such a list; `error` then says why.
    static std::optional<StatusCodeSet> parse(std::string_view text, std::string* error = nullptr);

    bool contains(int code) const;
    // The list as it reads in a reason: "200-299,301".
    std::string text() const;

private:
    std::vector<std::pair<int, int>> ranges_;
};

} // namespace vantrel
