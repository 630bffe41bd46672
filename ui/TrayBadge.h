#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

namespace vantrel {

// The number of failing sites drawn on the tray icon: a filled pill in the
// lower right corner with the count in bold, red for sites down, blue for
// slow ones when none is down. Each size a tray asks for is drawn on its own,
// at the very size asked (16, 22, 24, 32 and 48 pixels are offered), with the
// count as large as the size allows, so it reads at 16 pixels as at 32.
class TrayBadge {
public:
    static constexpr int kSizes[] = {16, 22, 24, 32, 48};
    static const QColor kDownColour;
    static const QColor kSlowColour;

    // `base` with the badge; `base` itself when nothing fails.
    static QIcon badged(const QIcon& base, int down, int slow);
    // One size of it.
    static QImage draw(const QImage& base, int size, int count, const QColor& colour);
    // What the badge says: the count, "99+" above 99.
    static QString label(int count);
    // Where the pill goes on an icon of `size` pixels for `text`.
    static QRect pillRect(int size, const QString& text);
};

} // namespace vantrel
