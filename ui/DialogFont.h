#pragma once

#include <QFont>

class QWidget;

namespace vantrel {

// The dialogs are laid out in dialog units made for an 8-point font whose
// letters average 6 pixels in width and whose lines are 13 pixels high
// (DialogUnits). The desktop's sans font is usually wider; at its own size
// the labels would be cut off at the widths the layouts give them.
class DialogFont {
public:
    // `desktop` at the largest pixel size whose average letter rounds to the
    // 6-pixel unit and whose lines fit in 13 pixels; unchanged when it fits.
    static QFont fitted(const QFont& desktop);
    // Widens every text label and check box of `dialog` that is narrower
    // than its text, keeping its left edge. Call once the controls are placed.
    static void widenTexts(QWidget& dialog);
};

} // namespace vantrel
