#include "app/DesktopIntegration.h"
#include "app/SiteMonitorDlg.h"
#include "app/TriageWiring.h"
#include "model/DateText.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/EngineSetup.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TempDir.h"
#include "ui/SiteNotifications.h"
#include "ui/TrayIcon.h"

#include <QDBusConnection>
#include <QDBusMessage>
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

// A private session bus with a fake notification service on it (its do-not-
// disturb and action buttons driven by the test); the real window runs real
// checks against a loopback web server.
class NotificationService {
public:
    explicit NotificationService(TempDir& dir)
        : address_("unix:path=" + dir.path() + "/bus"), record_(dir.path() + "/notifications.jsonl"),
          daemon_({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address_}),
          service_({VANTREL_SYSTEM_PYTHON,
                    (fs::path(VANTREL_APP_TEST_DIR) / "fake_notifications.py").string(), address_, record_},
                   dir.path() + "/service.log") {}
    bool ready() {
        return daemon_.started() &&
               QTest::qWaitFor([&] { return TempDir::readFile(record_).rfind("ready\n", 0) == 0; }, 15000);
    }
    // Connections are kept by name for the process: each bus has names of its own.
    QDBusConnection bus(const char* name) {
        return QDBusConnection::connectToBus(QString::fromStdString(address_),
                                             QString::fromStdString(address_) + QLatin1String(name));
    }
    std::vector<QJsonObject> calls() const { return recorded(record_); }
    bool waitForCalls(std::size_t n) {
        return QTest::qWaitFor([&] { return calls().size() >= n; }, 10000);
    }
    void control(const char* method, const QVariantList& args) {
        QDBusMessage call =
            QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                           "org.vantrel.TestControl", QString::fromLatin1(method));
        call.setArguments(args);
        bus("control").call(call, QDBus::Block, 5000);
    }

private:
    std::string address_;
    std::string record_;
    ChildProcess daemon_;
    ChildProcess service_;
};

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

// One notification a site, critical when down and normal when back, the
// recovery replacing the failure's notification in place; none when off.
TEST(DesktopNotifications, OneASiteReplacedInPlaceAndNoneWhenSwitchedOff) {
    TempDir dir;
    NotificationService service(dir);
    ASSERT_TRUE(service.ready());
    HttpTestServer web;
    web.route("/up", HttpTestServer::ok("<html>all well</html>"));
    web.route("/shop", HttpTestServer::ok("<html>closed</html>"));
    TempDir::writeFile("vantrel.ini", "MONITOR=yes\r\nINTERVAL=60\r\n");
    CSiteMonitorDlg window;
    window.notifier() = DesktopNotifier(service.bus("app"));
    window.OnInitDialog();
    window.checkTimer().stop();
    SiteMonitor& engine = window.engine();
    SiteEntry shop{"Shop", web.url("/shop"), "Welcome", "", "", "", "", "OK"};
    SiteEntry blog{"Blog", web.url("/up"), "", "", "", "", "", "OK"};
    SiteEntry wiki{"Wiki & Docs", "http://127.0.0.1:1/wiki", "", "", "", "", "", "New"};
    test::setSites(engine, {shop, blog, wiki});
    engine.runCheckPass();
    ASSERT_TRUE(service.waitForCalls(2));
    std::vector<QJsonObject> calls = service.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0]["app_name"].toString(), "Vantrel");
    EXPECT_EQ(calls[0]["summary"].toString(), "Vantrel: Shop failed");
    EXPECT_EQ(calls[0]["body"].toString(),
              "text &quot;Welcome&quot; not found (" + QString::fromStdString(shop.url) + ")");
    EXPECT_EQ(calls[1]["summary"].toString(), "Vantrel: Wiki & Docs failed");
    EXPECT_EQ(calls[0]["replaces_id"].toInt(), 0);
    EXPECT_EQ(calls[0]["hints"].toObject()["urgency"].toInt(), 2);
    EXPECT_EQ(calls[0]["timeout"].toInt(), -1);
    EXPECT_EQ(calls[0]["actions"].toArray(),
              (QJsonArray{"open", "Open site", "check", "Check again", "snooze", "Snooze 1 h"}));
    // The icon travels as pixels: 48 x 48 RGBA rows, every byte of them.
    const QJsonArray image = calls[0]["hints"].toObject()["image-data"].toArray();
    ASSERT_EQ(image.size(), 8) << QJsonDocument(calls[0]).toJson().toStdString();
    EXPECT_EQ(image[0].toInt(), DesktopNotifier::kIconSize);
    EXPECT_EQ(image[2].toInt(), 4 * DesktopNotifier::kIconSize);
    EXPECT_EQ(image[6].toInt(), 4 * DesktopNotifier::kIconSize * DesktopNotifier::kIconSize);
    EXPECT_EQ(image[7].toString(), "iiibiiay");

    // Shop comes back: its own notification is replaced, at normal urgency,
    // and offers only to open the site.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window.siteNotifications().shownFor("Shop", shop.url).has_value(); }, 5000));
    web.route("/shop", HttpTestServer::ok("<html>Welcome</html>"));
    engine.runCheckPass();
    ASSERT_TRUE(service.waitForCalls(3));
    calls = service.calls();
    EXPECT_EQ(calls[2]["summary"].toString(), "Vantrel: Shop is back");
    EXPECT_EQ(calls[2]["replaces_id"].toInt(), calls[0]["id"].toInt());
    EXPECT_EQ(calls[2]["hints"].toObject()["urgency"].toInt(), 1);
    EXPECT_EQ(calls[2]["actions"].toArray(), (QJsonArray{"open", "Open site"}));

    // Switched off: a failure passes without a notification.
    test::editExtra(engine, [&](ExtraSettings& x) { x.notifications = false; });
    test::setSites(engine, {SiteEntry{"Down", "http://127.0.0.1:1/", "", "", "", "", "", "OK"}});
    engine.runCheckPass();
    QTest::qWait(500);
    EXPECT_EQ(service.calls().size(), 3u);
    window.OnDestroy();
}

