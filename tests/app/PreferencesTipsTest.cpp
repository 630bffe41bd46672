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

// The Advanced page's controls, made from the table's rows around the
// dialog's own password field and Browse button, keep their tab order and
// their labels' places left of them.
TEST(PreferencesTips, AdvancedPageInTabOrderWithLabelsBesideTheirControls) {
    CPreferencesDlg p({});
    const char* const tabOrder[] = {"Mail Security",        "Mail User",
                                    "Mail Password",        "Password File",
                                    "Browse Password File", "Desktop Notifications",
                                    "Pages at Once",        "Attempts to Fail",
                                    "Certificate Warning",  "Offline Guard",
                                    "Keep History",         "History Days",
                                    "History Size",         "Metrics Address"};
    QWidget* w = byName<QWidget>(p, tabOrder[0]);
    for (const char* expected : tabOrder) {
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->accessibleName(), expected);
        do
            w = w->nextInFocusChain();
        while (w != &p && (!(w->focusPolicy() & Qt::TabFocus) || w->accessibleName().isEmpty()));
    }
    for (const QLabel* l : byName<QWidget>(p, "Mail User")->parentWidget()->findChildren<QLabel*>()) {
        ASSERT_NE(l->buddy(), nullptr) << l->text().toStdString();
        EXPECT_EQ(l->accessibleName(), QString());
        EXPECT_EQ(l->buddy()->accessibleName(), l->text().remove(':'));
        EXPECT_LE(l->geometry().right(), l->buddy()->x());
    }
    EXPECT_EQ(byName<QSpinBox>(p, "Certificate Warning")->suffix(), " days");
    EXPECT_EQ(byName<QSpinBox>(p, "History Size")->suffix(), " MiB");
}
