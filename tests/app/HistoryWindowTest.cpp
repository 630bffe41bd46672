#include "app/SiteMonitorDlg.h"
#include "history/SqliteCheckHistory.h"
#include "model/SystemClock.h"
#include "tests/app/ByName.h"
#include "tests/app/ModalAnswerer.h"
#include "tests/support/HeldHistoryWriter.h"
#include "tests/support/TempDir.h"
#include "ui/HistoryPanel.h"
#include "ui/SiteListModel.h"

#include <QAction>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace vantrel;
using namespace vantrel::test;

namespace {

const char* const kTwoSites =
    "CREATOR=Vantrel 1.0\r\n"
    "ST=Bottom\r\nURL=http://b.test/\r\nTESTSTRING=\r\nCREATE=01 Jan 2026\r\nCHECK=\r\n"
    "URLEMAIL=\r\nACTION=Sound\r\nSTATUS=New\r\n\r\n"
    "ST=Top\r\nURL=http://t.test/\r\nTESTSTRING=x\r\nCREATE=02 Jan 2026\r\nCHECK=\r\n"
    "URLEMAIL=\r\nACTION=URL\r\nSTATUS=OK\r\n";

// The File menu's Export History item `item`.
QAction* exportItem(QWidget& window, const QString& item) {
    for (QAction* popup : window.findChild<QMenuBar*>()->actions())
        if (popup->menu())
            for (QAction* a : popup->menu()->actions())
                if (a->menu() && a->text() == QStringLiteral("Export &History"))
                    for (QAction* sub : a->menu()->actions())
                        if (sub->text() == item)
                            return sub;
    return nullptr;
}

// Marks `row` and asks for its history, without waiting for the answer.
void markOnly(CSiteMonitorDlg& dlg, int row) {
    dlg.listView()->selectionModel()->setCurrentIndex(dlg.listView()->model()->index(row, 0),
                                                      QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    dlg.refreshHistory();
}

// Marks `row` and waits until its history shows: the panel's data comes
// from a thread of its own.
void mark(CSiteMonitorDlg& dlg, int row) {
    QSignalSpy shown(dlg.historyPanel(), &HistoryPanel::dataShown);
    markOnly(dlg, row);
    ASSERT_TRUE(shown.count() > 0 || shown.wait(10000));
}

// Four checks of Top in the last hours, the second one failed and the third
// one recovered; one of Bottom.
void recordChecks(std::time_t now) {
    SystemClock clock;
    SqliteCheckHistory h(SqliteCheckHistory::kFileName, 90, 1024LL << 20, clock);
    const int outcomes[] = {CheckRecord::kGood, CheckRecord::kNotFetched, CheckRecord::kGood,
                            CheckRecord::kGood};
    for (int i = 0; i < 4; ++i) {
        CheckRecord c;
        c.time = now - 3600 * (4 - i);
        c.url = "http://t.test/";
        c.title = "Top";
        c.outcome = outcomes[i];
        c.status = c.outcome == CheckRecord::kGood ? "OK" : "404";
        c.totalMs = c.outcome == CheckRecord::kGood ? 100 * (i + 1) : -1;
        h.recordCheck(c);
    }
    CheckRecord b;
    b.time = now - 60;
    b.url = "http://b.test/";
    b.title = "Bottom";
    b.status = "OK";
    b.outcome = CheckRecord::kGood;
    h.recordCheck(b);
}

} // namespace

// The history of the marked site below the list, the coloured Status marks,
// and File > Export History for one site and for all.
TEST(HistoryWindow, PanelShowsTheMarkedSiteAndExportWritesCsv) {
    TempDir dir;
    TempDir::writeFile("vantrel.dat", kTwoSites);
    recordChecks(SystemClock().now());
    CSiteMonitorDlg dlg;
    dlg.OnInitDialog();
    HistoryPanel* panel = dlg.historyPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->isHidden());
    EXPECT_EQ(panel->hintText(), HistoryPanel::kSelectSiteText);

