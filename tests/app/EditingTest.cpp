#include "app/SiteMonitorDlg.h"
#include "model/DateText.h"
#include "tests/app/ByName.h"
#include "tests/app/ModalAnswerer.h"
#include "tests/app/ModalScript.h"
#include "tests/support/TempDir.h"
#include "ui/SiteListModel.h"
#include "ui/SiteOptionsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <ctime>

using namespace vantrel;
using vantrel::test::byName;
using vantrel::test::ModalAnswerer;
using vantrel::test::ModalScript;
using vantrel::test::TempDir;

namespace {

// Three sites, top to bottom: a (OK), b (New), c (404); b's action is in lower case.
const char* const kThreeSites =
    "ST=c\r\nURL=http://c\r\nACTION=Sound\r\nSTATUS=404\r\nCHECK=03 Jan 2026 10:00:00\r\n"
    "ST=b\r\nURL=http://b\r\nACTION=email\r\nSTATUS=New\r\nCHECK=\r\n"
    "ST=a\r\nURL=http://a\r\nACTION=URL\r\nSTATUS=OK\r\n";

class EditingTest : public ::testing::Test {
protected:
    void start(const char* sites = "") {
        TempDir::writeFile("vantrel.ini", "MONITOR=no\r\n");
        TempDir::writeFile("vantrel.dat", sites);
        window.OnInitDialog();
        window.showNormal();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        list = window.listView();
    }
    QLineEdit* box(const char* name) { return byName<QLineEdit>(window, name); }
    void type(const char* name, const QString& text) {
        QLineEdit* edit =
            name == std::string("Action") ? byName<QComboBox>(window, name)->lineEdit() : box(name);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    void press(const char* name) { byName<QPushButton>(window, name)->click(); }
    void clickRow(int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, 0)).center());
    }
    void clickHeader(int column) {
        QHeaderView* header = list->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 4, header->height() / 2));
    }
    QStringList column(int c) const {
        QStringList out;
        for (int r = 0; r < list->model()->rowCount(); ++r)
            out << list->model()->index(r, c).data().toString();
        return out;
    }

    TempDir dir;
    CSiteMonitorDlg window;
    QTableView* list = nullptr;
};

} // namespace

TEST_F(EditingTest, AddChecksThenAddsNewRowsAtTheTopAndAsksAboutDuplicates) {
    start();
    ModalAnswerer answerer({QMessageBox::Ok, QMessageBox::No, QMessageBox::Yes});
    type("Site Name", "Site");
    type("URL", "http://a");
    type("Action", "Email / Sound");
    press("Add"); // no SMTP server
    EXPECT_EQ(list->model()->rowCount(), 0);

    // Lower case: not a mail action. Pasted rather than typed, because the
    // box completes typed text to its choices ("email" to "Email").
    byName<QComboBox>(window, "Action")->lineEdit()->setText("email");
    const std::string before = DateText::date(std::time(nullptr));
    press("Add");
    const std::string after = DateText::date(std::time(nullptr));
    ASSERT_EQ(list->model()->rowCount(), 1);
    const std::string created = list->model()->index(0, 5).data().toString().toStdString();
    EXPECT_TRUE(created == before || created == after) << created;
    EXPECT_EQ(column(7), QStringList{"New"});
    EXPECT_EQ(box("Total Sites")->text(), "1");
    EXPECT_EQ(box("Create Date")->text(), ""); // only the row gets the date and status
    EXPECT_EQ(box("Site Status")->text(), "");
    EXPECT_EQ(column(3), QStringList{"email"});
    EXPECT_EQ(byName<QComboBox>(window, "Action")->currentText(), "Email"); // shown as the choice

    type("Action", "Sound");
    press("Add"); // the same title, URL and test string: answered No
    EXPECT_EQ(list->model()->rowCount(), 1);
    press("Add"); // answered Yes
    EXPECT_EQ(list->model()->rowCount(), 2);
    EXPECT_EQ(box("Total Sites")->text(), "2");

    ASSERT_EQ(answerer.seen().size(), 3u);
    EXPECT_EQ(answerer.seen()[0].caption, "Warning");
    EXPECT_EQ(answerer.seen()[0].text, "Please set SMTP server under Preferences.");
    EXPECT_EQ(answerer.seen()[1].caption, "vantrel");
    EXPECT_EQ(answerer.seen()[1].text,
              "This entry is already in the list.\r\nDo you really want to add this item?");
}

