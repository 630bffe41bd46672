#include "ui/WholeTextTip.h"

#include <QLineEdit>

#include <gtest/gtest.h>

using namespace vantrel;

// The tip follows the text and the room together: the same text gets or
// loses its tip when the field is resized, a field shown again with the
// text it had keeps its tip, and the start of the text is what shows.
TEST(WholeTextTipTest, TipFollowsTextAndRoom) {
    QLineEdit field;
    field.setReadOnly(true);
    field.resize(80, field.sizeHint().height());
    WholeTextTip tip;

    const QString longText = QStringLiteral("Bad - Test String text Not Found on the page");
    field.setText(longText);
    tip.apply(&field);
    EXPECT_EQ(field.toolTip(), longText);
    EXPECT_EQ(field.cursorPosition(), 0);

    field.setText(QStringLiteral("OK"));
    tip.apply(&field);
    EXPECT_EQ(field.toolTip(), QString());

    field.setText(longText); // a width already measured
    tip.apply(&field);
    EXPECT_EQ(field.toolTip(), longText);
    tip.apply(&field); // shown again unchanged
    EXPECT_EQ(field.toolTip(), longText);
    EXPECT_EQ(field.cursorPosition(), 0);

    field.resize(2000, field.height()); // the same text now fits
    tip.apply(&field);
    EXPECT_EQ(field.toolTip(), QString());

    // A second field with the same text keeps its own verdict.
    QLineEdit narrow;
    narrow.resize(40, narrow.sizeHint().height());
    narrow.setText(longText);
    tip.apply(&narrow);
    EXPECT_EQ(narrow.toolTip(), longText);
    EXPECT_EQ(field.toolTip(), QString());

    // A larger font makes a text that fitted too wide.
    field.resize(field.fontMetrics().horizontalAdvance(longText) + 20, field.height());
    tip.apply(&field);
    EXPECT_EQ(field.toolTip(), QString());
    QFont big = field.font();
    big.setPointSizeF(big.pointSizeF() * 3);
    field.setFont(big);
    field.setText(QString());
    tip.apply(&field);
    field.setText(longText);
    tip.apply(&field);
    EXPECT_EQ(field.toolTip(), longText);
}
