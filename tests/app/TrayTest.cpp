#include "app/QtEventPump.h"
#include "app/SiteMonitorDlg.h"
#include "model/DateText.h"
#include "tests/app/ByName.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/SmtpTestPeer.h"
#include "tests/support/TempDir.h"
#include "ui/EntryBoxes.h"
#include "ui/TrayIcon.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <array>
#include <thread>

using namespace vantrel;
using vantrel::test::TempDir;

TEST(Tray, OnAnimationEndsOnItsLastFrameUnlessANewerStateReplacesIt) {
    TrayIcon tray;
    std::vector<int> shown;
    QObject::connect(&tray, &TrayIcon::stateChanged, [&](int id, const QString&) { shown.push_back(id); });
    tray.add();
    EXPECT_EQ(tray.iconId(), TrayIcon::kAppIcon);
    EXPECT_EQ(tray.tip(), "Vantrel");

    tray.showOn();
    EXPECT_EQ(tray.tip(), "Vantrel: On");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !tray.animating(); }, 5000));
    EXPECT_EQ(shown, (std::vector<int>{128, 139, 140, 139, 141}));
    EXPECT_EQ(tray.tip(), "Vantrel: On");

    // A site fails while an animation still runs: the alert stays.
    tray.showOn();
    tray.showAlert();
    QTest::qWait(1200);
    EXPECT_EQ(tray.iconId(), TrayIcon::kAlertIcon);
    EXPECT_EQ(tray.tip(), "Vantrel");
    tray.showSlow();
    EXPECT_EQ(tray.iconId(), TrayIcon::kSlowIcon);
    EXPECT_EQ(tray.tip(), "Vantrel: Slow");
    tray.showOn();
    tray.showOff();
    QTest::qWait(1200);
    EXPECT_EQ(tray.iconId(), TrayIcon::kOffIcon);
    EXPECT_EQ(tray.tip(), "Vantrel: Off");

    QStringList items;
    for (QAction* a : tray.menu()->actions())
        items << a->text();
    ASSERT_GE(items.size(), 3);
    EXPECT_EQ(items.mid(items.size() - 3), (QStringList{"&Help", "&Quit", "&Preferences"}));
}

// Every tray state is drawn at each size trays use, not scaled from 32 pixels.
TEST(Tray, StatesComeAtTheSizesTraysAskFor) {
    for (int id : {TrayIcon::kAlertIcon, TrayIcon::kOnFrame1, TrayIcon::kOnFrame2, TrayIcon::kOnIcon,
                   TrayIcon::kOffIcon, TrayIcon::kSlowIcon}) {
        const QList<QSize> sizes = TrayIcon::icon(id).availableSizes();
        for (int size : {16, 22, 24, 32, 48})
            EXPECT_TRUE(sizes.contains(QSize(size, size))) << id << " at " << size;
    }
}

TEST(Tray, MonitorButtonSwitchesStateEverywhere) {
    TempDir dir;
    CSiteMonitorDlg dlg;
    dlg.OnInitDialog();
    QPushButton* button = nullptr;
    for (auto* b : dlg.findChildren<QPushButton*>())
        if (b->text() == "Stop Monitor")
            button = b;
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_EQ(button->text(), "Monitor");
    EXPECT_EQ(dlg.tray().iconId(), TrayIcon::kOffIcon);
    EXPECT_EQ(dlg.tray().tip(), "Vantrel: Off");
    EXPECT_NE(TempDir::readFile("vantrel.ini").find("MONITOR=no\r\n"), std::string::npos);
    EXPECT_FALSE(dlg.engine().monitoringOn());
    // Switching off leaves the timer running; its ticks change nothing.
    EXPECT_TRUE(dlg.checkTimer().isActive());
    dlg.OnTimer();
    EXPECT_EQ(dlg.engine().data().statusText, "Off.");

    button->click();
    EXPECT_EQ(button->text(), "Stop Monitor");
    EXPECT_EQ(dlg.tray().iconId(), TrayIcon::kOnFrame1);
    EXPECT_TRUE(dlg.engine().monitoringOn());
    EXPECT_NE(TempDir::readFile("vantrel.ini").find("MONITOR=yes\r\n"), std::string::npos);
}

