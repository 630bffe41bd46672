#include "app/PowerNetworkWatch.h"
#include "monitor/SiteMonitor.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/EngineSetup.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/FakeNetworkStatus.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/MemoryHistory.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/TempDir.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace vantrel;
using namespace vantrel::test;
namespace fs = std::filesystem;

namespace {

// logind's lock on sleep: each Inhibit hands out the writing end of a pipe
// whose reading end the test keeps, so it sees when the lock is let go.
class FakeLogind : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    int locks = 0;
    int readEnd = -1;
    ~FakeLogind() override {
        if (readEnd >= 0)
            ::close(readEnd);
    }
    // No writing end open any more: the lock was let go.
    bool released() const {
        pollfd p{readEnd, POLLIN, 0};
        return readEnd >= 0 && ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
    }

public slots:
    Q_SCRIPTABLE QDBusUnixFileDescriptor Inhibit(const QString& what, const QString&, const QString&,
                                                 const QString& mode) {
        int ends[2];
        if (what != "sleep" || mode != "delay" || ::pipe2(ends, O_CLOEXEC) != 0)
            return {};
        if (readEnd >= 0)
            ::close(readEnd);
        readEnd = ends[0];
        ++locks;
        QDBusUnixFileDescriptor lock(ends[1]); // a copy of its own
        ::close(ends[1]);
        return lock;
    }
};

} // namespace

// A fake logind and a fake NetworkManager on a private bus of the test's
// own: while awake the program holds a delay lock on sleep and lets it go
// once it is ready to sleep; no check runs while asleep; after the resume it
// takes the lock again and checks every site at once. A network that goes
// and comes back does the same, and both stretches are kept as not
// monitored. States in between change nothing.
TEST(PowerNetworkWatch, SleepAndNetworkHoldChecksAndTheirEndChecksAtOnce) {
    TempDir dir;
    const std::string socket = dir.path() + "/system_bus";
    const std::string address = "unix:path=" + socket;
    ChildProcess daemon({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address});
    ASSERT_TRUE(daemon.started());
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(socket); }, 10000));
    QDBusConnection system = QDBusConnection::connectToBus(QString::fromStdString(address), "fake-system");
    ASSERT_TRUE(system.isConnected());
    FakeLogind logind;
    ASSERT_TRUE(
        system.registerObject("/org/freedesktop/login1", &logind, QDBusConnection::ExportScriptableSlots));
    ASSERT_TRUE(system.registerService("org.freedesktop.login1"));
    ASSERT_TRUE(system.registerService("org.freedesktop.NetworkManager"));
    auto send = [&](const char* path, const char* interface, const char* name, const QVariant& value) {
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
        signal << value;
        ASSERT_TRUE(system.send(signal));
    };
    auto prepareForSleep = [&](bool start) {
        send("/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep", start);
    };
    auto networkState = [&](uint state) {
        send("/org/freedesktop/NetworkManager", "org.freedesktop.NetworkManager", "StateChanged", state);
    };

    HttpTestServer web;
    web.route("/up", HttpTestServer::ok("all well"));
    FakeMonitorView view;
    RecordingEventPump pump;
    FakeClock clock;
    FakeNetworkStatus network;
    vantrel::test::MemoryHistory history;
    SiteMonitor engine(view, MonitorServices{&pump, &clock, nullptr, nullptr, &network});
    view.engine = &engine;
    engine.setHistory(&history);
    engine.applyMonitorSetting();
    addSite(engine, SiteEntry{"Up", web.url("/up"), "well", "", "", "", "", "OK"});

    PowerNetworkWatch watch(engine,
                            QDBusConnection::connectToBus(QString::fromStdString(address), "engine-system"));
    ASSERT_TRUE(watch.listening());
    ASSERT_TRUE(QTest::qWaitFor([&] { return logind.locks == 1; }, 10000));
    EXPECT_FALSE(logind.released());

    prepareForSleep(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.asleep(); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return logind.released(); }, 10000));
    engine.onTimer();
    EXPECT_TRUE(history.checks.empty());

    clock.advance(600);
    prepareForSleep(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return history.checks.size() == 1u; }, 10000));
    EXPECT_FALSE(engine.asleep());
    EXPECT_EQ(history.gapTexts(), std::vector<std::string>{"asleep 599"});
    EXPECT_EQ(engine.sites().row(0).status, "OK");
    ASSERT_TRUE(QTest::qWaitFor([&] { return logind.locks == 2 && !logind.released(); }, 10000));

    networkState(40); // connecting: nothing yet
    networkState(20);
    networkState(30);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.networkGone(); }, 10000));
    clock.advance(120);
    networkState(70);
    ASSERT_TRUE(QTest::qWaitFor([&] { return history.checks.size() == 2u; }, 10000));
    EXPECT_EQ(history.gapTexts(), (std::vector<std::string>{"asleep 599", "offline 119"}));
    networkState(60); // still connected: no check
    QTest::qWait(200);
    EXPECT_EQ(history.checks.size(), 2u);
}

#include "SleepSignalTest.moc"