    mark(dlg, 0);
    const QString figures = panel->figuresText();
    EXPECT_TRUE(figures.startsWith("History of Top\n")) << figures.toStdString();
    EXPECT_TRUE(figures.contains("Uptime 24 hours: 75.0 %")) << figures.toStdString();
    EXPECT_TRUE(figures.contains("Average response: 267 ms")) << figures.toStdString();
    EXPECT_TRUE(figures.contains("95th percentile: 400 ms")) << figures.toStdString();
    EXPECT_EQ(panel->incidentCount(), 1);
    EXPECT_EQ(panel->chartPoints(), 3);
    EXPECT_EQ(panel->chartFailures(), 1);
    for (const char* name : {"Incidents", "Chart Range", "Response Time Chart"})
        EXPECT_NE(byName<QWidget>(*panel, name), nullptr) << name;
    // Another range is read anew, the same way.
    QSignalSpy ranged(panel, &HistoryPanel::dataShown);
    panel->setRange(3);
    ASSERT_TRUE(ranged.wait(10000));
    EXPECT_EQ(panel->chartPoints(), 3);
    EXPECT_TRUE(byName<QWidget>(*panel, "Response Time Chart")
                    ->accessibleDescription()
                    .contains("Last 365 days: 4 checks, 1 failed"));

    // Status marks: "OK" has one, "New" none; the texts stay as they are.
    QAbstractItemModel* model = dlg.listView()->model();
    EXPECT_FALSE(
        model->index(0, SiteListModel::kStatusColumn).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_TRUE(
        model->index(1, SiteListModel::kStatusColumn).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(model->index(0, SiteListModel::kStatusColumn).data().toString(), "OK");
    EXPECT_EQ(model->columnCount(), 8);

    const std::string one = dir.path() + "/top.csv", all = dir.path() + "/all.csv";
    std::string target = one;
    dlg.chooseExportFile = [&target] { return QString::fromStdString(target); };
    ASSERT_NE(exportItem(dlg, "&Selected Site..."), nullptr);
    exportItem(dlg, "&Selected Site...")->trigger();
    // Written on the history reader's thread.
    ASSERT_TRUE(QTest::qWaitFor([&] { return TempDir::exists(one); }, 10000));
    const std::string csv = TempDir::readFile(one);
    EXPECT_EQ(csv.rfind("time,unix_time,title,url,status,", 0), 0u) << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 5);
    EXPECT_NE(csv.find(",Top,http://t.test/,404,"), std::string::npos) << csv;
    target = all;
    exportItem(dlg, "&All Sites...")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return TempDir::exists(all); }, 10000));
    const std::string allCsv = TempDir::readFile(all);
    EXPECT_EQ(std::count(allCsv.begin(), allCsv.end(), '\n'), 6);
    EXPECT_NE(allCsv.find(",Bottom,http://b.test/,OK,"), std::string::npos);
    // A file that cannot be written is told when the reader gives up.
    ModalAnswerer answerer;
    target = dir.path() + "/missing/all.csv";
    exportItem(dlg, "&All Sites...")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.seen().empty(); }, 10000));
    EXPECT_EQ(answerer.seen()[0].text, "Could not write the history file.");
    dlg.reject();
}

// A history file that is not a database: the window says so, export says
// so, and monitoring starts as always.
TEST(HistoryWindow, DamagedFileShowsHistoryUnavailable) {
    TempDir dir;
    TempDir::writeFile("vantrel.dat", kTwoSites);
    TempDir::writeFile(SqliteCheckHistory::kFileName, std::string(4096, '#'));
    ModalAnswerer answerer;
    CSiteMonitorDlg dlg;
    dlg.OnInitDialog();
    EXPECT_TRUE(dlg.checkTimer().isActive());
    mark(dlg, 0);
    EXPECT_TRUE(dlg.historyPanel()->figuresText().startsWith("History unavailable"))
        << dlg.historyPanel()->figuresText().toStdString();
    bool asked = false;
    dlg.chooseExportFile = [&asked] {
        asked = true;
        return QString();
    };
    exportItem(dlg, "&All Sites...")->trigger();
    EXPECT_FALSE(asked);
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].caption, "Export History");
    EXPECT_EQ(answerer.seen()[0].text, "History unavailable");
    dlg.reject();
    EXPECT_EQ(TempDir::readFile(SqliteCheckHistory::kFileName), std::string(4096, '#'));
}

