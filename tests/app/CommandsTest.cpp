#include "app/SiteMonitorDlg.h"
#include "tests/app/ByName.h"
#include "tests/app/ModalAnswerer.h"
#include "tests/app/ModalScript.h"
#include "tests/support/TempDir.h"
#include "ui/AboutDlg.h"
#include "ui/HelpLinks.h"
#include "ui/PreferencesDlg.h"
#include "ui/TrayIcon.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

using namespace vantrel;
using vantrel::test::byName;
using vantrel::test::menuItem;
using vantrel::test::ModalAnswerer;
using vantrel::test::ModalScript;
using vantrel::test::TempDir;

namespace {

const char* const kTwoSites = "CREATOR=Vantrel 1.0\r\n"
                              "ST=b\r\nURL=http://b\r\nTESTSTRING=\r\nCREATE=01 Jan 2026\r\nCHECK=\r\n"
                              "URLEMAIL=\r\nACTION=Sound\r\nSTATUS=New\r\n\r\n"
                              "ST=a\r\nURL=http://a\r\nTESTSTRING=x\r\nCREATE=02 Jan 2026\r\nCHECK=\r\n"
                              "URLEMAIL=\r\nACTION=URL\r\nSTATUS=OK\r\n";

QString textWithoutMnemonic(QString text) {
    return text.remove(QLatin1Char('&')).remove(QLatin1Char(':'));
}

class CommandsTest : public ::testing::Test {
protected:
    void start(const char* sites = kTwoSites) {
        TempDir::writeFile("vantrel.ini", "MONITOR=no\r\n");
        TempDir::writeFile("vantrel.dat", sites);
        window.OnInitDialog();
        window.showNormal();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.helpLinks().setOpener([this](const QUrl& url) {
            opened.push_back(url);
            return true;
        });
    }
    void trigger(const char* menu, const char* item) {
        QAction* a = menuItem(window, QString::fromLatin1(menu), QString::fromLatin1(item));
        ASSERT_NE(a, nullptr) << menu << " > " << item;
        a->trigger();
    }
    void press(const char* name) {
        QPushButton* b = byName<QPushButton>(window, name);
        ASSERT_NE(b, nullptr) << name;
        b->click();
    }
    QLineEdit* box(const char* name) { return byName<QLineEdit>(window, name); }
    void markRow(int row) {
        QTableView* list = window.listView();
        list->selectionModel()->setCurrentIndex(
            list->model()->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    int rows() const { return window.listView()->model()->rowCount(); }
    QString title(int row) const { return window.listView()->model()->index(row, 0).data().toString(); }

    TempDir dir;
    CSiteMonitorDlg window;
    std::vector<QUrl> opened;
};

} // namespace

// Each Entry and Options item does what its button does; both are tried in
// turn on the same list, so each must show its own effect.
TEST_F(CommandsTest, EntryAndOptionsItemsMatchTheirButtons) {
    start();
    ModalAnswerer answerer; // the duplicate and clear-list questions: Yes

    box("Site Name")->setText("c");
    box("URL")->setText("http://c");
    byName<QComboBox>(window, "Action")->setEditText("Sound");
    trigger("&Entry", "&Add");
    ASSERT_EQ(rows(), 3);
    EXPECT_EQ(title(0), "c");
    press("Add");
    EXPECT_EQ(rows(), 4); // after the duplicate question

    markRow(0);
    box("Site Name")->setText("by menu");
    trigger("&Entry", "&Update");
    EXPECT_EQ(title(0), "by menu");
    markRow(1);
    box("Site Name")->setText("by button");
    press("Update");
    EXPECT_EQ(title(1), "by button");

    markRow(0);
    trigger("&Entry", "&Delete");
    EXPECT_EQ(rows(), 3);
    EXPECT_EQ(title(0), "by button");
    markRow(0);
    press("Remove");
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(title(0), "a");

    trigger("&Entry", "&Clear");
    EXPECT_EQ(box("Site Name")->text(), "");
    box("URL")->setText("http://typed");
    press("Clear");
    EXPECT_EQ(box("URL")->text(), "");

    trigger("&Options", "&Monitor");
    EXPECT_TRUE(window.engine().monitoringOn());
    press("Stop Monitor");
    EXPECT_FALSE(window.engine().monitoringOn());

    // Preferences from the menu, the button and the tray menu.
    int opens = 0;
    for (const std::function<void()>& open : std::vector<std::function<void()>>{
             [&] { trigger("&Options", "&Preferences"); }, [&] { press("Preferences"); },
             [&] { window.tray().preferencesAction()->trigger(); }}) {
        ::unlink("vantrel.ini");
        ModalScript<CPreferencesDlg> script([](CPreferencesDlg& p) { p.reject(); });
        open();
        opens += script.ran() ? 1 : 0;
        EXPECT_TRUE(TempDir::exists("vantrel.ini")); // written when the dialog closes
    }
    EXPECT_EQ(opens, 3);

    trigger("&Options", "&Clear All Entries");
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(box("Total Sites")->text(), "0");

    ASSERT_EQ(answerer.seen().size(), 2u);
    EXPECT_EQ(answerer.seen()[1].text, "Are you sure that you want to clear list?");
}

TEST_F(CommandsTest, FileSaveWritesBothFilesEvenWhenNothingChanged) {
    start();
    const std::string ini = TempDir::readFile("vantrel.ini"); // as start-up wrote it
    ::unlink("vantrel.ini");
    ::unlink("vantrel.dat");
    ModalAnswerer answerer;
    window.listView()->setFocus();
    QTest::mouseClick(window.listView()->viewport(), Qt::LeftButton, {},
                      window.listView()->visualRect(window.listView()->model()->index(1, 0)).center());
    EXPECT_EQ(box("Site Name")->text(), "b");

    trigger("&File", "&Save");
    EXPECT_EQ(TempDir::readFile("vantrel.ini"), ini);
    EXPECT_EQ(TempDir::readFile("vantrel.dat"), kTwoSites);
    EXPECT_TRUE(answerer.seen().empty());    // no message on success
    EXPECT_EQ(box("Site Name")->text(), ""); // saving the list goes through the entry
    EXPECT_EQ(rows(), 2);
}

TEST_F(CommandsTest, LayoutFollowsTheWindowSizeAndKeepsItsMinimum) {
    start();
    EXPECT_EQ(window.minimumSize(), QSize(435, 380));
    window.resize(300, 200);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.size(), QSize(435, 380));

