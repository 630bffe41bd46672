#include "ui/BoundText.h"

#include "ui/QtText.h"

#include <QComboBox>
#include <QLineEdit>

#include <limits>

namespace vantrel {

void BoundText::allowAnyLength(QLineEdit* edit) {
    if (edit && edit->maxLength() != std::numeric_limits<int>::max())
        edit->setMaxLength(std::numeric_limits<int>::max());
}

void BoundText::allowAnyLength(QComboBox* box) {
    allowAnyLength(box->lineEdit());
}

void BoundText::keep(const std::string& bytes) {
    kept_ = bytes;
    keeping_ = true;
}

void BoundText::showKept(QLineEdit* edit) {
    if (keeping_)
        show(edit, std::string(kept_));
}

void BoundText::show(QLineEdit* edit, const std::string& bytes) {
    keeping_ = false;
    allowAnyLength(edit);
    shownBytes_ = bytes;
    shown_ = QtText::toQt(bytes);
    if (edit->text() != shown_)
        edit->setText(shown_);
    held_ = edit->text();
}

void BoundText::show(QComboBox* box, const std::string& bytes) {
    // A pass shows every site's action, mostly the same one: a box that
    // still holds what the same bytes put there has nothing to redo.
    if (askedValid_ && bytes == asked_ && box->currentText() == held_)
        return;
    allowAnyLength(box);
    asked_ = bytes;
    askedValid_ = true;
    shownBytes_ = bytes;
    shown_ = QtText::toQt(bytes);
    int match = -1;
    for (int i = 0; i < box->count() && match < 0 && !shown_.isEmpty(); ++i) {
        if (box->itemText(i).startsWith(shown_, Qt::CaseInsensitive))
            match = i;
    }
    if (match < 0) {
        box->setCurrentIndex(-1);
        box->setEditText(shown_);
        held_ = box->currentText();
        return;
    }
    box->setCurrentIndex(match);
    // The box now shows the choice's own text, and that is what it holds.
    shown_ = box->currentText();
    shownBytes_ = QtText::fromQt(shown_);
    held_ = shown_;
}

std::string BoundText::gather(const QLineEdit* edit) const {
    return keeping_ ? kept_ : gatherText(edit->text());
}

std::string BoundText::gather(const QComboBox* box) const {
    return gatherText(box->currentText());
}

bool BoundText::changed(const QLineEdit* edit) const {
    return edit->text() != held_;
}

bool BoundText::changed(const QComboBox* box) const {
    return box->currentText() != held_;
}

std::string BoundText::gatherText(const QString& current) const {
    return current == shown_ ? shownBytes_ : QtText::fromQt(current);
}

} // namespace vantrel
