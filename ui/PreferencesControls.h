#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRect;
class QSpinBox;
class QWidget;

namespace vantrel {

// The kinds of control the Preferences pages are made of, each with its
// label and its name for assistive tools, placed in dialog units.
class PreferencesControls {
public:
    // A labelled edit box; the label names the box for accessibility too.
    static QLineEdit* labelledEdit(QWidget* parent, const char* label, const QRect& labelRect,
                                   const QRect& editRect);
    // An editable drop-down combo box. The template's height (97 or 118
    // units) is that of the open list; closed, the box is as high as an edit box.
    static QComboBox* labelledCombo(QWidget* parent, const char* label, const QRect& labelRect, int x, int y,
                                    const QStringList& choices);
    static QCheckBox* checkBox(QWidget* parent, const char* text, const QRect& r);
    // `text` is the caption; `name` tells the two Test and Browse buttons apart.
    static QPushButton* pushButton(QWidget* parent, const char* text, const char* name, const QRect& r);
    static QSpinBox* labelledSpin(QWidget* parent, const char* label, int y, int min, int max,
                                  const QString& tip);
    // The tool tip of the control of a key of vantrel-extra.ini: what the key
    // does and its default, in the words of the table of keys (and the manual).
    // Set whatever TOOLTIPS says: these controls are not the template's.
    static QString settingTip(const char* key);
    template <std::size_t N> static QStringList choices(const char* const (&texts)[N]) {
        QStringList list;
        for (const char* t : texts)
            list << QString::fromLatin1(t);
        return list;
    }
};

} // namespace vantrel
