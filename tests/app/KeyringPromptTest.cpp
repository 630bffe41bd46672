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
#include <gtest/gtest.h>

#include <filesystem>

// A program of its own: libsecret keeps the first session bus a process
// reaches, and this test needs a bus of its own with its own keyring.

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
            typeInto(p, "Mail User", "me");
            typeInto(p, "Mail Password", "open sesame");
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
