#include "app/DesktopIntegration.h"
#include "app/SiteMonitorDlg.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TempDir.h"
#include "ui/TrayIcon.h"

#include <QDBusConnection>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

using namespace vantrel;
using vantrel::test::ChildProcess;
using vantrel::test::HttpTestServer;
using vantrel::test::TempDir;
namespace fs = std::filesystem;

namespace {

// The notifications the fake service recorded, one JSON object each.
std::vector<QJsonObject> recorded(const std::string& file) {
    std::vector<QJsonObject> calls;
    const QList<QByteArray> lines = QByteArray::fromStdString(TempDir::readFile(file)).split('\n');
    for (const QByteArray& line : lines)
        if (line.startsWith('{'))
            calls.push_back(QJsonDocument::fromJson(line).object());
    return calls;
}

// A private session bus, and the fake notification service on it unless
// `withService` is false.
struct PrivateBus {
    explicit PrivateBus(const TempDir& dir, bool withService)
        : address("unix:path=" + dir.path() + "/bus"), record(dir.path() + "/notifications.jsonl"),
          daemon({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address}) {
        ok = daemon.started() && QTest::qWaitFor([&] { return fs::exists(dir.path() + "/bus"); }, 10000);
        if (!ok || !withService)
            return;
        const std::string script = fs::path(VANTREL_APP_TEST_DIR) / "fake_notifications.py";
        service = std::make_unique<ChildProcess>(
            std::vector<std::string>{VANTREL_SYSTEM_PYTHON, script, address, record},
            dir.path() + "/service.log");
        ok = QTest::qWaitFor([&] { return TempDir::readFile(record).rfind("ready\n", 0) == 0; }, 15000);
    }
    QDBusConnection connect(const char* name) const {
        return QDBusConnection::connectToBus(QString::fromStdString(address), QString::fromLatin1(name));
    }
    std::string address, record;
    ChildProcess daemon;
    std::unique_ptr<ChildProcess> service;
    bool ok = false;
};

} // namespace

// A private session bus with a fake notification service on it; the real
// window runs real check passes against a loopback web server and announces
// what changed there.
TEST(DesktopNotifications, OnePerPassListingTheSitesThatChangedAndNoneWhenSwitchedOff) {
    TempDir dir;
    const std::string socket = dir.path() + "/bus";
    const std::string address = "unix:path=" + socket;
    ChildProcess daemon({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address});
    ASSERT_TRUE(daemon.started());
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(socket); }, 10000));
    const std::string record = dir.path() + "/notifications.jsonl";
    const std::string script = fs::path(VANTREL_APP_TEST_DIR) / "fake_notifications.py";
    ChildProcess service({VANTREL_SYSTEM_PYTHON, script, address, record}, dir.path() + "/service.log");
    ASSERT_TRUE(QTest::qWaitFor([&] { return TempDir::readFile(record).rfind("ready\n", 0) == 0; }, 15000))
        << TempDir::readFile(dir.path() + "/service.log");

    HttpTestServer web;
    web.route("/up", HttpTestServer::ok("<html>all well</html>"));
    TempDir::writeFile("vantrel.ini", "MONITOR=yes\r\nINTERVAL=60\r\n");
    CSiteMonitorDlg window;
    window.notifier() =
        DesktopNotifier(QDBusConnection::connectToBus(QString::fromStdString(address), "test"));
    window.OnInitDialog();
    window.checkTimer().stop();
    SiteMonitor& engine = window.engine();
    auto setSites = [&](const std::vector<SiteEntry>& rows) {
        engine.sites().clear();
        for (auto it = rows.rbegin(); it != rows.rend(); ++it)
            engine.sites().insertAtTop(*it);
    };
    SiteEntry shop{"Shop", "http://127.0.0.1:1/", "", "", "", "", "", "OK"};
    SiteEntry blog{"Blog", web.url("/up"), "", "", "", "", "", "OK"};
    SiteEntry wiki{"Wiki & Docs", "http://127.0.0.1:1/wiki", "", "", "", "", "", "New"};
    setSites({shop, blog, wiki});
    engine.runCheckPass();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorded(record).size() >= 1; }, 10000));
    std::vector<QJsonObject> calls = recorded(record);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]["app_name"].toString(), "Vantrel");
    EXPECT_EQ(calls[0]["summary"].toString(), "Vantrel: 2 sites failed");
    EXPECT_EQ(calls[0]["body"].toString().toStdString(),
              "Shop: 404 (http://127.0.0.1:1/)\nWiki &amp; Docs: 404 (http://127.0.0.1:1/wiki)");
    EXPECT_EQ(calls[0]["hints"].toObject()["urgency"].toInt(), 2);
    EXPECT_EQ(calls[0]["timeout"].toInt(), -1);
    // The icon travels as pixels: 48 x 48 RGBA rows, every byte of them.
    const QJsonArray image = calls[0]["hints"].toObject()["image-data"].toArray();
    ASSERT_EQ(image.size(), 8) << QJsonDocument(calls[0]).toJson().toStdString();
    EXPECT_EQ(image[0].toInt(), DesktopNotifier::kIconSize);
    EXPECT_EQ(image[1].toInt(), DesktopNotifier::kIconSize);
    EXPECT_EQ(image[2].toInt(), 4 * DesktopNotifier::kIconSize);
    EXPECT_TRUE(image[3].toBool());
    EXPECT_EQ(image[4].toInt(), 8);
    EXPECT_EQ(image[5].toInt(), 4);
    EXPECT_EQ(image[6].toInt(), 4 * DesktopNotifier::kIconSize * DesktopNotifier::kIconSize);
    EXPECT_EQ(image[7].toString(), "iiibiiay");

    // Shop comes back, the others stay as they are: one notification for it.
    SiteEntry back = engine.sites().row(0);
    back.url = web.url("/up");
    engine.sites().setRow(0, back);
    engine.runCheckPass();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorded(record).size() >= 2; }, 10000));
    calls = recorded(record);
    EXPECT_EQ(calls[1]["summary"].toString(), "Vantrel: Shop is back");
    EXPECT_EQ(calls[1]["hints"].toObject()["urgency"].toInt(), 1);

    // Switched off: a failure passes without a notification.
    engine.extraSettings().notifications = false;
    setSites({shop});
    engine.runCheckPass();
    QTest::qWait(500);
    EXPECT_EQ(recorded(record).size(), 2u);
    window.OnDestroy();
}

