#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// A window's place on the desktop: the top-left corner of its inside (below
// the title bar the window manager adds) and its size, in pixels. Kept as the text "x,y,width,height"
// ("120,80,900,640"); the corners of screens left or above the first one
// are negative.
struct WindowPlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    // Four whole numbers separated by commas, width and height above 0;
    // nullopt for anything else.
    static std::optional<WindowPlacement> parse(std::string_view text);
    std::string text() const;

    // Where a stored placement may be used on `screens` (their usable areas):
    // its size no larger than the largest screen, and its position only when
    // enough of its top edge, just below the title bar, lies on one screen
    // for the user to take hold of the window. Without a position the window manager
    // places the window, as it does at a first start.
    struct Fitted {
        int width = 0;
        int height = 0;
        bool keepPosition = false;
    };
    Fitted fittedTo(const std::vector<WindowPlacement>& screens) const;

    // The part of the title bar that must be on a screen, in pixels.
    static constexpr int kGripWidth = 64;
    static constexpr int kGripHeight = 16;

    bool operator==(const WindowPlacement&) const = default;
};

} // namespace vantrel