TEST_F(EditingTest, MouseClickLoadsARowButKeyboardMovementDoesNot) {
    start(kThreeSites);
    clickRow(1);
    EXPECT_EQ(box("Site Name")->text(), "b");
    EXPECT_EQ(byName<QComboBox>(window, "Action")->currentText(), "Email"); // shown as the choice

    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(window.markedRow(), 2);
    EXPECT_EQ(box("Site Name")->text(), "b");

    // A new row dated from the check date the last loaded row left in the box.
    clickRow(2);
    type("Site Name", "d");
    ModalAnswerer answerer;
    press("Add");
    EXPECT_TRUE(answerer.seen().empty());
    EXPECT_EQ(list->model()->index(0, 6).data().toString(), "03 Jan 2026 10:00:00");
}

TEST_F(EditingTest, SortKeepsTheMarkedPositionForUpdateAndRemove) {
    start(kThreeSites);
    clickRow(0); // "a", status OK
    clickHeader(7);
    EXPECT_EQ(column(7), (QStringList{"404", "New", "OK"}));
    EXPECT_EQ(box("Total Sites")->text(), "3");
    EXPECT_EQ(window.markedRow(), 0);

    type("Site Name", "changed"); // the boxes still hold "a"; row 0 is now "c"
    press("Update");
    EXPECT_EQ(column(0), (QStringList{"changed", "b", "a"}));
    EXPECT_EQ(column(7), (QStringList{"OK", "New", "OK"})); // every box is stored

    clickHeader(0); // by title
    EXPECT_EQ(column(0), (QStringList{"a", "b", "changed"}));
    clickHeader(0); // now ascending: reversed
    EXPECT_EQ(column(0), (QStringList{"changed", "b", "a"}));

    clickRow(1);
    type("Test String", "typed");
    press("Remove");
    EXPECT_EQ(column(0), (QStringList{"changed", "a"}));
    EXPECT_EQ(box("Total Sites")->text(), "2");
    EXPECT_EQ(box("Site Name")->text(), "b"); // the boxes keep the removed site
    EXPECT_EQ(box("Test String")->text(), "typed");
}

TEST_F(EditingTest, ClearAllAsksAndKeepsTheEntryBoxes) {
    start(kThreeSites);
    clickRow(2);
    ModalAnswerer answerer({QMessageBox::No, QMessageBox::Yes});
    window.OnClearAll();
    EXPECT_EQ(list->model()->rowCount(), 3);
    window.OnClearAll();
    EXPECT_EQ(list->model()->rowCount(), 0);
    EXPECT_EQ(box("Total Sites")->text(), "0");
    EXPECT_EQ(box("Site Name")->text(), "c");
    EXPECT_EQ(window.markedRow(), -1);
    ASSERT_EQ(answerer.seen().size(), 2u);
    EXPECT_EQ(answerer.seen()[0].text, "Are you sure that you want to clear list?");
    EXPECT_EQ(answerer.seen()[0].caption, "vantrel");
}

// "Advanced..." beside the entry boxes edits the current entry's options: Add
// takes them into the new row, choosing a row shows its own, Clear resets
// them, and a site that accepts any certificate carries a warning mark.
TEST_F(EditingTest, AdvancedOptionsGoWithTheEntryIntoAddAndComeBackWithARow) {
    start(kThreeSites);
    press("Clear");
    type("Site Name", "d");
    type("URL", "https://d.example.test/");
    type("Action", "Sound");
    {
        ModalScript<SiteOptionsDlg> script([](SiteOptionsDlg& d) {
            QLineEdit* codes = byName<QLineEdit>(d, "Expected status:");
            ASSERT_NE(codes, nullptr);
            QTest::keyClicks(codes, "200-299");
            byName<QCheckBox>(d, "Accept an invalid certificate")->click();
            d.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        press("Advanced...");
        EXPECT_TRUE(script.ran());
    }
    EXPECT_EQ(box("Site Name")->text(), "d"); // the typed boxes stay
    press("Add");
    ASSERT_EQ(column(0).front(), "d");
    const SiteEntry& added = window.engine().sites().row(0);
    EXPECT_EQ(added.options.statusCodes, "200-299");
    EXPECT_EQ(added.options.insecure, "yes");
    const QModelIndex url = list->model()->index(0, SiteListModel::kUrlColumn);
    EXPECT_FALSE(url.data(Qt::DecorationRole).isNull());
    EXPECT_TRUE(url.data(Qt::ToolTipRole).toString().contains("INSECURE"));
    EXPECT_TRUE(list->model()->index(1, SiteListModel::kUrlColumn).data(Qt::DecorationRole).isNull());

    clickRow(1); // a: no options
    EXPECT_TRUE(window.engine().data().entry.options.statusCodes.empty());
    clickRow(0);
    EXPECT_EQ(window.engine().data().entry.options.statusCodes, "200-299");
    press("Clear");
    EXPECT_FALSE(window.engine().data().entry.options.inUse());
}
