#include "app/QtEventPump.h"
#include "app/SiteMonitorDlg.h"
#include "tests/support/TempDir.h"
#include "ui/TrayIcon.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

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
    tray.showOn();
    tray.showOff();
    QTest::qWait(1200);
    EXPECT_EQ(tray.iconId(), TrayIcon::kOffIcon);
    EXPECT_EQ(tray.tip(), "Vantrel: Off");

    QStringList items;
    for (QAction* a : tray.menu()->actions())
        items << a->text();
    EXPECT_EQ(items, (QStringList{"&Help", "&Quit", "&Preferences"}));
}

// Every tray state is drawn at each size trays use, not scaled from 32 pixels.
TEST(Tray, StatesComeAtTheSizesTraysAskFor) {
    for (int id : {TrayIcon::kAlertIcon, TrayIcon::kOnFrame1, TrayIcon::kOnFrame2, TrayIcon::kOnIcon,
                   TrayIcon::kOffIcon}) {
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
}