// The history sits below the list in a pane the user can resize or fold
// away. The window remembers where the user left it; a user who never moves
// it gets no new line in vantrel-extra.ini.
TEST(HistoryWindow, PaneRemembersWhereTheUserLeftIt) {
    TempDir dir;
    TempDir::writeFile("vantrel.dat", kTwoSites);
    TempDir::writeFile("vantrel.ini", "MONITOR=no\r\n");
    TempDir::writeFile("vantrel-extra.ini", "NOTIFICATIONS=no\r\n");
    int defaultPane = 0;
    {
        CSiteMonitorDlg dlg;
        dlg.QDialog::show();
        dlg.OnInitDialog();
        auto* split = dlg.findChild<QSplitter*>();
        ASSERT_TRUE(split);
        EXPECT_EQ(split->widget(0), dlg.listView());
        EXPECT_EQ(split->widget(1), dlg.historyPanel());
        // The list shows six rows or so; the history takes the rest.
        const int rowHeight = dlg.listView()->verticalHeader()->defaultSectionSize();
        EXPECT_GE(split->sizes()[0], 6 * rowHeight);
        EXPECT_LT(split->sizes()[0], 9 * rowHeight);
        defaultPane = split->sizes()[1];
        EXPECT_GT(defaultPane, 0);
        dlg.OnDestroy();
    }
    EXPECT_EQ(TempDir::readFile("vantrel-extra.ini").find("HISTORYPANE"), std::string::npos);
    {
        CSiteMonitorDlg dlg;
        dlg.QDialog::show();
        dlg.OnInitDialog();
        auto* split = dlg.findChild<QSplitter*>();
        const int total = split->sizes()[0] + split->sizes()[1];
        split->setSizes({total - 40, 40});
        emit split->splitterMoved(total - 40, 1);
        dlg.OnDestroy();
    }
    EXPECT_NE(TempDir::readFile("vantrel-extra.ini").find("HISTORYPANE=40\r\n"), std::string::npos);
    {
        CSiteMonitorDlg dlg;
        dlg.QDialog::show();
        dlg.OnInitDialog();
        EXPECT_EQ(dlg.findChild<QSplitter*>()->sizes()[1], 40);
        dlg.OnDestroy();
    }
}

// While the history's writer holds its connection in a long transaction,
// the window asks for the marked site's history and stays free: its timers
// keep firing on time, and the answer comes by signal. Of rows marked in
// quick succession only the last one's history reaches the panel.
TEST(HistoryWindow, PanelNeverWaitsForTheWriterAndShowsTheLastRowOnly) {
    TempDir dir;
    TempDir::writeFile("vantrel.dat", kTwoSites);
    TempDir::writeFile("vantrel.ini", "MONITOR=no\r\n");
    recordChecks(SystemClock().now());
    CSiteMonitorDlg dlg;
    dlg.OnInitDialog();
    SqliteCheckHistory* writer = dlg.checkHistory();
    ASSERT_NE(writer, nullptr);
    HistoryPanel* panel = dlg.historyPanel();
    QSignalSpy shown(panel, &HistoryPanel::dataShown);
    {
        HeldHistoryWriter held(*writer);
        qint64 longestGap = 0;
        QElapsedTimer sinceTick;
        QTimer tick;
        tick.setInterval(10);
        QObject::connect(&tick, &QTimer::timeout,
                         [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
        sinceTick.start();
        tick.start();
        markOnly(dlg, 0);
        markOnly(dlg, 1);
        ASSERT_TRUE(shown.wait(10000));
        // An export waits for the writer on the reader's thread, not here.
        const std::string csv = dir.path() + "/bottom.csv";
        dlg.chooseExportFile = [&csv] { return QString::fromStdString(csv); };
        exportItem(dlg, "&Selected Site...")->trigger();
        QTest::qWait(300); // an overtaken answer would come in this while
        tick.stop();
        // 10 ms ticks, with room for a busy machine; a query on this thread
        // would wait 200 ms for the writer four times over, or for good.
        EXPECT_LT(longestGap, 600);
        EXPECT_EQ(shown.count(), 1);
        EXPECT_TRUE(panel->figuresText().startsWith("History of Bottom\n"))
            << panel->figuresText().toStdString();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return TempDir::exists(dir.path() + "/bottom.csv"); }, 10000));
    mark(dlg, 0);
    EXPECT_TRUE(panel->figuresText().contains("Uptime 24 hours: 75.0 %"))
        << panel->figuresText().toStdString();
    dlg.reject();
}
