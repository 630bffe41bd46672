#include "app/KeyringSecretStore.h"
#include "app/SiteMonitorDlg.h"
#include "monitor/SiteRequest.h"
#include "tests/app/ByName.h"
#include "tests/app/ModalAnswerer.h"
#include "tests/app/ModalScript.h"
#include "tests/support/ScopedEnvVar.h"
#include "tests/support/TempDir.h"
#include "ui/SiteListModel.h"
#include "ui/SiteOptionsDlg.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace vantrel;
using vantrel::test::byName;
using vantrel::test::ModalAnswerer;
using vantrel::test::ModalScript;
using vantrel::test::ScopedEnvVar;
using vantrel::test::TempDir;

namespace {

class WindowOptionsTest : public ::testing::Test {
protected:
    void start(const char* sites = "") {
        TempDir::writeFile("vantrel.ini", "MONITOR=no\r\n");
        TempDir::writeFile("vantrel.dat", sites);
        window.OnInitDialog();
        window.showNormal();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        list = window.listView();
    }
    void type(const char* name, const QString& text) {
        QLineEdit* edit = byName<QLineEdit>(window, name);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    void press(const char* name) { byName<QPushButton>(window, name)->click(); }
    void clickRow(int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, 0)).center());
    }
    // Opens Advanced..., lets `edit` change the dialog and presses OK.
    void editOptions(const std::function<void(SiteOptionsDlg&)>& edit) {
        ModalScript<SiteOptionsDlg> script([&](SiteOptionsDlg& dlg) {
            edit(dlg);
            dlg.accept();
        });
        press("Advanced...");
        EXPECT_TRUE(script.ran());
    }
    static void set(SiteOptionsDlg& dlg, const char* field, const QString& text) {
        QLineEdit* edit = byName<QLineEdit>(dlg, field);
        ASSERT_NE(edit, nullptr) << field;
        edit->setText(text);
    }
    const SiteOptions& entryOptions() { return window.engine().data().entry.options; }

    TempDir dir;
    // No desktop keyring is reached from the tests: secrets stay in memory.
    ScopedEnvVar bus{"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vantrel-test-bus"};
    CSiteMonitorDlg window;
    QTableView* list = nullptr;
};

} // namespace

TEST_F(WindowOptionsTest, OptionsTravelWithTheEntryThroughAddUpdateClearAndRowClicks) {
    start();
    type("Site Name", "Shop");
    type("URL", "http://shop.test/");
    byName<QComboBox>(window, "Action")->lineEdit()->setText("Sound");
    editOptions([](SiteOptionsDlg& dlg) {
        set(dlg, "Expected status:", "200-299");
        set(dlg, "Test string:", "Welcome");
        byName<QCheckBox>(dlg, "Accept an invalid certificate")->setChecked(true);
        set(dlg, "Slow above (ms):", "2000");
    });
    // The boxes keep what was typed; the dialog's test string shows in its box.
    EXPECT_EQ(byName<QLineEdit>(window, "Site Name")->text(), "Shop");
    EXPECT_EQ(byName<QLineEdit>(window, "Test String")->text(), "Welcome");
    EXPECT_EQ(entryOptions().statusCodes, "200-299");

    press("Add");
    ASSERT_EQ(window.engine().sites().rowCount(), 1);
    SiteEntry row = window.engine().sites().row(0);
    EXPECT_EQ(row.options.statusCodes, "200-299");
    EXPECT_EQ(row.options.insecure, "yes");
    EXPECT_EQ(row.options.slowMs, "2000");
    EXPECT_EQ(row.testString, "Welcome");
    // The row carries the warning mark and says why, in words.
    const QModelIndex url = list->model()->index(0, SiteListModel::kUrlColumn);
    EXPECT_FALSE(url.data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_TRUE(url.data(Qt::AccessibleTextRole).toString().contains(SiteListModel::kInsecureText));

    press("Clear");
    EXPECT_EQ(entryOptions(), SiteOptions{});
    editOptions(
        [](SiteOptionsDlg& dlg) { EXPECT_EQ(byName<QLineEdit>(dlg, "Expected status:")->text(), ""); });

    clickRow(0);
    EXPECT_EQ(entryOptions(), row.options);
    editOptions([](SiteOptionsDlg& dlg) {
        EXPECT_EQ(byName<QLineEdit>(dlg, "Expected status:")->text(), "200-299");
        set(dlg, "Expected status:", "301");
        byName<QCheckBox>(dlg, "Accept an invalid certificate")->setChecked(false);
    });
    press("Update");
    row = window.engine().sites().row(0);
    EXPECT_EQ(row.options.statusCodes, "301");
    EXPECT_EQ(row.options.insecure, "");
    EXPECT_EQ(row.options.slowMs, "2000");
    EXPECT_TRUE(
        list->model()->index(0, SiteListModel::kUrlColumn).data(Qt::DecorationRole).value<QIcon>().isNull());

    // A login's secret goes to the secret store under the site's key, never into the entry.
    ModalAnswerer answerer({QMessageBox::Ok}); // no keyring here: that is said
    editOptions([](SiteOptionsDlg& dlg) {
        byName<QComboBox>(dlg, "Login:")->setCurrentIndex(2);
        set(dlg, "Password or token:", "t0ken");
    });
    press("Update");
    EXPECT_EQ(window.secrets().secret(SiteRequest::secretKey("http://shop.test/")), "t0ken");
    EXPECT_FALSE(window.engine().sites().row(0).options.auth.empty());
    window.OnFileSave();
    EXPECT_EQ(TempDir::readFile("vantrel.dat").find("t0ken"), std::string::npos);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !answerer.seen().empty(); }, 20000));
    EXPECT_EQ(window.secrets().secret(SiteRequest::secretKey("http://shop.test/")), "t0ken");
}