// The one alert sink decides: certificate warnings go to the notification
// service like site changes, nothing goes out while notifications are off,
// the tray's message stands in only where no service answers, and a failed
// save is said in the window's box.
TEST(DesktopNotifications, OneSinkForEveryAnnouncementWithTheTrayOnlyAsFallback) {
    TempDir dir;
    PrivateBus withService(dir, true);
    ASSERT_TRUE(withService.ok) << TempDir::readFile(dir.path() + "/service.log");
    vantrel::test::FakeMonitorView window;
    bool on = true;
    DesktopIntegration desktop(window, [&on] { return on; });
    desktop.notifier() = DesktopNotifier(withService.connect("sink"));
    QStringList inTray;
    QObject::connect(&desktop, &DesktopIntegration::shownInTray, [&](const QString& s) { inTray << s; });
    AlertSink& sink = desktop.alerts();

    sink.certificateEnding("Shop", "https://shop.test/", 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorded(withService.record).size() >= 1; }, 10000));
    EXPECT_EQ(recorded(withService.record)[0]["summary"].toString(), "Vantrel Certificate Warning");
    EXPECT_EQ(recorded(withService.record)[0]["body"].toString(),
              "Shop (https://shop.test/): the certificate ends in 1 day.");
    on = false;
    sink.siteChanges({{"Blog", "http://blog.test/", "404", false}});
    sink.certificateEnding("Shop", "https://shop.test/", 2);
    QTest::qWait(300);
    EXPECT_EQ(recorded(withService.record).size(), 1u);
    EXPECT_TRUE(inTray.isEmpty());

    // A bus with no notification service on it: the tray shows the message.
    TempDir other;
    PrivateBus withoutService(other, false);
    ASSERT_TRUE(withoutService.ok);
    on = true;
    desktop.notifier() = DesktopNotifier(withoutService.connect("bare"));
    sink.siteChanges({{"Blog", "http://blog.test/", "404", false}});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !inTray.isEmpty(); }, 10000));
    EXPECT_EQ(inTray, QStringList{"Vantrel: Blog failed"});

    // Mail and channel outcomes: a channel's success never clears a mail's failure.
    sink.mailResult(false, "14:05", "550 no such user");
    sink.alertResult(true, "14:06", "");
    EXPECT_EQ(desktop.alerts().failure(), "Mail failed 14:05: 550 no such user");
    EXPECT_EQ(desktop.tray().toolTip(), desktop.tray().tip() + "\nMail failed 14:05: 550 no such user");
    sink.saveFailed("Save to File", "Error Writing File");
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].caption, "Error Writing File");
}