    QLabel* footer = window.findChild<QLabel*>("footer");
    QWidget* client = footer->parentWidget();
    QWidget* list = window.listView();
    const std::vector<QWidget*> growing = {list,
                                           box("Site Name"),
                                           box("URL"),
                                           box("Test String"),
                                           box("Error URL"),
                                           byName<QComboBox>(window, "Action")};
    std::vector<QWidget*> rightColumn;
    for (const char* name : {"Quit", "Monitor", "Add", "Update", "Remove", "Clear", "Preferences"})
        rightColumn.push_back(byName<QPushButton>(window, name));
    for (const char* name : {"Total Sites", "Checks", "Monitor Status"}) {
        QLineEdit* counter = box(name);
        rightColumn.push_back(counter);
        for (QLabel* l : client->findChildren<QLabel*>())
            if (l->buddy() == counter)
                rightColumn.push_back(l);
    }
    const std::vector<QWidget*> fixed = {box("Create Date"), box("Site Status"), box("Check Date")};

    auto geometries = [](const std::vector<QWidget*>& ws) {
        std::vector<QRect> out;
        for (QWidget* w : ws)
            out.push_back(w->geometry());
        return out;
    };
    window.resize(600, 450);
    QCoreApplication::processEvents();
    const auto grow0 = geometries(growing), right0 = geometries(rightColumn), fixed0 = geometries(fixed);
    const int height0 = client->height();
    EXPECT_EQ(footer->geometry(), QRect(3, height0 - 17, 415, 15));

    window.resize(700, 450);
    QCoreApplication::processEvents();
    ASSERT_EQ(client->width(), 700);
    for (size_t i = 0; i < growing.size(); ++i) {
        EXPECT_EQ(growing[i]->geometry(), grow0[i].adjusted(0, 0, 100, 0)) << i;
    }
    for (size_t i = 0; i < rightColumn.size(); ++i)
        EXPECT_EQ(rightColumn[i]->geometry(), right0[i].translated(100, 0)) << i;
    // Create Date keeps its size; Status and Check Date share the width gained, so their texts are not cut.
    EXPECT_EQ(geometries(fixed)[0], fixed0[0]);
    EXPECT_EQ(geometries(fixed)[1], fixed0[1].adjusted(0, 0, 50, 0));
    EXPECT_EQ(geometries(fixed)[2], fixed0[2].adjusted(50, 0, 100, 0));
    EXPECT_EQ(byName<QPushButton>(window, "Advanced...")->x(), geometries(fixed)[2].x());
    EXPECT_EQ(footer->geometry(), QRect(3, height0 - 17, 415, 15));