// The buttons of a site's notification reach the real window: Open site
// opens its page, Check again checks it at once, Snooze 1 h snoozes it. With
// do-not-disturb on, failures wait and come as one summary when it ends.
TEST(DesktopNotifications, ActionsReachTheSiteAndDoNotDisturbHoldsThenSummarises) {
    TempDir dir;
    NotificationService service(dir);
    ASSERT_TRUE(service.ready());
    HttpTestServer web;
    web.route("/shop", HttpTestServer::ok("<html>closed</html>"));
    TempDir::writeFile("vantrel.ini", "MONITOR=yes\r\nINTERVAL=60\r\n");
    CSiteMonitorDlg window;
    window.notifier() = DesktopNotifier(service.bus("app"));
    QStringList opened;
    window.triageWiring().openUrl = [&](const QString& url) { opened << url; };
    window.OnInitDialog();
    window.checkTimer().stop();
    SiteMonitor& engine = window.engine();
    const std::string url = web.url("/shop");
    test::setSites(engine, {SiteEntry{"Shop", url, "Welcome", "", "", "", "", "OK"}});
    engine.runCheckPass();
    ASSERT_TRUE(service.waitForCalls(1));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window.siteNotifications().shownFor("Shop", url).has_value(); }, 5000));
    const uint id = *window.siteNotifications().shownFor("Shop", url);

    service.control("Invoke", {id, QStringLiteral("open")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); }, 5000));
    EXPECT_EQ(opened, QStringList{QString::fromStdString(url)});

    const std::size_t requests = web.requests().size();
    service.control("Invoke", {id, QStringLiteral("check")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return web.requests().size() > requests; }, 5000));

    const std::time_t before = window.clock().now();
    service.control("Invoke", {id, QStringLiteral("snooze")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine.sites().row(0).options.snooze.empty(); }, 5000));
    const std::time_t until = *DateText::parseDateTime(engine.sites().row(0).options.snooze);
    EXPECT_GE(until, before + 3600);
    EXPECT_LE(until, before + 3600 + 5);
    EXPECT_NE(TempDir::readFile("vantrel.dat").find("SNOOZE="), std::string::npos);

    // Do-not-disturb: two sites fail and nothing shows until it ends; then
    // one summary of both.
    service.control("SetInhibited", {true});
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.siteNotifications().inhibited(); }, 5000));
    test::setSites(engine, {SiteEntry{"A", "http://127.0.0.1:1/a", "", "", "", "", "", "OK"},
                            SiteEntry{"B", "http://127.0.0.1:1/b", "", "", "", "", "", "OK"}});
    engine.runCheckPass();
    QTest::qWait(500);
    EXPECT_EQ(service.calls().size(), 1u);
    service.control("SetInhibited", {false});
    ASSERT_TRUE(service.waitForCalls(2));
    QTest::qWait(300);
    const std::vector<QJsonObject> calls = service.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1]["summary"].toString(), "Vantrel: 2 sites failed");
    EXPECT_TRUE(calls[1]["actions"].toArray().isEmpty());
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
