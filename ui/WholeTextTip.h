#pragma once

#include <QFont>
#include <QHash>
#include <QString>

class QLineEdit;

namespace vantrel {

// A read-only field narrower than its text shows the text's start, not its
// end ("Bad - Test String..." rather than "...g text Not Found"), and
// carries the whole text as its tool tip.
//
// A check pass shows the boxes several times for every site, mostly with
// texts already seen ("OK", "Downloading...", today's date), so a field
// whose text and room are as at its last check is left alone, and text
// widths are kept by text (a few hundred at most, for the font in use).
class WholeTextTip {
public:
    void apply(QLineEdit* field);

private:
    int widthOf(const QLineEdit* field, const QString& text);

    struct Checked {
        QString text;
        int room = -1;
    };
    QHash<const QLineEdit*, Checked> checked_;
    QHash<QString, int> widths_;
    QFont widthsFont_;
};

} // namespace vantrel
