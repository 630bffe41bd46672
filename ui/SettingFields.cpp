#include "ui/SettingFields.h"

#include "model/ExtraSettingsKeys.h"
#include "model/SettingKey.h"
#include "ui/DialogUnits.h"
#include "ui/PreferencesControls.h"
#include "ui/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include <algorithm>
#include <iterator>

namespace vantrel {

namespace {

using C = PreferencesControls;
using D = DialogUnits;
using Type = SettingKey::Type;

QRect inPixels(const QRect& du) {
    return D::rect(du.x(), du.y(), du.width(), du.height());
}

// The label left of a control: from x 7 to the controls' column, level with
// the control's text.
QRect labelBeside(const QRect& du) {
    return D::rect(7, du.y() + 3, 72, 8);
}

QWidget* makeControl(QWidget* page, const SettingKey& key, const SettingFields::Row& row) {
    const QString tip = C::settingTip(row.key);
    switch (key.type()) {
    case Type::Switch: {
        QCheckBox* box = C::checkBox(page, row.label, inPixels(row.place));
        box->setToolTip(tip);
        return box;
    }
    case Type::Number: {
        QSpinBox* box = C::labelledSpin(page, row.label, row.place.y(), key.low(), key.high(), tip);
        box->setGeometry(inPixels(row.place));
        if (row.suffix)
            box->setSuffix(QString::fromLatin1(row.suffix));
        return box;
    }
    case Type::Choice: {
        auto* box = new QComboBox(page);
        if (row.shown.isEmpty())
            for (const std::string& choice : key.choices())
                box->addItem(QtText::toQt(choice));
        else
            box->addItems(row.shown);
        box->setGeometry(inPixels(row.place));
        auto* label = new QLabel(QString::fromLatin1(row.label), page);
        label->setGeometry(labelBeside(row.place));
        label->setBuddy(box);
        box->setAccessibleName(label->text().remove(QLatin1Char(':')));
        box->setToolTip(tip);
        return box;
    }
    case Type::Text:
    case Type::Path:
        break;
    }
    QLineEdit* edit = C::labelledEdit(page, row.label, labelBeside(row.place), inPixels(row.place));
    edit->setToolTip(tip);
    return edit;
}

} // namespace

SettingFields::SettingFields() = default;
SettingFields::~SettingFields() = default;

void SettingFields::add(QWidget* page, std::span<const Row> rows) {
    for (const Row& row : rows) {
        const SettingKey& key = extraSettingKey(row.key);
        fields_.push_back({&key, makeControl(page, key, row), {}});
    }
}

QWidget* SettingFields::control(const char* key) const {
    for (const Field& f : fields_)
        if (f.key->name() == key)
            return f.control;
    return nullptr;
}

void SettingFields::show(const ExtraSettings& settings) {
    for (Field& f : fields_) {
        const std::string value = f.key->value(settings).value_or(std::string());
        switch (f.key->type()) {
        case Type::Switch:
            static_cast<QCheckBox*>(f.control)->setChecked(value == "yes");
            break;
        case Type::Number:
            static_cast<QSpinBox*>(f.control)->setValue(std::stoi(value));
            break;
        case Type::Choice: {
            const std::vector<std::string>& choices = f.key->choices();
            const auto at = std::find(choices.begin(), choices.end(), value);
            static_cast<QComboBox*>(f.control)->setCurrentIndex(
                at == choices.end() ? -1 : static_cast<int>(std::distance(choices.begin(), at)));
            break;
        }
        case Type::Text:
        case Type::Path:
            f.text.show(static_cast<QLineEdit*>(f.control), value);
            break;
        }
    }
}

std::string SettingFields::valueOf(const Field& f) {
    switch (f.key->type()) {
    case Type::Switch:
        return static_cast<QCheckBox*>(f.control)->isChecked() ? "yes" : "no";
    case Type::Number:
        return std::to_string(static_cast<QSpinBox*>(f.control)->value());
    case Type::Choice: {
        const std::vector<std::string>& choices = f.key->choices();
        const int i = static_cast<QComboBox*>(f.control)->currentIndex();
        return choices.at(static_cast<size_t>(std::clamp(i, 0, static_cast<int>(choices.size()) - 1)));
    }
    case Type::Text:
    case Type::Path:
        break;
    }
    return f.text.gather(static_cast<QLineEdit*>(f.control));
}

void SettingFields::gather(ExtraSettings& settings) {
    for (Field& f : fields_) {
        const std::string value = valueOf(f);
        if (value != f.key->value(settings))
            f.key->set(settings, value);
    }
}

} // namespace vantrel