// A report mail that fails shows in the window and in the tray's tip, with
// the time and the mailer's error text, until a later mail goes out; the
// Status field keeps its text.
TEST(Tray, LastFailedReportMailShowsUntilAMailGoesOut) {
    using vantrel::test::SmtpTestPeer;
    using P = SmtpTestPeer;
    TempDir dir;
    vantrel::test::HttpTestServer web;
    web.route("/up", vantrel::test::HttpTestServer::ok("fine"));
    SmtpTestPeer smtp;
    smtp.addSession({P::say("220 ready\r\n"), P::hear(), P::say("250 hello\r\n"), P::hear(),
                     P::say("250 ok\r\n"), P::hear(), P::say("550 no such user\r\n")});
    smtp.addSession({P::say("220 ready\r\n"), P::hear(), P::say("250 hello\r\n"), P::hear(),
                     P::say("250 ok\r\n"), P::hear(), P::say("250 ok\r\n"), P::hear(), P::say("354 go\r\n"),
                     P::hearData(), P::say("250 queued\r\n"), P::hear(), P::say("221 bye\r\n")});
    TempDir::writeFile("vantrel.ini", "MONITOR=yes\r\nINTERVAL=60\r\nEMAIL1=ops@example.test\r\nSMTPSERVER=" +
                                          smtp.hostPort() + "\r\n");
    CSiteMonitorDlg dlg;
    dlg.OnInitDialog();
    dlg.checkTimer().stop();
    QLabel* line = dlg.findChild<QLabel*>("mailFailure");
    QLabel* footer = dlg.findChild<QLabel*>("footer");
    ASSERT_TRUE(line && footer);
    EXPECT_FALSE(line->isVisibleTo(&dlg));

    dlg.engine().sites().insertAtTop(SiteEntry{"Shop", "http://127.0.0.1:1/", "", "Email", "", "", "", "OK"});
    // The check and the mail fall in the minute before the pass ends or in
    // the one it ends in.
    const std::string startMinute = DateText::timeOfDay(dlg.clock().now());
    dlg.engine().runCheckPass();
    const std::string minute = DateText::timeOfDay(dlg.clock().now());
    // The server's reply keeps its line end in the mailer's text; the line
    // shows it on one line.
    const std::string& errorText = dlg.engine().mailer().errorText;
    ASSERT_NE(errorText.find("550 no such user\r\n Flag: 62"), std::string::npos) << errorText;
    const std::string mailMinute = dlg.mailFailure().toStdString().substr(12, minute.size());
    ASSERT_TRUE(mailMinute == minute || mailMinute == startMinute) << mailMinute;
    const std::string expected =
        "Mail failed " + mailMinute + ": " + errorText.substr(0, errorText.find("\r\n")) + " Flag: 62";
    EXPECT_EQ(dlg.mailFailure().toStdString(), expected);
    EXPECT_NE(expected.find("ERR-20001"), std::string::npos) << expected;
    EXPECT_TRUE(line->isVisibleTo(&dlg));
    EXPECT_FALSE(footer->isVisibleTo(&dlg));
    EXPECT_EQ(line->toolTip().toStdString(), expected);
    // The tip lists the failing site above the mail's failure.
    const std::string site = "Shop: " + dlg.engine().sites().row(0).reason + ", since ";
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.tray().toolTip().contains("Shop: "); }, 2000));
    const std::string tip = dlg.tray().toolTip().toStdString();
    EXPECT_TRUE(tip == "Vantrel\n" + site + startMinute + "\n" + expected ||
                tip == "Vantrel\n" + site + minute + "\n" + expected)
        << tip;
    EXPECT_EQ(dlg.tray().tip(), "Vantrel");
    EXPECT_EQ(vantrel::test::byName<QLineEdit>(dlg, "Monitor Status")->text(), "Monitor.");

    // The site recovers and its recovery report goes out: the line goes.
    SiteEntry back = dlg.engine().sites().row(0);
    back.url = web.url("/up");
    dlg.engine().sites().setRow(0, back);
    dlg.engine().runCheckPass();
    EXPECT_EQ(smtp.connections(), 2);
    EXPECT_TRUE(dlg.mailFailure().isEmpty());
    EXPECT_FALSE(line->isVisibleTo(&dlg));
    EXPECT_TRUE(footer->isVisibleTo(&dlg));
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.tray().toolTip() == dlg.tray().tip(); }, 2000))
        << dlg.tray().toolTip().toStdString();
    dlg.OnDestroy();
}

TEST(Tray, OfflineMarkOnTheTipAndTheCaptionUntilTheNetworkIsBack) {
    TempDir dir;
    CSiteMonitorDlg dlg;
    dlg.OnInitDialog();
    const QString caption = dlg.windowTitle();
    dlg.setOffline(true);
    EXPECT_EQ(dlg.windowTitle(), caption + " - Offline");
    EXPECT_EQ(dlg.tray().tip(), "Vantrel: Offline");
    dlg.showTrayAlert(); // a newer state keeps the mark
    EXPECT_EQ(dlg.tray().tip(), "Vantrel: Offline");
    dlg.setOffline(false);
    EXPECT_EQ(dlg.windowTitle(), caption);
    EXPECT_EQ(dlg.tray().tip(), "Vantrel");
    EXPECT_EQ(dlg.tray().iconId(), TrayIcon::kAlertIcon);
}

