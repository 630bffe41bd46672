#include "ui/PreferencesControls.h"

#include "model/ExtraSettingsKeys.h"
#include "ui/BoundText.h"
#include "ui/DialogUnits.h"
#include "ui/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace vantrel {

using D = DialogUnits;

QLineEdit* PreferencesControls::labelledEdit(QWidget* parent, const char* label, const QRect& labelRect,
                                             const QRect& editRect) {
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(editRect);
    BoundText::allowAnyLength(edit);
    auto* l = new QLabel(QString::fromLatin1(label), parent);
    l->setGeometry(labelRect);
    l->setBuddy(edit);
    edit->setAccessibleName(QString::fromLatin1(label).remove(QLatin1Char(':')));
    return edit;
}

QComboBox* PreferencesControls::labelledCombo(QWidget* parent, const char* label, const QRect& labelRect,
                                              int x, int y, const QStringList& choices) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr); // what is typed is what is kept: "1" must not become "10"
    BoundText::allowAnyLength(box);
    box->addItems(choices);
    box->setGeometry(D::x(x), D::y(y), D::x(101), D::y(14));
    auto* l = new QLabel(QString::fromLatin1(label), parent);
    l->setGeometry(labelRect);
    l->setBuddy(box);
    box->setAccessibleName(QString::fromLatin1(label).remove(QLatin1Char(':')));
    return box;
}

QCheckBox* PreferencesControls::checkBox(QWidget* parent, const char* text, const QRect& r) {
    auto* box = new QCheckBox(QString::fromLatin1(text), parent);
    box->setGeometry(r);
    box->setAccessibleName(box->text());
    return box;
}

QPushButton* PreferencesControls::pushButton(QWidget* parent, const char* text, const char* name,
                                             const QRect& r) {
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setGeometry(r);
    b->setAutoDefault(false);
    b->setAccessibleName(QString::fromLatin1(name));
    return b;
}

QSpinBox* PreferencesControls::labelledSpin(QWidget* parent, const char* label, int y, int min, int max,
                                            const QString& tip) {
    auto* box = new QSpinBox(parent);
    box->setRange(min, max);
    box->setGeometry(D::rect(80, y, 50, 14));
    auto* l = new QLabel(QString::fromLatin1(label), parent);
    l->setGeometry(D::rect(7, y + 3, 72, 8));
    l->setBuddy(box);
    box->setAccessibleName(QString::fromLatin1(label).remove(QLatin1Char(':')));
    box->setToolTip(tip);
    return box;
}

QString PreferencesControls::settingTip(const char* key) {
    return QtText::toQt(extraSettingKey(key).help());
}

} // namespace vantrel
