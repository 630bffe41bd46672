#include "app/MemoryRest.h"
#include "app/QtEventPump.h"
#include "app/SiteMonitorDlg.h"
#include "tests/app/ByName.h"
#include "tests/support/TempDir.h"
#include "ui/TrayIcon.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace vantrel;
using vantrel::test::byName;
using vantrel::test::TempDir;

// A slice of a pass shows the status line and the counters as the entry
// boxes: each show within it is kept, gather gives the kept values back, and
// the line shows the last of them when the slice ends, or when the window is
// served inside it. The Action box, shown at once, shows the site's action
// again after the user changed it, even when the action is the one it had.
TEST(PacedWindow, StatusLineAndCountersOfASliceShowItsLastValues) {
    TempDir dir;
    TempDir::writeFile("vantrel.ini", "MONITOR=no\r\n");
    CSiteMonitorDlg dlg;
    dlg.OnInitDialog();
    // What a pass puts into the engine's bound values, through its commands.
    DialogData data = dlg.engine().data();
    auto* status = byName<QLineEdit>(dlg, "Monitor Status");
    auto* checks = byName<QLineEdit>(dlg, "Checks");
    auto* action = dlg.findChild<QComboBox*>();
    ASSERT_TRUE(status && checks && action);
    const QString before = status->text();

    QtEventPump pump;
    std::vector<std::string> gathered;
    std::vector<int> counts;
    std::vector<QString> shown;
    int rows = 0;
    pump.runAlongside(
        [](const EventPump::Signal&) { std::this_thread::sleep_for(std::chrono::milliseconds(50)); },
        [&] {
            if (rows == 3)
                return false;
            data.statusText = "Row " + std::to_string(rows);
            data.checkCount = 100 + rows;
            data.entry.action = "Sound";
            dlg.engine().setDialogData(data);
            dlg.show();
            if (rows == 1)
                pump.sleepFor(std::chrono::milliseconds(1)); // the window is served: shown first
            data.statusText.clear();
            data.checkCount = 0;
            dlg.engine().setDialogData(data);
            dlg.gather();
            data = dlg.engine().data();
            gathered.push_back(data.statusText);
            counts.push_back(data.checkCount);
            shown.push_back(status->text());
            return ++rows < 3;
        });
    EXPECT_EQ(gathered, (std::vector<std::string>{"Row 0", "Row 1", "Row 2"}));
    EXPECT_EQ(counts, (std::vector<int>{100, 101, 102}));
    EXPECT_EQ(shown, (std::vector<QString>{before, QStringLiteral("Row 1"), QStringLiteral("Row 1")}));
    EXPECT_EQ(status->text(), "Row 2");
    EXPECT_EQ(checks->text(), "102");

    // Outside a slice the line shows at once.
    data.statusText = "Done.";
    dlg.engine().setDialogData(data);
    dlg.show();
    EXPECT_EQ(status->text(), "Done.");
    EXPECT_EQ(action->currentText(), "Sound");
    action->setEditText(QStringLiteral("Email"));
    dlg.show(); // the entry still says Sound
    EXPECT_EQ(action->currentText(), "Sound");
    dlg.OnDestroy();
}

// A pass sets the tray's state after every site: a state set again alike
// changes nothing, while any other state, or the offline mark, still shows.
TEST(PacedWindow, TrayStateSetAgainAlikeIsNoChange) {
    TrayIcon tray;
    std::vector<int> shown;
    QObject::connect(&tray, &TrayIcon::stateChanged, [&](int id, const QString&) { shown.push_back(id); });
    tray.add();
    for (int i = 0; i < 3; ++i)
        tray.showAlert();
    tray.showSlow();
    tray.showSlow();
    tray.setOffline(true);
    tray.showSlow();
    EXPECT_EQ(tray.tip(), "Vantrel: Offline");
    tray.remove();
    tray.add();
    EXPECT_EQ(shown, (std::vector<int>{TrayIcon::kAppIcon, TrayIcon::kAlertIcon, TrayIcon::kSlowIcon,
                                       TrayIcon::kSlowIcon, TrayIcon::kAppIcon}));
}

// After a pass over a long list, freed memory goes back a few times while
// the program rests; a short list's pass leaves it to the C library.
TEST(PacedWindow, MemoryGoesBackWhileTheProgramRestsAfterALongPass) {
    bool passing = false;
    MemoryRest rest([&] { return passing; });
    rest.passEnded(10);
    EXPECT_EQ(rest.pending(), 0);
    rest.passEnded(10000);
    EXPECT_EQ(rest.pending(), static_cast<int>(MemoryRest::kDelays.size()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rest.pending() == 2; }, 10000));
    // A give-back due while a pass runs waits for that pass's end: none is
    // left, where giving back would leave the later ones to come.
    passing = true;
    rest.passEnded(10000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return rest.pending() == 0; }, 10000));
}
