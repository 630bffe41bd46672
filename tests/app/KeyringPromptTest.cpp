#include "app/SiteMonitorDlg.h"
#include "tests/app/ByName.h"
#include "tests/app/ModalAnswerer.h"
#include "tests/app/ModalScript.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScopedEnvVar.h"
#include "tests/support/TempDir.h"
#include "ui/PreferencesDlg.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

// GLib names a struct member "signals", a word Qt defines.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

// A program of its own: libsecret keeps the first session bus a process
// reaches, and this test needs a bus of its own with its own keyring.

using namespace vantrel;
using vantrel::test::byName;
using vantrel::test::ChildProcess;
using vantrel::test::ModalAnswerer;
using vantrel::test::ModalScript;
using vantrel::test::ScopedEnvVar;
using vantrel::test::TempDir;
namespace fs = std::filesystem;

namespace {

struct OutliveTheBus {
    ~OutliveTheBus() {
        if (GDBusConnection* c = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
            g_dbus_connection_set_exit_on_close(c, FALSE);
            g_object_unref(c);
        }
    }
};

void openPreferences(CSiteMonitorDlg& window, std::function<void(CPreferencesDlg&)> act) {
    ModalScript<CPreferencesDlg> script(std::move(act));
    byName<QPushButton>(window, "Preferences")->click();
    EXPECT_TRUE(script.ran());
    EXPECT_FALSE(script.timedOut());
}

void type(CPreferencesDlg& p, const char* field, const QString& text) {
    QLineEdit* edit = byName<QLineEdit>(p, field);
    edit->clear();
    QTest::keyClicks(edit, text);
}

} // namespace

// A fresh keyring asks for its password before it stores anything. The
// stand-in on a private bus answers that prompt only after seven seconds,
// longer than the program waits for a keyring that does not answer at all:
// the prompt is the keyring working, so the password is stored and nothing is
// said.
TEST(MailKeyring, AKeyringPromptIsWaitedForAndNotTakenForAFailure) {
    {
        TempDir dir;
        const std::string socket = dir.path() + "/bus";
        const std::string address = "unix:path=" + socket;
        ScopedEnvVar bus("DBUS_SESSION_BUS_ADDRESS", address.c_str());
        ScopedEnvVar desktop("XDG_CURRENT_DESKTOP", "GNOME"); // the Secret Service, not another wallet
        ChildProcess daemon({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address});
        ASSERT_TRUE(daemon.started());
        ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(socket); }, 10000));
        const std::string record = dir.path() + "/keyring.jsonl";
        const std::string script = fs::path(VANTREL_APP_TEST_DIR) / "fake_secret_service.py";
        ChildProcess service({VANTREL_SYSTEM_PYTHON, script, address, record, "7"},
                             dir.path() + "/service.log");
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return TempDir::readFile(record).rfind("ready\n", 0) == 0; }, 15000))
            << TempDir::readFile(dir.path() + "/service.log");
        OutliveTheBus outlive;

        ModalAnswerer answerer;
        TempDir::writeFile("vantrel.ini", "MONITOR=no\r\nSMTPSERVER=mail.example.test\r\n");
        CSiteMonitorDlg window;
        window.OnInitDialog();
        openPreferences(window, [](CPreferencesDlg& p) {
            type(p, "Mail User", "me");
            type(p, "Mail Password", "open sesame");
            byName<QAbstractButton>(p, "OK")->click();
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.keyring().pending() == 0; }, 20000));
        const std::string events = TempDir::readFile(record);
        EXPECT_NE(events.find("prompt\n"), std::string::npos) << events;
        EXPECT_NE(events.find("stored me@mail.example.test open sesame\n"), std::string::npos) << events;
        EXPECT_TRUE(answerer.seen().empty()) << answerer.seen()[0].text;
        window.OnDestroy();
    }
}