TEST(EventPump, TimersKeepRunningWhileTheCallRunsOnAWorker) {
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    QtEventPump pump;
    bool ranOnWorker = false;
    const auto gui = std::this_thread::get_id();
    pump.runBlocking([&] {
        ranOnWorker = std::this_thread::get_id() != gui;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    });
    EXPECT_TRUE(ranOnWorker);
    EXPECT_GE(ticks, 3);
    EXPECT_THROW(pump.runBlocking([] { throw std::runtime_error("passed back"); }), std::runtime_error);

    const int before = ticks;
    pump.sleepFor(std::chrono::milliseconds(200));
    EXPECT_GE(ticks - before, 3);

    // A stop ends the pause under way at once, and later pauses take no time.
    QTimer::singleShot(100, [&] { pump.stopSignal().request(); });
    const auto start = std::chrono::steady_clock::now();
    pump.sleepFor(std::chrono::seconds(20));
    pump.sleepFor(std::chrono::seconds(20));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(EventPump, InputWaitsWhileThePumpWaitsAndEachDispatchTakesOneEvent) {
    QWidget window;
    auto* edit = new QLineEdit(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    edit->setFocus();
    QtEventPump pump;
    auto type = [&](const QString& keys) {
        for (QChar c : keys)
            QCoreApplication::postEvent(window.windowHandle(), new QKeyEvent(QEvent::KeyPress, Qt::Key_A,
                                                                             Qt::NoModifier, QString(c)));
    };

    // Typed while a pause runs: kept back, not lost.
    type(QStringLiteral("abc"));
    pump.sleepFor(std::chrono::milliseconds(50));
    EXPECT_EQ(edit->text(), "");
    EXPECT_EQ(pump.heldEvents(), 3);

    // One dispatch, one event: the oldest.
    pump.dispatchOne();
    EXPECT_EQ(edit->text(), "a");
    type(QStringLiteral("d"));
    pump.runBlocking([] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
    EXPECT_EQ(edit->text(), "a");
    pump.dispatchOne();
    EXPECT_EQ(edit->text(), "ab");

    // Once the pump waits no more, the rest arrives in its order.
    QTest::qWait(50);
    EXPECT_EQ(edit->text(), "abcd");
    EXPECT_EQ(pump.heldEvents(), 0);
}

TEST(EventPump, ScrollingAListGoesThroughWhileOtherInputWaits) {
    QWidget window;
    window.resize(300, 300);
    auto* list = new QListWidget(&window);
    list->setGeometry(0, 0, 300, 200);
    for (int i = 0; i < 500; ++i)
        list->addItem(QString::number(i));
    list->setCurrentRow(0);
    auto* edit = new QLineEdit(&window);
    edit->setGeometry(0, 250, 300, 30);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    list->setFocus();
    QtEventPump pump;
    QScrollBar* bar = list->verticalScrollBar();
    auto post = [&](QEvent* e) { QCoreApplication::postEvent(window.windowHandle(), e); };
    auto wheel = [&](QPointF at) {
        return new QWheelEvent(at, window.mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                               Qt::NoModifier, Qt::NoScrollPhase, false);
    };

    // The wheel over the list and Page Down in it scroll it during the
    // wait; the wheel over the edit box and a typed key wait.
    post(wheel(QPointF(100, 100)));
    pump.sleepFor(std::chrono::milliseconds(30));
    const int wheeled = bar->value();
    EXPECT_GT(wheeled, 0);
    post(new QKeyEvent(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier));
    post(new QKeyEvent(QEvent::KeyRelease, Qt::Key_PageDown, Qt::NoModifier));
    post(wheel(QPointF(100, 260)));
    post(new QKeyEvent(QEvent::KeyPress, Qt::Key_4, Qt::NoModifier, QStringLiteral("4")));
    pump.sleepFor(std::chrono::milliseconds(30));
    EXPECT_GT(bar->value(), wheeled);
    EXPECT_EQ(pump.heldEvents(), 2);
    // Paging scrolled the list and marked no other row.
    EXPECT_EQ(list->currentRow(), 0);

    // A press on the scroll bar, the drag and the release go through.
    const int before = bar->value();
    const QPoint barAt = bar->mapTo(&window, QPoint(bar->width() / 2, bar->height() - 30));
    post(new QMouseEvent(QEvent::MouseButtonPress, barAt, window.mapToGlobal(barAt), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier));
    post(new QMouseEvent(QEvent::MouseButtonRelease, barAt, window.mapToGlobal(barAt), Qt::LeftButton,
                         Qt::NoButton, Qt::NoModifier));
    pump.sleepFor(std::chrono::milliseconds(30));
    EXPECT_GT(bar->value(), before);
    EXPECT_EQ(pump.heldEvents(), 2);

    // Once the pump waits no more, the held key goes to the list.
    QTest::qWait(50);
    EXPECT_EQ(pump.heldEvents(), 0);
    EXPECT_EQ(list->currentRow(), 4);
}

TEST(EventPump, BoxesFilledDuringASliceShowItsLastRowWhenItEnds) {
    QWidget window;
    std::array<QLineEdit*, 8> edits{};
    for (size_t i = 0; i < edits.size(); ++i)
        edits[i] = i == 3 ? nullptr : new QLineEdit(&window);
    auto* action = new QComboBox(&window);
    action->setEditable(true);
    EntryBoxes boxes(edits, action);
    QtEventPump pump;
    std::vector<std::string> gathered;
    std::vector<QString> shown;
    int rows = 0;
    pump.runAlongside(
        [](const EventPump::Signal&) { std::this_thread::sleep_for(std::chrono::milliseconds(50)); },
        [&] {
            if (rows == 3)
                return false;
            SiteEntry e;
            e.title = "Row " + std::to_string(rows);
            boxes.show(e);
            if (rows == 1)
                pump.sleepFor(std::chrono::milliseconds(1)); // the window is served: shown first
            SiteEntry back;
            boxes.gather(back);
            gathered.push_back(back.title);
            shown.push_back(edits[0]->text());
            return ++rows < 3;
        });
    // Gather gives back each row; the box shows a row only when events are
    // served and when the slice ends.
    EXPECT_EQ(gathered, (std::vector<std::string>{"Row 0", "Row 1", "Row 2"}));
    EXPECT_EQ(shown, (std::vector<QString>{QString(), QStringLiteral("Row 1"), QStringLiteral("Row 1")}));
    EXPECT_EQ(edits[0]->text(), "Row 2");
    EXPECT_FALSE(boxes.edited());
    // Outside a slice a row shows at once.
    SiteEntry e;
    e.title = "Now";
    boxes.show(e);
    EXPECT_EQ(edits[0]->text(), "Now");
}

// Check now from the window's Entry menu checks the chosen site only; the
// tray's "Check all now" checks every site; a failing site chosen in the tray
// menu shows the window with its row chosen.
TEST(Tray, CheckNowFromWindowAndTrayAndAFailingSiteOpensItsRow) {
    TempDir dir;
    vantrel::test::HttpTestServer web;
    web.route("/a", vantrel::test::HttpTestServer::ok("fine"));
    web.route("/b", vantrel::test::HttpTestServer::ok("closed"));
    TempDir::writeFile("vantrel.ini", "MONITOR=no\r\n");
    CSiteMonitorDlg dlg;
    dlg.OnInitDialog();
    SiteList& sites = dlg.engine().sites();
    sites.insertAtTop(SiteEntry{"B", web.url("/b"), "Welcome", "", "", "", "", "OK"});
    sites.insertAtTop(SiteEntry{"A", web.url("/a"), "", "", "", "", "", "New"});
    QAction* checkNow = nullptr;
    for (QAction* menu : dlg.findChildren<QMenuBar*>().at(0)->actions())
        for (QAction* a : menu->menu() ? menu->menu()->actions() : QList<QAction*>())
            if (a->text() == "Check &Now")
                checkNow = a;
    ASSERT_TRUE(checkNow);
    dlg.listView()->selectRow(1);
    checkNow->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sites.row(1).checkDate.empty(); }, 5000));
    EXPECT_EQ(web.requests().size(), 1u);
    EXPECT_EQ(sites.row(1).status, "Bad - Test String text Not Found");
    EXPECT_TRUE(sites.row(0).checkDate.empty());

    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg.tray().siteActions().size() == 1; }, 2000));
    EXPECT_EQ(dlg.tray().badgeCount(), 1);
    dlg.tray().checkAllAction()->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sites.row(0).status == "OK"; }, 5000));
    EXPECT_EQ(web.requests().size(), 3u);

    dlg.listView()->selectRow(0);
    dlg.tray().siteActions().at(0)->trigger();
    EXPECT_EQ(dlg.markedRow(), 1);
    EXPECT_EQ(vantrel::test::byName<QLineEdit>(dlg, "Site Name")->text(), "B");
    dlg.OnDestroy();
}
