#include "ui/DialogFont.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLabel>

#include <cmath>

namespace vantrel {

namespace {

constexpr double kUnitWidth = 6.0;
constexpr double kLineHeight = 13.0;
constexpr int kSmallestPixelSize = 9; // below this the text gets hard to read

double averageLetterWidth(const QFont& font) {
    static const QString letters = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    return QFontMetricsF(font).horizontalAdvance(letters) / letters.size();
}

bool fits(const QFont& font) {
    return std::lround(averageLetterWidth(font)) <= kUnitWidth && QFontMetricsF(font).height() <= kLineHeight;
}

} // namespace

QFont DialogFont::fitted(const QFont& desktop) {
    if (fits(desktop))
        return desktop;
    QFont font = desktop;
    for (int px = QFontInfo(desktop).pixelSize() - 1; px >= kSmallestPixelSize; --px) {
        font.setPixelSize(px);
        if (fits(font))
            return font;
    }
    return font;
}

void DialogFont::widenTexts(QWidget& dialog) {
    auto widen = [](QWidget* w) {
        const QSize need = w->sizeHint();
        if (w->width() < need.width())
            w->resize(need.width(), w->height());
    };
    for (QLabel* label : dialog.findChildren<QLabel*>())
        if (label->pixmap().isNull())
            widen(label);
    for (QCheckBox* box : dialog.findChildren<QCheckBox*>())
        widen(box);
}

} // namespace vantrel
