#include "ui/NamedComboAccessible.h"

#include <QComboBox>
#include <QLineEdit>

namespace vantrel {

namespace {

constexpr const char* kMarker = "vantrelNamedByLabel";

QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (className != QLatin1String("QComboBox") || !object || !object->property(kMarker).toBool())
        return nullptr;
    return new NamedComboAccessible(static_cast<QComboBox*>(object));
}

} // namespace

NamedComboAccessible::NamedComboAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

QString NamedComboAccessible::text(QAccessible::Text t) const {
    const auto* box = static_cast<const QComboBox*>(widget());
    if (t == QAccessible::Value)
        return box->isEditable() && box->lineEdit() ? box->lineEdit()->text() : box->currentText();
    return QAccessibleWidget::text(t);
}

void NamedComboAccessible::nameByLabel(QComboBox* box) {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
    box->setProperty(kMarker, true);
    // Where assistive tools were already listening, the box got Qt's view
    // when it was made: that one is dropped, so the next look makes this one.
    QAccessibleInterface* made = QAccessible::queryAccessibleInterface(box);
    if (made && !dynamic_cast<NamedComboAccessible*>(made))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

} // namespace vantrel
