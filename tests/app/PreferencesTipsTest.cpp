#include "model/ExtraSettingsKeys.h"
#include "model/Settings.h"
#include "tests/app/ByName.h"
#include "ui/PreferencesDlg.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <gtest/gtest.h>

#include <set>

using namespace vantrel;
using vantrel::test::byName;

// Every control of a setting the template does not have says in its tool tip
// what it does and its default, in the words of the table of keys, with
// TOOLTIPS off as well; the template's own controls keep none. The Interval
// choices have their unit beside them.
TEST(PreferencesTips, AddedControlsExplainThemselvesWhateverTooltipsSays) {
    CPreferencesDlg p({});
    Settings settings;
    settings.toolTips = "no";
    p.copyIn(settings);
    p.showData();
    const std::set<QString> fromTemplate = {
        "Your Name",   "Your Email", "Interval",    "Notify",    "Email 1",        "Email 2",
        "SMTP Server", "Log File",   "Error Sound", "Tool Tips", "Add to Startup", "Email on Every Error"};
    int added = 0;
    for (QWidget* w : p.findChildren<QWidget*>()) {
        const QString name = w->accessibleName();
        if (name.isEmpty() || !(w->focusPolicy() & Qt::TabFocus) ||
            (qobject_cast<QAbstractButton*>(w) && !qobject_cast<QCheckBox*>(w)) ||
            qobject_cast<QTabWidget*>(w) || qobject_cast<QTabBar*>(w) || w->parent() == nullptr)
            continue;
        if (fromTemplate.count(name)) {
            EXPECT_TRUE(w->toolTip().isEmpty()) << name.toStdString();
            continue;
        }
        ++added;
        EXPECT_TRUE(w->toolTip().contains(QStringLiteral(". Default: "))) << name.toStdString();
    }
    EXPECT_GE(added, 16); // the Advanced page's 13 and the Channels page's list, reminders and mail switch
    EXPECT_EQ(byName<QSpinBox>(p, "Pages at Once")->toolTip().toStdString(),
              extraSettingKey("PARALLEL").help());
    EXPECT_EQ(byName<QComboBox>(p, "Mail Security")->toolTip().toStdString(),
              extraSettingKey("MAILSECURITY").help());

    QComboBox* interval = byName<QComboBox>(p, "Interval");
    const QLabel* unit = nullptr;
    for (const QLabel* l : p.findChildren<QLabel*>())
        if (l->text() == "minutes")
            unit = l;
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->buddy(), interval);
    EXPECT_GE(unit->x(), interval->geometry().right());
    EXPECT_LT(std::abs(unit->geometry().center().y() - interval->geometry().center().y()),
              interval->height() / 2);
}
