#pragma once

#include "ui/BoundText.h"

#include <QRect>
#include <QStringList>

#include <span>
#include <string>
#include <vector>

class QWidget;

namespace vantrel {

class SettingKey;
struct ExtraSettings;

// Controls of keys of vantrel-extra.ini, each made from its row of the table
// of keys: a switch is a check box, a number a spin box within the key's
// range, a choice a drop-down list of the key's choices, a text or a path a
// labelled edit box. Every control is named by its visible label and
// explains itself in its tool tip (the key's help, whatever TOOLTIPS says).
// Show puts the settings into the controls; gather sets each key whose
// control holds another value than the settings, through the key, so a key
// the user left alone keeps whatever the file held for it.
class SettingFields {
public:
    struct Row {
        const char* key;      // as the table names it
        const char* label;    // a check box's text, else the text left of the control
        QRect place;          // the control, in dialog units; a label sits left of it, from x 7
        const char* suffix{}; // after a number (" days")
        QStringList shown{};  // a choice's names as shown, in the order of the key's choices
    };

    SettingFields();
    ~SettingFields();
    SettingFields(const SettingFields&) = delete;
    SettingFields& operator=(const SettingFields&) = delete;

    // Makes the rows' controls on `page` in the rows' order, which is their
    // tab order.
    void add(QWidget* page, std::span<const Row> rows);

    void show(const ExtraSettings& settings);
    void gather(ExtraSettings& settings);

    // The control of `key`, or null when no row has it.
    QWidget* control(const char* key) const;

private:
    struct Field {
        const SettingKey* key;
        QWidget* control;
        BoundText text; // for a text or a path
    };
    static std::string valueOf(const Field& field);

    std::vector<Field> fields_;
};

} // namespace vantrel
