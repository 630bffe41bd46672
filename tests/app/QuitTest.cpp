#include "app/SiteMonitorApp.h"
#include "app/SiteMonitorDlg.h"
#include "tests/app/ByName.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TempDir.h"
#include "ui/TrayIcon.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

using namespace vantrel;
using vantrel::test::byName;
using vantrel::test::HttpTestServer;
using vantrel::test::menuItem;
using vantrel::test::TempDir;

namespace {

using Quit = std::function<void(CSiteMonitorDlg&)>;

// Every way out of the program: the menu, the tray and the Quit button.
const std::map<std::string, Quit>& waysOut() {
    static const std::map<std::string, Quit> ways = {
        {"File > Quit", [](CSiteMonitorDlg& w) { menuItem(w, "&File", "&Quit")->trigger(); }},
        {"tray Quit", [](CSiteMonitorDlg& w) { w.tray().quitAction()->trigger(); }},
        {"Quit button", [](CSiteMonitorDlg& w) { byName<QPushButton>(w, "Quit")->click(); }},
    };
    return ways;
}

// Runs the whole program in the current folder with `act` called on its
// window once the event loop runs. The program must end by itself with
// status 0 within `limitMs`; one that does not is ended with 1 so the test
// fails instead of hanging.
void runProgram(const std::function<void(CSiteMonitorDlg&)>& act, int limitMs) {
    QTimer::singleShot(0, [&] {
        CSiteMonitorDlg* w = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<CSiteMonitorDlg*>(top))
                w = d;
        ASSERT_NE(w, nullptr);
        act(*w);
    });
    bool overdue = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        overdue = true;
        QApplication::exit(1);
    });
    watchdog.start(limitMs);

    CSiteMonitorApp app;
    EXPECT_EQ(app.InitInstance(true), 0);
    EXPECT_FALSE(overdue);
}

} // namespace

// Quitting in every way runs the whole program and ends it the normal way:
// the site added since the last save is in the file at the next start, the
// tray icon is gone and the status is 0.
TEST(Quit, EveryWayOutSavesTheListRemovesTheIconAndEndsWithStatusZero) {
    for (const auto& [way, quit] : waysOut()) {
        SCOPED_TRACE(way);
        TempDir dir;
        TempDir::writeFile("vantrel.ini", "MONITOR=no\r\n");
        bool quitRan = false;
        bool iconGone = false;
        runProgram(
            [&, &quit = quit](CSiteMonitorDlg& w) {
                w.tray().showOn(); // an animation that removing the icon stops
                byName<QLineEdit>(w, "Site Name")->setText("Added");
                byName<QLineEdit>(w, "URL")->setText("http://added");
                byName<QComboBox>(w, "Action")->setEditText("Sound");
                byName<QPushButton>(w, "Add")->click();
                quit(w);
                quitRan = true;
                iconGone = !w.tray().animating() && !w.isVisible();
            },
            15000);
        EXPECT_TRUE(quitRan);
        EXPECT_TRUE(iconGone);

        CSiteMonitorDlg next;
        next.OnInitDialog();
        ASSERT_EQ(next.listView()->model()->rowCount(), 1);
        EXPECT_EQ(next.listView()->model()->index(0, 0).data().toString(), "Added");
    }
}

TEST(Quit, DuringAPassTheDownloadStopsAndTheResultsReachedAreSaved) {
    for (const auto& [way, quit] : waysOut()) {
        SCOPED_TRACE(way);
        TempDir dir;
        HttpTestServer web;
        web.route("/good", HttpTestServer::ok("Welcome"));
        web.route("/hang", HttpTestServer::silent());
        TempDir::writeFile("vantrel.ini", "MONITOR=yes\r\n");
        const auto record = [](const char* title, const std::string& url, const char* status) {
            return std::string("ST=") + title + "\r\nURL=" + url +
                   "\r\nTESTSTRING=Welcome\r\nCREATE=01 Jan 2026\r\n" +
                   "CHECK=\r\nURLEMAIL=\r\nACTION=Sound\r\nSTATUS=" + status + "\r\n";
        };
        // File order is bottom row first: "Good" is checked first, then "Hang".
        TempDir::writeFile("vantrel.dat", "CREATOR=Vantrel 1.0\r\n" + record("Hang", web.url("/hang"), "OK") +
                                              "\r\n" + record("Good", web.url("/good"), "New"));
        std::chrono::steady_clock::duration passTook{};
        runProgram(
            [&, &quit = quit](CSiteMonitorDlg& w) {
                // Asked while the second download waits for an answer that never comes.
                QTimer::singleShot(2800, &w, [&quit, &w] { quit(w); });
                const auto start = std::chrono::steady_clock::now();
                w.OnTimer();
                passTook = std::chrono::steady_clock::now() - start;
            },
            20000);
        EXPECT_LT(passTook, std::chrono::seconds(10)); // the download's own limit is 30 s
        const std::string saved = TempDir::readFile("vantrel.dat");
        EXPECT_NE(saved.find("ST=Good\r\nURL=" + web.url("/good") + "\r\nTESTSTRING=Welcome\r\n"),
                  std::string::npos);
        EXPECT_NE(saved.find("STATUS=OK\r\n"), std::string::npos);
        EXPECT_NE(saved.find(record("Hang", web.url("/hang"), "OK")), std::string::npos) << saved;
        EXPECT_EQ(saved.find("STATUS=New"), std::string::npos) << saved;
        const std::string log = TempDir::readFile("vantrel.log");
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
        EXPECT_EQ(log.find("/hang"), std::string::npos) << log;
    }
}
