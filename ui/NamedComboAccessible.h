#pragma once

#include <QAccessibleWidget>

class QComboBox;

namespace vantrel {

// How assistive tools see an editable combo box that is named by its label.
// Qt's own view of a combo box on Linux gives its current text as its name
// as well as its value, so a screen reader would announce "Email / Sound"
// where the box is "Action". This one keeps the accessible name the widget
// was given and reports the text as the value only.
class NamedComboAccessible : public QAccessibleWidget {
public:
    explicit NamedComboAccessible(QComboBox* box);

    QString text(QAccessible::Text t) const override;

    // Marks `box` to be seen this way; the view is installed at the first call.
    static void nameByLabel(QComboBox* box);
};

} // namespace vantrel
