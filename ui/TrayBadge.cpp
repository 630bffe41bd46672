#include "ui/TrayBadge.h"

#include <QFont>
#include <QFontMetrics>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <map>

namespace vantrel {

const QColor TrayBadge::kDownColour(0xd0, 0x1c, 0x1c);
const QColor TrayBadge::kSlowColour(0x1f, 0x5f, 0xc8);

namespace {

// The count's type: bold, about 60 % of the icon high, never under 9 pixels
// (below that a digit is no longer told apart from its neighbours). Only a
// count of three figures is set smaller, to fit the icon's width.
QFont badgeFont(int size, const QString& text) {
    QFont font;
    font.setBold(true);
    font.setHintingPreference(QFont::PreferFullHinting);
    for (int px = std::max(9, size * 6 / 10); px > 6; --px) {
        font.setPixelSize(px);
        if (QFontMetrics(font).horizontalAdvance(text) + 2 <= size)
            break;
    }
    return font;
}

} // namespace

QString TrayBadge::label(int count) {
    return count > 99 ? QStringLiteral("99+") : QString::number(count);
}

QRect TrayBadge::pillRect(int size, const QString& text) {
    const QFontMetrics metrics(badgeFont(size, text));
    const int height = std::min(size, metrics.capHeight() + std::max(4, size / 6));
    const int width =
        std::min(size, std::max(height, metrics.horizontalAdvance(text) + std::max(2, size / 8)));
    return QRect(size - width, size - height, width, height);
}

QImage TrayBadge::draw(const QImage& base, int size, int count, const QColor& colour) {
    QImage image = base.isNull() ? QImage(size, size, QImage::Format_ARGB32_Premultiplied)
                                 : base.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                                       .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (base.isNull())
        image.fill(Qt::transparent);
    const QString text = label(count);
    const QRect pill = pillRect(size, text);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // A light rim parts the pill from the picture beneath it at any size.
    painter.setPen(QPen(Qt::white, size >= 24 ? 1.5 : 1.0));
    painter.setBrush(colour);
    const qreal radius = pill.height() / 2.0;
    painter.drawRoundedRect(QRectF(pill).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.setFont(badgeFont(size, text));
    painter.setPen(Qt::white);
    painter.drawText(pill, Qt::AlignCenter, text);
    return image;
}

namespace {

// Draws the badge at whatever size is asked for, rather than scaling one
// drawn for another size: an XEmbed tray asks for its bar's height (14 or 30
// pixels as well as 16 or 32), and a count scaled down blurs first.
class BadgeEngine : public QIconEngine {
public:
    BadgeEngine(QIcon base, int count, QColor colour)
        : base_(std::move(base)), count_(count), colour_(std::move(colour)) {}

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        (void)mode, (void)state;
        const int side = std::max(1, std::min(size.width(), size.height()));
        const auto known = made_.find(side);
        if (known != made_.end())
            return known->second;
        return made_[side] = QPixmap::fromImage(
                   TrayBadge::draw(base_.pixmap(side, side).toImage(), side, count_, colour_));
    }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (int size : TrayBadge::kSizes)
            sizes << QSize(size, size);
        return sizes;
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return QSize(side, side);
    }
    QIconEngine* clone() const override { return new BadgeEngine(base_, count_, colour_); }
    QString key() const override { return QStringLiteral("VantrelTrayBadge"); }

private:
    QIcon base_;
    int count_;
    QColor colour_;
    std::map<int, QPixmap> made_;
};

} // namespace

QIcon TrayBadge::badged(const QIcon& base, int down, int slow) {
    if (down <= 0 && slow <= 0)
        return base;
    return QIcon(new BadgeEngine(base, down > 0 ? down : slow, down > 0 ? kDownColour : kSlowColour));
}

} // namespace vantrel
