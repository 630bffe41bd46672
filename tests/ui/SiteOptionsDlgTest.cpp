#include "ui/SiteOptionsDlg.h"
#include "model/SiteList.h"
#include "tests/support/HttpTestServer.h"
#include "ui/SiteListModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace vantrel;

namespace {

template <typename T> T* byName(QWidget& dlg, const QString& name) {
    for (T* w : dlg.findChildren<T*>())
        if (w->accessibleName() == name)
            return w;
    return nullptr;
}

QLabel* messageOf(QWidget& dlg, const QString& field) {
    return byName<QLabel>(dlg, field + QStringLiteral(" problem"));
}

SiteEntry sample(const std::string& url = "http://127.0.0.1:1/") {
    return SiteEntry("Shop", url, "Welcome", "Email", "", "01 Dec 2026", "", "OK");
}

} // namespace

TEST(SiteOptionsDlg, EveryControlIsNamedByItsLabelAndOptionsSurviveUntouched) {
    SiteEntry site = sample();
    site.options.match = "fuzzy"; // from a later version: kept, and flagged
    site.options.headers = {"X-A: 1", "X-B: 2"};
    site.options.every = "15";
    site.options.unknown = {{"SNOOZE", "x"}};
    SiteOptionsDlg dlg(site, nullptr);
    int fields = 0;
    for (QLabel* label : dlg.findChildren<QLabel*>()) {
        if (QWidget* buddy = label->buddy()) {
            ++fields;
            EXPECT_EQ(buddy->accessibleName(), label->text());
        }
    }
    EXPECT_EQ(fields, 13);
    for (QCheckBox* box : dlg.findChildren<QCheckBox*>())
        EXPECT_EQ(box->accessibleName(), box->text());
    for (QPushButton* button : dlg.findChildren<QPushButton*>())
        EXPECT_EQ(button->accessibleName().isEmpty() ? button->text().remove(QLatin1Char('&'))
                                                     : button->accessibleName(),
                  button->text().remove(QLatin1Char('&')));
    EXPECT_EQ(dlg.entry(), site);
    EXPECT_TRUE(messageOf(dlg, QStringLiteral("The page:"))->isVisibleTo(&dlg));
}

TEST(SiteOptionsDlg, InvalidInputIsRefusedBesideItsField) {
    SiteOptionsDlg dlg(sample(), nullptr);
    byName<QComboBox>(dlg, QStringLiteral("The page:"))->setCurrentIndex(2); // a regular expression
    byName<QLineEdit>(dlg, QStringLiteral("Test string:"))->setText(QStringLiteral("(unclosed"));
    byName<QPlainTextEdit>(dlg, QStringLiteral("Extra headers:"))
        ->setPlainText(QStringLiteral("Host: evil.test\n"));
    byName<QLineEdit>(dlg, QStringLiteral("Check every (minutes):"))->setText(QStringLiteral("0"));
    EXPECT_EQ(messageOf(dlg, QStringLiteral("Test string:"))->text(), QStringLiteral("missing ): (unclosed"));
    EXPECT_EQ(messageOf(dlg, QStringLiteral("Extra headers:"))->text(), QStringLiteral("Host cannot be set"));
    EXPECT_TRUE(messageOf(dlg, QStringLiteral("Check every (minutes):"))->isVisibleTo(&dlg));
    dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_NE(dlg.result(), QDialog::Accepted);

    byName<QLineEdit>(dlg, QStringLiteral("Test string:"))->setText(QStringLiteral("Wel+come"));
    byName<QPlainTextEdit>(dlg, QStringLiteral("Extra headers:"))
        ->setPlainText(QStringLiteral("X-Probe: 1\n"));
    byName<QLineEdit>(dlg, QStringLiteral("Check every (minutes):"))->setText(QStringLiteral("10"));
    EXPECT_FALSE(messageOf(dlg, QStringLiteral("Test string:"))->isVisibleTo(&dlg));
    dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    const SiteEntry e = dlg.entry();
    EXPECT_EQ(e.options.match, "regex");
    EXPECT_EQ(e.testString, "Wel+come");
    EXPECT_EQ(e.options.headers, std::vector<std::string>{"X-Probe: 1"});
    EXPECT_EQ(e.options.every, "10");
    EXPECT_EQ(e.options.redirects, ""); // at its default: nothing written
}

TEST(SiteOptionsDlg, TestNowRunsOffTheGuiThreadAndShowsWhatItFound) {
    test::HttpTestServer web;
    web.route("/page", test::HttpTestServer::ok("<html>Hello there</html>"));
    SiteOptionsDlg dlg(sample(web.url("/page")), nullptr);
    byName<QPlainTextEdit>(dlg, QStringLiteral("Extra headers:"))
        ->setPlainText(QStringLiteral("X-Probe: typed\n"));
    QSignalSpy finished(&dlg, &SiteOptionsDlg::testFinished);
    byName<QPushButton>(dlg, QStringLiteral("Test now"))->click();
    // The click returned before the answer: the result comes by the event loop.
    EXPECT_TRUE(dlg.testResult().startsWith(QStringLiteral("Testing "))) << dlg.testResult().toStdString();
    ASSERT_TRUE(finished.wait(10000));
    const QString result = dlg.testResult();
    EXPECT_TRUE(
        result.startsWith(QStringLiteral("Outcome: Bad - Test String text Not Found\n"
                                         "Reason: text \"Welcome\" not found\nStatus: HTTP 200\nTime: ")))
        << result.toStdString();
    EXPECT_TRUE(result.endsWith(QStringLiteral("\nPage: <html>Hello there</html>"))) << result.toStdString();
    EXPECT_NE(web.lastRequest().find("\r\nX-Probe: typed\r\n"), std::string::npos);
}

TEST(SiteListModel, StatusTipGivesTheReasonAndSlowHasAMarkOfItsOwn) {
    SiteList list;
    SiteEntry site = sample();
    site.status = "404";
    site.reason = "HTTP 503 (expected 200-299)";
    list.insertAtTop(site);
    SiteListModel model(list);
    const QModelIndex status = model.index(0, SiteListModel::kStatusColumn);
    EXPECT_EQ(model.data(status, Qt::ToolTipRole).toString(),
              QStringLiteral("404: HTTP 503 (expected 200-299)"));
    EXPECT_EQ(model.data(status, Qt::DisplayRole).toString(), QStringLiteral("404"));
    EXPECT_FALSE(SiteListModel::statusMark("Slow").isNull());
}