    // Taller: only the list grows, and the footer stays at the bottom.
    window.resize(700, 500);
    QCoreApplication::processEvents();
    EXPECT_EQ(list->geometry(), grow0[0].adjusted(0, 0, 100, 50));
    EXPECT_EQ(footer->geometry(), QRect(3, height0 + 50 - 17, 415, 15));
    EXPECT_EQ(geometries(rightColumn)[0], right0[0].translated(100, 0));
}

TEST_F(CommandsTest, HelpItemsOpenTheManualItsOverviewAndItsSupportSection) {
    start();
    trigger("&Help", "&Manual");
    trigger("&Help", "More &Info");
    trigger("&Help", "&Support");
    window.tray().helpAction()->trigger();
    ASSERT_EQ(opened.size(), 4u);

    const QUrl manual = opened[0];
    ASSERT_TRUE(manual.isLocalFile()) << manual.toString().toStdString();
    QFile page(manual.toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << manual.toString().toStdString();
    const QString html = QString::fromUtf8(page.readAll());

    EXPECT_EQ(opened[1].adjusted(QUrl::RemoveFragment), manual);
    EXPECT_EQ(opened[1].fragment(), "overview");
    EXPECT_TRUE(html.contains(QStringLiteral("id=\"overview\""))); // More Info lands on a section
    // No support address is configured: Support opens the manual's support
    // section rather than a mail to nobody.
    EXPECT_EQ(opened[2].adjusted(QUrl::RemoveFragment), manual);
    EXPECT_EQ(opened[2].fragment(), "support");
    EXPECT_TRUE(html.contains(QStringLiteral("id=\"support\"")));
    EXPECT_EQ(HelpLinks::supportUrl("help@example.org").toString(),
              "mailto:help@example.org?subject=VantrelSupport");
    EXPECT_EQ(opened[3], manual); // the tray's Help
}

TEST(HelpLinks, ManualIsTakenFromTheInstallationElseFromTheSourceTree) {
    TempDir dir;
    const QString root = QString::fromStdString(dir.path());
    QDir().mkpath(root + "/usr/bin");
    QDir().mkpath(root + "/usr/share/doc/vantrel");
    QDir().mkpath(root + "/src/docs");
    TempDir::writeFile("src/docs/manual.html", "source");
    EXPECT_EQ(HelpLinks::manualPath(root + "/usr/bin", root + "/src"), root + "/src/docs/manual.html");
    TempDir::writeFile("usr/share/doc/vantrel/manual.html", "installed");
    EXPECT_EQ(HelpLinks::manualPath(root + "/usr/bin", root + "/src"),
              root + "/usr/share/doc/vantrel/manual.html");
    ::unlink("usr/share/doc/vantrel/manual.html");
    // Neither: the installed place, where a reinstall would put it.
    EXPECT_EQ(HelpLinks::manualPath(root + "/usr/bin", QString()),
              root + "/usr/share/doc/vantrel/manual.html");
}

// The manual names every preference and every menu command as the window
// shows them, so a renamed control cannot leave it behind.
TEST_F(CommandsTest, ManualCoversEveryPreferenceAndMenuCommand) {
    start();
    QFile page(HelpLinks::manualUrl().toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());

    CPreferencesDlg prefs({}, &window);
    QStringList names;
    for (QLabel* l : prefs.findChildren<QLabel*>())
        names << textWithoutMnemonic(l->text());
    for (QCheckBox* c : prefs.findChildren<QCheckBox*>())
        if (!c->isHidden())
            names << c->text();
    for (QAction* popup : window.findChild<QMenuBar*>()->actions())
        for (QAction* a : popup->menu()->actions())
            names << textWithoutMnemonic(a->text());
    EXPECT_GE(names.size(), 25);
    for (const QString& name : names)
        EXPECT_TRUE(html.contains(name)) << name.toStdString();
}

// Every text of the main window and the Preferences dialog is shown whole in
// the desktop's font, and no label runs into the box beside it.
TEST_F(CommandsTest, TextsAreShownWhole) {
    start();
    CPreferencesDlg prefs({}, &window);
    for (QWidget* dialog : {static_cast<QWidget*>(&window), static_cast<QWidget*>(&prefs)}) {
        for (QLabel* l : dialog->findChildren<QLabel*>()) {
            SCOPED_TRACE(l->text().toStdString());
            EXPECT_GE(l->width(), l->sizeHint().width());
            EXPECT_GE(l->height(), l->fontMetrics().height());
            const QWidget* box = l->buddy();
            const bool sameRow =
                box && box->y() < l->geometry().bottom() && l->y() < box->geometry().bottom();
            if (sameRow && box->x() > l->x()) {
                EXPECT_LE(l->geometry().right(), box->x());
            }
        }
        for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>()) {
            if (b->text().isEmpty())
                continue; // the list's corner button
            SCOPED_TRACE(b->text().toStdString());
            const int indicator = qobject_cast<QCheckBox*>(b) ? 16 : 4;
            EXPECT_GE(b->width(), b->fontMetrics().horizontalAdvance(b->text()) + indicator);
        }
    }

    // The narrow read-only fields keep their places; a text longer than the
    // field shows its start and is whole in the tool tip.
    SiteEntry entry = window.engine().data().entry;
    entry.status = "Bad - Test String text Not Found";
    entry.checkDate = "08 Dec 2026 01:23:45";
    window.engine().setEntry(entry);
    window.show();
    for (const char* name : {"Site Status", "Check Date"}) {
        SCOPED_TRACE(name);
        QLineEdit* field = box(name);
        EXPECT_TRUE(field->isReadOnly());
        EXPECT_EQ(field->cursorPosition(), 0);
        const bool cut =
            field->fontMetrics().horizontalAdvance(field->text()) > field->contentsRect().width() - 6;
        EXPECT_EQ(field->toolTip(), cut ? field->text() : QString());
    }
    EXPECT_EQ(box("Site Status")->toolTip(), "Bad - Test String text Not Found");
    entry.status = "OK";
    window.engine().setEntry(entry);
    window.show();
    EXPECT_EQ(box("Site Status")->toolTip(), "");
}

TEST_F(CommandsTest, AboutBoxShowsIconVersionAndClosesOnOkOrEsc) {
    start();
    ModalScript<CAboutDlg> viaOk([](CAboutDlg& about) {
        EXPECT_EQ(about.windowTitle(), "About Vantrel");
        QStringList texts;
        bool icon = false;
        for (QLabel* l : about.findChildren<QLabel*>()) {
            if (!l->pixmap().isNull()) {
                icon = true;
                EXPECT_EQ(l->pixmap().size(), QSize(32, 32));
            } else {
                texts << l->text();
                // No letter is cut off, and every line stays inside the box.
                EXPECT_GE(l->width(), l->sizeHint().width()) << l->text().toStdString();
                EXPECT_GE(l->height(), l->sizeHint().height()) << l->text().toStdString();
            }
            EXPECT_TRUE(about.rect().contains(l->geometry())) << l->text().toStdString();
            EXPECT_FALSE(l->accessibleName().isEmpty());
        }
        EXPECT_TRUE(icon);
        EXPECT_EQ(texts, (QStringList{"Vantrel Version 1.08", "Website monitoring for your desktop"}));
        QPushButton* ok = byName<QPushButton>(about, "OK");
        ASSERT_NE(ok, nullptr);
        EXPECT_TRUE(ok->isDefault());
        ok->click();
    });
    trigger("&Help", "&About");
    EXPECT_TRUE(viaOk.ran());
    EXPECT_FALSE(viaOk.timedOut());

    ModalScript<CAboutDlg> viaEsc([](CAboutDlg& about) { QTest::keyClick(&about, Qt::Key_Escape); });
    trigger("&Help", "&About");
    EXPECT_TRUE(viaEsc.ran());
    EXPECT_FALSE(viaEsc.timedOut());
}

TEST_F(CommandsTest, UninstallShowsTheNoteAndChangesNothing) {
    start();
    const std::string ini = TempDir::readFile("vantrel.ini");
    ModalAnswerer answerer;
    trigger("&Help", "&Uninstall");
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].caption, "How to Uninstall:");
    EXPECT_EQ(answerer.seen()[0].text,
              "To uninstall the program:\r\nRemove the vantrel package with your package "
              "manager (apt remove vantrel), or delete the files that cmake --install "
              "put in place.\r\n");
    EXPECT_EQ(TempDir::readFile("vantrel.ini"), ini);
    EXPECT_EQ(TempDir::readFile("vantrel.dat"), kTwoSites);
    EXPECT_EQ(rows(), 2);
}
