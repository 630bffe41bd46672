#include "app/SiteMonitorDlg.h"
#include "tests/app/ByName.h"
#include "tests/app/ModalAnswerer.h"
#include "tests/app/ModalScript.h"
#include "tests/app/PreferencesScript.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScopedEnvVar.h"
#include "tests/support/TempDir.h"
#include "ui/PreferencesDlg.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

#include <unistd.h>

using namespace vantrel;
using vantrel::test::byName;
using vantrel::test::ChildProcess;
using vantrel::test::ModalAnswerer;
using vantrel::test::ModalScript;
using vantrel::test::openPreferences;
using vantrel::test::OutliveTheBus;
using vantrel::test::ScopedEnvVar;
using vantrel::test::TempDir;
using vantrel::test::typeInto;
namespace fs = std::filesystem;

namespace {

// What `secret-tool lookup` prints for the entry QtKeychain keeps under
// `key`, or "<none>" when the keyring holds no such entry.
std::string lookUp(const std::string& dir, const std::string& key) {
    const std::string out = dir + "/lookup.out";
    ::unlink(out.c_str());
    if (!ChildProcess::run(
            {"sh", "-c", "exec secret-tool lookup server Vantrel user \"$0\" >\"$1\"", key, out},
            std::chrono::seconds(10)))
        return "<none>";
    const std::string password = TempDir::readFile(out);
    ::unlink(out.c_str()); // the folder's files are searched for the password
    return password;
}

} // namespace

// A private session bus with a real Secret Service (gnome-keyring, its login
// collection unlocked, its files in the test's folder): the password typed in
// Preferences goes to the keyring and to no file, a fresh window hands it to
// the engine at start-up, and a changed login moves the entry.
TEST(MailKeyring, PreferencesStoreThePasswordInTheKeyringAndAFreshWindowReadsItBack) {
    TempDir dir;
    const std::string socket = dir.path() + "/bus";
    const std::string address = "unix:path=" + socket;
    fs::create_directories(dir.path() + "/home");
    fs::create_directories(dir.path() + "/run");
    fs::permissions(dir.path() + "/run", fs::perms::owner_all);
    ScopedEnvVar home("HOME", (dir.path() + "/home").c_str());
    ScopedEnvVar runtime("XDG_RUNTIME_DIR", (dir.path() + "/run").c_str());
    ScopedEnvVar data("XDG_DATA_HOME", (dir.path() + "/home/.local/share").c_str());
    ScopedEnvVar config("XDG_CONFIG_HOME", (dir.path() + "/home/.config").c_str());
    ScopedEnvVar display("DISPLAY", nullptr); // no prompt may open anywhere
    ScopedEnvVar bus("DBUS_SESSION_BUS_ADDRESS", address.c_str());
    ChildProcess daemon({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address});
    ASSERT_TRUE(daemon.started());
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(socket); }, 10000));
    // The login collection is created, and unlocked, with the password read
    // from standard input; an empty one would make the daemon ask for one.
    const std::string keyringLog = dir.path() + "/keyring.log";
    ChildProcess keyring({"sh", "-c",
                          "printf vantrel-test | exec gnome-keyring-daemon --foreground --unlock "
                          "--components=secrets"},
                         keyringLog);
    ASSERT_TRUE(keyring.started());
    OutliveTheBus outlive;
    // Ready once an item can be stored: the service answering is not enough,
    // the login collection may still be locked for a moment after that.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return ChildProcess::run(
                {"sh", "-c", "printf probe | secret-tool store --label=probe vantrel-probe ready"},
                std::chrono::seconds(5));
        },
        20000))
        << TempDir::readFile(keyringLog);
    ChildProcess::run({"secret-tool", "clear", "vantrel-probe", "ready"}, std::chrono::seconds(5));

    ModalAnswerer answerer;
    TempDir::writeFile("vantrel.ini", "MONITOR=no\r\nSMTPSERVER=mail.example.test\r\n");
    {
        CSiteMonitorDlg window;
        window.OnInitDialog();
        openPreferences(window, [](CPreferencesDlg& p) {
            typeInto(p, "Mail User", "me");
            typeInto(p, "Mail Password", "open sesame");
            byName<QAbstractButton>(p, "OK")->click();
        });
        EXPECT_EQ(window.engine().mailPassword(), "open sesame");
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.keyring().pending() == 0; }, 10000));
        window.OnDestroy();
    }
    EXPECT_TRUE(answerer.seen().empty()) << answerer.seen()[0].text;
    EXPECT_EQ(lookUp(dir.path(), "me@mail.example.test"), "open sesame");
    ASSERT_TRUE(fs::exists("vantrel-extra.ini"));
    EXPECT_NE(TempDir::readFile("vantrel-extra.ini").find("MAILUSER=me\r\n"), std::string::npos);
    // In no file of the folder, the keyring's own (encrypted) files included.
    for (const auto& f : fs::recursive_directory_iterator(dir.path())) {
        if (f.is_regular_file()) {
            EXPECT_EQ(TempDir::readFile(f.path().string()).find("open sesame"), std::string::npos)
                << f.path();
        }
    }

    // A fresh window reads it at start-up; a new login moves the entry.
    {
        CSiteMonitorDlg window;
        window.OnInitDialog();
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.engine().mailPassword() == "open sesame"; }, 10000));
        openPreferences(window, [](CPreferencesDlg& p) {
            EXPECT_EQ(byName<QLineEdit>(p, "Mail Password")->text(), "open sesame");
            typeInto(p, "Mail User", "you");
            byName<QAbstractButton>(p, "OK")->click();
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.keyring().pending() == 0; }, 10000));
        window.OnDestroy();
    }
    EXPECT_TRUE(answerer.seen().empty());
    EXPECT_EQ(lookUp(dir.path(), "me@mail.example.test"), "<none>");
    EXPECT_EQ(lookUp(dir.path(), "you@mail.example.test"), "open sesame");
}

