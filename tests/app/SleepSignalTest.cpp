#include "app/LogindSleepSignal.h"
#include "monitor/SiteMonitor.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/FakeNetworkStatus.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/TempDir.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

using namespace vantrel;
using namespace vantrel::test;
namespace fs = std::filesystem;

namespace {

// What the engine keeps of the time it did not monitor.
class GapHistory : public CheckHistory {
public:
    std::vector<std::string> gaps;
    int checks = 0;
    void recordCheck(const CheckRecord&) override { ++checks; }
    void recordAlert(const AlertRecord&) override {}
    void recordUnmonitored(std::time_t from, std::time_t to, const std::string& reason) override {
        gaps.push_back(reason + " " + std::to_string(to - from));
    }
    bool available() const override { return true; }
    std::string problem() const override { return {}; }
    SiteSummary summary(const std::string&, const std::string&, std::time_t, int) override { return {}; }
    std::vector<SeriesPoint> series(const std::string&, const std::string&, std::time_t,
                                    std::time_t) override {
        return {};
    }
    bool exportChecks(const std::string&, const std::string&,
                      const std::function<void(const CheckRecord&)>&) override {
        return true;
    }
};

} // namespace

// A fake logind on a private bus of the test's own says the machine sleeps,
// then that it resumed: no check while asleep, every site checked right
// after the resume, and the time asleep kept as not monitored.
TEST(LogindSleepSignal, SleepHoldsChecksAndResumeChecksAtOnce) {
    TempDir dir;
    const std::string socket = dir.path() + "/system_bus";
    const std::string address = "unix:path=" + socket;
    ChildProcess daemon({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address});
    ASSERT_TRUE(daemon.started());
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(socket); }, 10000));
    QDBusConnection logind = QDBusConnection::connectToBus(QString::fromStdString(address), "fake-logind");
    ASSERT_TRUE(logind.isConnected());
    ASSERT_TRUE(logind.registerService("org.freedesktop.login1"));
    auto prepareForSleep = [&](bool start) {
        QDBusMessage signal = QDBusMessage::createSignal("/org/freedesktop/login1",
                                                         "org.freedesktop.login1.Manager", "PrepareForSleep");
        signal << start;
        ASSERT_TRUE(logind.send(signal));
    };

    HttpTestServer web;
    web.route("/up", HttpTestServer::ok("all well"));
    FakeMonitorView view;
    RecordingEventPump pump;
    FakeClock clock;
    FakeNetworkStatus network;
    GapHistory history;
    SiteMonitor engine(view, MonitorServices{&pump, &clock, nullptr, nullptr, &network});
    view.data = &engine.data();
    engine.setHistory(&history);
    engine.applyMonitorSetting();
    engine.sites().insertAtTop(SiteEntry{"Up", web.url("/up"), "well", "", "", "", "", "OK"});

    LogindSleepSignal listener(
        engine, QDBusConnection::connectToBus(QString::fromStdString(address), "engine-system"));
    ASSERT_TRUE(listener.listening());

    prepareForSleep(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.asleep(); }, 10000));
    engine.onTimer();
    EXPECT_EQ(history.checks, 0);

    clock.advance(600);
    prepareForSleep(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return history.checks == 1; }, 10000));
    EXPECT_FALSE(engine.asleep());
    EXPECT_EQ(history.gaps, std::vector<std::string>{"asleep 600"});
    EXPECT_EQ(engine.sites().row(0).status, "OK");
}