TEST_F(WindowOptionsTest, ControlsAreNamedByTheirVisibleLabelsAndTabLeavesTheList) {
    start("ST=a\r\nURL=http://a\r\nACTION=Sound\r\nSTATUS=OK\r\n"
          "ST=b\r\nURL=http://b\r\nACTION=Sound\r\nSTATUS=Slow\r\nSLOWMS=5\r\n");
    // Every label's control is named by the label's text, and a label
    // without a control by its own text, as assistive tools read them.
    QWidget* client = window.listView()->parentWidget();
    for (QLabel* label : client->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(&window) || label->text().isEmpty())
            continue;
        const QString shown = QString(label->text()).remove('&').remove(':');
        QWidget* named = label->buddy() ? label->buddy() : label;
        const QString name = QAccessible::queryAccessibleInterface(named)->text(QAccessible::Name);
        // Two "Status:" labels are told apart by their names.
        if (named == label || (name != "Site Status" && name != "Monitor Status")) {
            EXPECT_EQ(name, label->buddy() ? shown : label->text()) << shown.toStdString();
        }
    }
    QComboBox* action = byName<QComboBox>(window, "Action");
    action->lineEdit()->setText("Email / Sound");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(action->lineEdit())->text(QAccessible::Name), "Action");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(action)->text(QAccessible::Name), "Action");

    // Slow has a mark of its own, not the good one.
    QAbstractItemModel* model = list->model();
    const QIcon slow = model->index(0, SiteListModel::kStatusColumn).data(Qt::DecorationRole).value<QIcon>();
    const QIcon good = model->index(1, SiteListModel::kStatusColumn).data(Qt::DecorationRole).value<QIcon>();
    ASSERT_FALSE(slow.isNull());
    EXPECT_NE(slow.pixmap(SiteListModel::kMarkSize).toImage().convertToFormat(QImage::Format_Grayscale8),
              good.pixmap(SiteListModel::kMarkSize).toImage().convertToFormat(QImage::Format_Grayscale8));

    // One Tab from the list reaches the next control, whatever cell is current.
    list->setFocus();
    list->setCurrentIndex(model->index(0, 0));
    ASSERT_TRUE(list->hasFocus());
    QTest::keyClick(list, Qt::Key_Tab);
    EXPECT_FALSE(list->hasFocus());
    EXPECT_EQ(list->currentIndex().column(), 0);
}

TEST(KeyringSecretStore, KeepsStoredSecretsAndFallsBackToTheSecretsFileWhereTheKeyringHasNone) {
    TempDir dir;
    ScopedEnvVar bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vantrel-test-bus");
    TempDir::writeFile("vantrel-secrets", "site:http://file.test/ from-file\n");
    ::chmod("vantrel-secrets", 0600);
    KeyringSecretStore store;
    bool done = false;
    store.readAhead({"site:http://file.test/", "site:http://none.test/"}, [&] { done = true; });
    EXPECT_FALSE(store.ready() && !done);
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 20000));
    EXPECT_TRUE(store.ready());
    EXPECT_EQ(store.secret("site:http://file.test/"), "from-file");
    EXPECT_EQ(store.secret("site:http://none.test/"), std::nullopt);

    // Stored: sent at once, whether or not the keyring takes it.
    QString error;
    store.store("site:http://file.test/", "typed", [&](const QString& e) { error = e.isEmpty() ? "?" : e; });
    EXPECT_EQ(store.secret("site:http://file.test/"), "typed");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !error.isEmpty(); }, 20000));
    EXPECT_EQ(store.secret("site:http://file.test/"), "typed");
}

TEST_F(WindowOptionsTest, HelpManualSaysWhereTheManualIsWhenNothingOpensIt) {
    start();
    bool asked = false;
    window.helpLinks().setOpener([&](const QUrl&) {
        asked = true;
        return false;
    });
    window.OnManual();
    EXPECT_TRUE(asked);
    QMessageBox* box = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible())
                    box = b;
            return box != nullptr;
        },
        5000));
    EXPECT_EQ(box->windowTitle(), "Manual");
    EXPECT_TRUE(box->text().startsWith("No program could open the manual.")) << box->text().toStdString();
    EXPECT_TRUE(box->text().endsWith("manual.html")) << box->text().toStdString();
    box->accept();

    // Opened: nothing is said.
    window.helpLinks().setOpener([](const QUrl&) { return true; });
    window.OnManual();
    QTest::qWait(100);
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<QMessageBox*>(w) && w->isVisible());
}