// A keyring that takes its time (it shows its own prompt) is waited for
// without a wait: Preferences returns at once, a pass due at that moment runs
// after it, not inside it, and a late "yes" says nothing. A keyring that
// answers "no" is told once the pass has ended, never in its middle.
TEST(MailKeyring, ASlowKeyringHoldsNoPassInsidePreferencesAndItsFailureWaitsForThePass) {
    TempDir dir;
    ModalAnswerer answerer;
    TempDir::writeFile("vantrel.ini", "MONITOR=no\r\nSMTPSERVER=mail.example.test\r\n");
    CSiteMonitorDlg window;
    std::vector<std::pair<MailKeyring::Operation, MailKeyring::Callback>> asked;
    window.keyring().setBackend([&](MailKeyring::Operation op, const QString&, const QString&,
                                    MailKeyring::Callback done) { asked.emplace_back(op, std::move(done)); });
    window.OnInitDialog();
    window.ToggleMonitor(); // monitoring on; the first pass is minutes away

    bool inPreferences = true;
    bool passInside = false;
    bool passAfter = false;
    bool boxDuringPass = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!window.engine().passRunning())
            return;
        (inPreferences ? passInside : passAfter) = true;
        // The keyring says no in the middle of the pass.
        if (!inPreferences && asked.size() == 1 && asked[0].second)
            std::exchange(asked[0].second, nullptr)(
                {MailKeyring::Status::NoKeyring, {}, QStringLiteral("the prompt was dismissed")});
        boxDuringPass = boxDuringPass || !answerer.seen().empty();
    });
    watch.start(5);
    openPreferences(window, [&](CPreferencesDlg& p) {
        typeInto(p, "Mail User", "me");
        typeInto(p, "Mail Password", "open sesame");
        window.checkTimer().start(0); // a pass is due as the dialog closes
        byName<QAbstractButton>(p, "OK")->click();
    });
    inPreferences = false;
    EXPECT_FALSE(passInside);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, MailKeyring::Operation::Write);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !answerer.seen().empty(); }, 15000));
    EXPECT_TRUE(passAfter);
    EXPECT_FALSE(boxDuringPass);
    ASSERT_FALSE(answerer.seen().empty());
    EXPECT_EQ(answerer.seen()[0].caption, "Mail Password");
    EXPECT_NE(answerer.seen()[0].text.find("(the prompt was dismissed)"), std::string::npos);
    EXPECT_EQ(window.engine().mailPassword(), "open sesame"); // used until the program ends
    window.checkTimer().stop();
    window.OnDestroy();
}
