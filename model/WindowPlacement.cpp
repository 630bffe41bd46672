#include "model/WindowPlacement.h"

#include <algorithm>
#include <charconv>

namespace vantrel {

std::optional<WindowPlacement> WindowPlacement::parse(std::string_view text) {
    int values[4] = {};
    const char* p = text.data();
    const char* const end = text.data() + text.size();
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (p == end || *p != ',')
                return std::nullopt;
            ++p;
        }
        if (p != end && *p == '+')
            return std::nullopt; // from_chars takes no plus sign; say so rather than read half a number
        const auto [next, ec] = std::from_chars(p, end, values[i]);
        if (ec != std::errc() || next == p)
            return std::nullopt;
        p = next;
    }
    if (p != end || values[2] <= 0 || values[3] <= 0)
        return std::nullopt;
    return WindowPlacement{values[0], values[1], values[2], values[3]};
}

std::string WindowPlacement::text() const {
    return std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(width) + "," +
           std::to_string(height);
}

WindowPlacement::Fitted WindowPlacement::fittedTo(const std::vector<WindowPlacement>& screens) const {
    Fitted fitted{width, height, false};
    if (screens.empty())
        return fitted;
    int widest = 0;
    int tallest = 0;
    for (const WindowPlacement& s : screens) {
        widest = std::max(widest, s.width);
        tallest = std::max(tallest, s.height);
        // The strip of the top edge on this screen, in 64-bit sums: stored
        // numbers may be near the ends of int.
        const long long left = std::max<long long>(x, s.x);
        const long long right =
            std::min<long long>(static_cast<long long>(x) + width, static_cast<long long>(s.x) + s.width);
        const long long top = std::max<long long>(y, s.y);
        const long long bottom = std::min<long long>(static_cast<long long>(y) + kGripHeight,
                                                     static_cast<long long>(s.y) + s.height);
        if (right - left >= std::min(kGripWidth, width) && bottom - top >= kGripHeight)
            fitted.keepPosition = true;
    }
    fitted.width = std::min(width, widest);
    fitted.height = std::min(height, tallest);
    return fitted;
}

} // namespace vantrel
