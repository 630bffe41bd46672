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
#include <span>
#include <string>
#include <vector>

using namespace vantrel;
using vantrel::test::byName;
using vantrel::test::HttpTestServer;
using vantrel::test::menuItem;
using vantrel::test::TempDir;

namespace {

using Step = std::function<void(CSiteMonitorDlg&)>;

// A way out of the program, and how a pass it may end was started.
struct WayOut {
    std::string name;
    Step pass;
    Step quit;
};

// Every way out: the menu, the tray and the Quit button, after a pass of the
// timer; and the button after a Check Now pass, which ends off the timer, so
// the end must not wait for the next tick.
const std::vector<WayOut>& waysOut() {
    static const Step timer = [](CSiteMonitorDlg& w) { w.OnTimer(); };
    static const Step quitButton = [](CSiteMonitorDlg& w) { byName<QPushButton>(w, "Quit")->click(); };
    static const std::vector<WayOut> ways = {
        {"File > Quit", timer, [](CSiteMonitorDlg& w) { menuItem(w, "&File", "&Quit")->trigger(); }},
        {"tray Quit", timer, [](CSiteMonitorDlg& w) { w.tray().quitAction()->trigger(); }},
        {"Quit button", timer, quitButton},
        {"Quit button, Check all now", [](CSiteMonitorDlg& w) { w.tray().checkAllAction()->trigger(); },
         quitButton},
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
    // No pass runs here: the last way differs from the one before only in its pass.
    for (const WayOut& way : std::span(waysOut()).first(waysOut().size() - 1)) {
        SCOPED_TRACE(way.name);
        TempDir dir;
        TempDir::writeFile("vantrel.ini", "MONITOR=no\r\n");
        bool quitRan = false;
        bool iconGone = false;
        runProgram(
            [&](CSiteMonitorDlg& w) {
                w.tray().showOn(); // an animation that removing the icon stops
                byName<QLineEdit>(w, "Site Name")->setText("Added");
                byName<QLineEdit>(w, "URL")->setText("http://added");
                byName<QComboBox>(w, "Action")->setEditText("Sound");
                byName<QPushButton>(w, "Add")->click();
                way.quit(w);
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
    for (const WayOut& way : waysOut()) {
        SCOPED_TRACE(way.name);
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
            [&](CSiteMonitorDlg& w) {
                // Asked once Good is checked, while the second download waits
                // for an answer that never comes.
                auto* poll = new QTimer(&w);
                QObject::connect(poll, &QTimer::timeout, &w, [&way, &w, poll] {
                    const SiteList& sites = w.engine().sites();
                    for (int i = 0; i < sites.rowCount(); ++i)
                        if (sites.row(i).title == "Good" && sites.row(i).status == "OK") {
                            poll->stop();
                            way.quit(w);
                        }
                });
                poll->start(20);
                const auto start = std::chrono::steady_clock::now();
                way.pass(w);
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
