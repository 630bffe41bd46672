#pragma once

#include <QRect>

namespace vantrel {

// Dialog layouts are given in dialog units of an 8-point dialog font, whose
// base units are 6 x 13 pixels: one horizontal unit is 6/4 pixels and one
// vertical unit 13/8 pixels.
struct DialogUnits {
    static constexpr int x(int du) { return (du * 6 + 2) / 4; }
    static constexpr int y(int du) { return (du * 13 + 4) / 8; }
    static QRect rect(int x0, int y0, int w, int h) { return QRect(x(x0), y(y0), x(w), y(h)); }
};

} // namespace vantrel
