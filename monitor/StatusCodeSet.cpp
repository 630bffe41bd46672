#include "monitor/StatusCodeSet.h"

#include <charconv>

namespace vantrel {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::optional<int> code(std::string_view s) {
    s = trim(s);
    int value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || value < 100 || value > 599)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<StatusCodeSet> StatusCodeSet::parse(std::string_view text, std::string* error) {
    auto fail = [error](std::string why) -> std::optional<StatusCodeSet> {
        if (error)
            *error = std::move(why);
        return std::nullopt;
    };
    StatusCodeSet set;
    if (trim(text).empty())
        return fail("no status code given");
    while (true) {
        const size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const size_t dash = item.find('-');
        const std::optional<int> low = code(item.substr(0, dash));
        const std::optional<int> high = dash == std::string_view::npos ? low : code(item.substr(dash + 1));
        if (!low || !high)
            return fail("\"" + std::string(trim(item)) +
                        "\" is not a status code from 100 to 599 or a range of them");
        if (*low > *high)
            return fail("the range \"" + std::string(trim(item)) + "\" runs backwards");
        set.ranges_.emplace_back(*low, *high);
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return set;
}

bool StatusCodeSet::contains(int code) const {
    for (const auto& [low, high] : ranges_)
        if (code >= low && code <= high)
            return true;
    return false;
}

std::string StatusCodeSet::text() const {
    std::string out;
    for (const auto& [low, high] : ranges_) {
        if (!out.empty())
            out += ',';
        out += std::to_string(low);
        if (high != low)
            out += "-" + std::to_string(high);
    }
    return out;
}

} // namespace vantrel
