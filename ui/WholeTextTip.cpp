#include "ui/WholeTextTip.h"

#include <QFontMetrics>
#include <QLineEdit>

namespace vantrel {

namespace {
constexpr qsizetype kMostWidths = 512;
} // namespace

void WholeTextTip::apply(QLineEdit* field) {
    if (field->cursorPosition() != 0)
        field->setCursorPosition(0);
    const QString text = field->text();
    const int room = field->contentsRect().width() - 6; // the frame's and the text's margins
    Checked& last = checked_[field];
    if (last.room == room && last.text == text)
        return;
    last.text = text;
    last.room = room;
    const QString tip = widthOf(field, text) > room ? text : QString();
    if (field->toolTip() != tip)
        field->setToolTip(tip);
}

int WholeTextTip::widthOf(const QLineEdit* field, const QString& text) {
    if (field->font() != widthsFont_) {
        widths_.clear();
        widthsFont_ = field->font();
    }
    if (auto it = widths_.constFind(text); it != widths_.constEnd())
        return *it;
    // Check dates change all day: start afresh rather than grow.
    if (widths_.size() >= kMostWidths)
        widths_.clear();
    const int width = field->fontMetrics().horizontalAdvance(text);
    widths_.insert(text, width);
    return width;
}

} // namespace vantrel
