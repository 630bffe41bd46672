#include "app/SiteMonitorDlg.h"
#include "platform/XdgAutostart.h"
#include "tests/app/ByName.h"
#include "tests/app/ModalAnswerer.h"
#include "tests/app/ModalScript.h"
#include "tests/support/ScopedEnvVar.h"
#include "tests/support/TempDir.h"
#include "ui/PreferencesDlg.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

using namespace vantrel;
using vantrel::test::byName;
using vantrel::test::ModalAnswerer;
using vantrel::test::ModalScript;
using vantrel::test::ScopedEnvVar;
using vantrel::test::TempDir;
namespace fs = std::filesystem;

namespace {

class PreferencesTest : public ::testing::Test {
protected:
    void start(const std::string& ini) {
        TempDir::writeFile("vantrel.ini", "MONITOR=no\r\n" + ini);
        window.OnInitDialog();
        ::unlink("vantrel.ini"); // each close of the dialog writes it again
    }
    // Opens Preferences with the main window's button and acts on it.
    void withPreferences(std::function<void(CPreferencesDlg&)> act) {
        ModalScript<CPreferencesDlg> script(std::move(act));
        byName<QPushButton>(window, "Preferences")->click();
        EXPECT_TRUE(script.ran());
        EXPECT_FALSE(script.timedOut());
    }
    static void type(CPreferencesDlg& p, const char* field, const QString& text) {
        QLineEdit* edit = byName<QLineEdit>(p, field);
        if (!edit)
            edit = byName<QComboBox>(p, field)->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    static void click(CPreferencesDlg& p, const char* name) { byName<QAbstractButton>(p, name)->click(); }
    static void escape(CPreferencesDlg& p) { QTest::keyClick(&p, Qt::Key_Escape); }
    static std::string iniLine(const std::string& key) {
        const std::string ini = TempDir::readFile("vantrel.ini");
        const size_t at = ini.find("\r\n" + key + "=");
        return at == std::string::npos ? "<missing>" : ini.substr(at + 2, ini.find("\r\n", at + 2) - at - 2);
    }

    TempDir dir;
    CSiteMonitorDlg window;
};

} // namespace

TEST_F(PreferencesTest, TemplateControlsInTabOrderWithNames) {
    start("");
    withPreferences([](CPreferencesDlg& p) {
        EXPECT_EQ(p.windowTitle(), "Preferences");
        // Tab order as listed in the template: edits and boxes first, then the buttons.
        const char* const tabOrder[] = {
            "Your Name",    "Your Email",      "Interval",           "Notify",
            "Email 1",      "Email 2",         "SMTP Server",        "Log File",
            "Error Sound",  "Tool Tips",       "Add to Startup",     "Test Email 1",
            "Test Email 2", "Browse Log File", "Browse Error Sound", "OK"};
        QWidget* w = byName<QWidget>(p, tabOrder[0]);
        for (const char* expected : tabOrder) {
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(w->accessibleName(), expected);
            do
                w = w->nextInFocusChain();
            while (w != &p && (!w->isVisibleTo(&p) || !(w->focusPolicy() & Qt::TabFocus) ||
                               w->accessibleName().isEmpty()));
        }
        // Every label names a control, but for the line that tells how a Test ended.
        for (QLabel* label : p.findChildren<QLabel*>()) {
            if (label->accessibleName() != "Test Result") {
                EXPECT_NE(label->buddy(), nullptr) << label->text().toStdString();
            }
        }
        EXPECT_FALSE(byName<QCheckBox>(p, "Email on Every Error")->isVisibleTo(&p));
        EXPECT_EQ(byName<QComboBox>(p, "Notify")->itemText(0), "Every Check");
        EXPECT_EQ(byName<QComboBox>(p, "Interval")->count(), 7);
        EXPECT_EQ(byName<QComboBox>(p, "Interval")->itemText(6), "60");
        escape(p);
    });
}

TEST_F(PreferencesTest, EscAtOnceKeepsTextsButRewritesTheFileWithPlainSwitches) {
    start("YOURNAME=Me\r\nINTERVAL=1\r\nNOTIFY=weekly\r\nTOOLTIPS=on\r\nEVERYERROR=Yes\r\nLOGFILE=a.log\r\n");
    withPreferences([](CPreferencesDlg& p) {
        // Shown by the combo rules: 1 selects "10"; no choice begins with "weekly".
        EXPECT_EQ(byName<QComboBox>(p, "Interval")->currentText(), "10");
        EXPECT_EQ(byName<QComboBox>(p, "Notify")->currentText(), "weekly");
        EXPECT_EQ(byName<QLineEdit>(p, "Your Name")->text(), "Me");
        EXPECT_FALSE(byName<QCheckBox>(p, "Tool Tips")->isChecked());
        type(p, "Your Name", "Typed"); // Esc without a button drops this
        escape(p);
    });
    EXPECT_EQ(iniLine("YOURNAME"), "YOURNAME=Me");
    EXPECT_EQ(iniLine("INTERVAL"), "INTERVAL=1");
    EXPECT_EQ(iniLine("NOTIFY"), "NOTIFY=weekly");
    EXPECT_EQ(iniLine("LOGFILE"), "LOGFILE=a.log");
    EXPECT_EQ(iniLine("TOOLTIPS"), "TOOLTIPS=no");
    EXPECT_EQ(iniLine("EVERYERROR"), "EVERYERROR=no");
    EXPECT_EQ(window.engine().settings().addToStartup, "no");
    EXPECT_TRUE(byName<QLineEdit>(window, "Site Name")->toolTip().isEmpty());
}

TEST_F(PreferencesTest, OkGathersEveryControl) {
    start("INTERVAL=1\r\nNOTIFY=weekly\r\nEVERYERROR=yes\r\nTOOLTIPS=no\r\n");
    withPreferences([](CPreferencesDlg& p) {
        EXPECT_TRUE(byName<QCheckBox>(p, "Email on Every Error")->isChecked());
        type(p, "SMTP Server", "mail.example");
        type(p, "Email 2", "two@example");
        byName<QCheckBox>(p, "Tool Tips")->click();
        click(p, "OK");
    });
    EXPECT_EQ(iniLine("INTERVAL"), "INTERVAL=10");
    EXPECT_EQ(iniLine("NOTIFY"), "NOTIFY=weekly");
    EXPECT_EQ(iniLine("EVERYERROR"), "EVERYERROR=yes"); // passes through the hidden box
    EXPECT_EQ(iniLine("SMTPSERVER"), "SMTPSERVER=mail.example");
    EXPECT_EQ(iniLine("EMAIL2"), "EMAIL2=two@example");
    EXPECT_EQ(iniLine("TOOLTIPS"), "TOOLTIPS=yes");
    EXPECT_FALSE(byName<QLineEdit>(window, "Site Name")->toolTip().isEmpty());

    withPreferences([](CPreferencesDlg& p) {
        type(p, "Interval", "7");
        type(p, "Notify", "On");
        click(p, "OK");
    });
    EXPECT_EQ(iniLine("INTERVAL"), "INTERVAL=7");
    EXPECT_EQ(iniLine("NOTIFY"), "NOTIFY=On");
}

TEST_F(PreferencesTest, TestButtonsCheckAddressThenServerAndGather) {
    start("EMAIL1=one@example\r\n");
    ModalAnswerer answerer;
    withPreferences([](CPreferencesDlg& p) {
        type(p, "SMTP Server", "typed.example");
        click(p, "Test Email 2"); // Email 2 empty, although Email 1 is filled
        type(p, "Email 2", "two@example");
        type(p, "SMTP Server", "");
        click(p, "Test Email 2");
        escape(p); // after a button the gathered values stay
    });
    ASSERT_EQ(answerer.seen().size(), 2u);
    EXPECT_EQ(answerer.seen()[0].caption, "Error");
    EXPECT_EQ(answerer.seen()[0].text, "Please enter an email address in field 2 to test.");
    EXPECT_EQ(answerer.seen()[1].text, "Please enter an SMTP server to test.");
    EXPECT_EQ(iniLine("EMAIL2"), "EMAIL2=two@example");

    withPreferences([](CPreferencesDlg& p) {
        type(p, "Email 1", "");
        type(p, "SMTP Server", "typed.example");
        click(p, "Test Email 1");
        escape(p);
    });
    ASSERT_EQ(answerer.seen().size(), 3u);
    EXPECT_EQ(answerer.seen()[2].text, "Please enter an email address in field 1 to test.");
    EXPECT_EQ(iniLine("SMTPSERVER"), "SMTPSERVER=typed.example");
}

TEST_F(PreferencesTest, BrowseFillsTheFieldAndKeepsTheCurrentDirectory) {
    start("LOGFILE=old.log\r\n");
    const fs::path cwd = fs::current_path();
    std::vector<QString> filters;
    withPreferences([&](CPreferencesDlg& p) {
        QString answer = "/elsewhere/new.log";
        p.chooseFile = [&](const CPreferencesDlg::FileRequest& r) {
            filters.push_back(r.filter);
            fs::current_path("/"); // a file dialog may move the current directory
            return std::exchange(answer, QString());
        };
        type(p, "Your Name", "Typed");
        click(p, "Browse Log File");
        EXPECT_EQ(byName<QLineEdit>(p, "Log File")->text(), "/elsewhere/new.log");
        EXPECT_EQ(fs::current_path(), cwd);
        click(p, "Browse Error Sound"); // cancelled: the field keeps its text
        EXPECT_EQ(byName<QLineEdit>(p, "Error Sound")->text(), "");
        escape(p);
    });
    EXPECT_EQ(filters,
              (std::vector<QString>{"Log Files (*.log);;All Files (*)", "WAV Files (*.wav);;All Files (*)"}));
    EXPECT_EQ(iniLine("LOGFILE"), "LOGFILE=/elsewhere/new.log");
    EXPECT_EQ(iniLine("YOURNAME"), "YOURNAME=Typed"); // gathered by the button
}

TEST_F(PreferencesTest, TheRealFileDialogFillsTheFieldAndWritesNothingInTheHomeFolder) {
    // Qt's file dialog would keep its last folder in ~/.config/QtProject.conf.
    const std::string home = dir.path() + "/home";
    fs::create_directories(home);
    ScopedEnvVar homeVar("HOME", home.c_str());
    ScopedEnvVar xdg("XDG_CONFIG_HOME", (home + "/.config").c_str());
    start("");
    const std::string picked = (fs::current_path() / "picked.log").string();
    withPreferences([&](CPreferencesDlg& p) {
        ModalScript<QFileDialog> pick([&](QFileDialog& d) {
            d.selectFile(QString::fromStdString(picked));
            QMetaObject::invokeMethod(&d, "accept"); // what the Open button does
        });
        click(p, "Browse Log File");
        EXPECT_TRUE(pick.ran());
        EXPECT_EQ(byName<QLineEdit>(p, "Log File")->text().toStdString(), picked);
        escape(p);
    });
    EXPECT_TRUE(fs::is_empty(home)) << fs::directory_iterator(home)->path();
}

TEST_F(PreferencesTest, AddToStartupWritesAndRemovesTheAutostartEntryAtOnce) {
    const std::string config = dir.path() + "/config";
    ScopedEnvVar xdg("XDG_CONFIG_HOME", config.c_str());
    start("");
    const std::string entry = config + "/autostart/vantrel.desktop";
    withPreferences([&](CPreferencesDlg& p) {
        byName<QCheckBox>(p, "Add to Startup")->click();
        EXPECT_EQ(TempDir::readFile(entry),
                  XdgAutostart::desktopEntry(XdgAutostart::currentExecutable(), fs::current_path().string()));
        escape(p); // does not undo the entry
    });
    EXPECT_TRUE(fs::exists(entry));
    EXPECT_EQ(window.engine().settings().addToStartup, "yes");

    withPreferences([&](CPreferencesDlg& p) {
        QCheckBox* box = byName<QCheckBox>(p, "Add to Startup");
        EXPECT_TRUE(box->isChecked());
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
        EXPECT_FALSE(fs::exists(entry));
        click(p, "OK");
    });
    EXPECT_EQ(window.engine().settings().addToStartup, "no");

    // A screen reader toggles the box through its accessible action, which
    // changes the state without any click.
    withPreferences([&](CPreferencesDlg& p) {
        QAccessibleInterface* a11y =
            QAccessible::queryAccessibleInterface(byName<QCheckBox>(p, "Add to Startup"));
        ASSERT_TRUE(a11y && a11y->actionInterface());
        a11y->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        EXPECT_TRUE(fs::exists(entry));
        a11y->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        EXPECT_FALSE(fs::exists(entry));
        escape(p);
    });

    TempDir::writeFile("blocker", "a file where the config folder should be");
    xdg.set((dir.path() + "/blocker").c_str());
    ModalAnswerer answerer;
    withPreferences([&](CPreferencesDlg& p) {
        byName<QCheckBox>(p, "Add to Startup")->click();
        EXPECT_FALSE(byName<QCheckBox>(p, "Add to Startup")->isChecked());
        escape(p);
    });
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].caption, "Error");
    EXPECT_EQ(answerer.seen()[0].text, "Unable to add program to start menu.");
    EXPECT_EQ(window.engine().settings().addToStartup, "no");
}

TEST_F(PreferencesTest, AdvancedTabHoldsEverySettingOfTheExtraFileAndNeverThePassword) {
    start("");
    ModalAnswerer answerer;
    withPreferences([](CPreferencesDlg& p) {
        // The defaults, shown.
        EXPECT_EQ(byName<QComboBox>(p, "Mail Security")->currentText(), "None");
        EXPECT_TRUE(byName<QCheckBox>(p, "Desktop Notifications")->isChecked());
        EXPECT_EQ(byName<QSpinBox>(p, "Pages at Once")->value(), 8);
        EXPECT_EQ(byName<QSpinBox>(p, "History Size")->value(), 1024);
        EXPECT_EQ(byName<QLineEdit>(p, "Mail Password")->echoMode(), QLineEdit::Password);
        // Every control of the second tab is named and explains itself.
        QWidget* page = byName<QLineEdit>(p, "Mail User")->parentWidget();
        int controls = 0;
        for (QWidget* w : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (qobject_cast<QLabel*>(w) || w->accessibleName() == "Browse Password File")
                continue;
            ++controls;
            EXPECT_FALSE(w->accessibleName().isEmpty());
            EXPECT_FALSE(w->toolTip().isEmpty()) << w->accessibleName().toStdString();
        }
        EXPECT_EQ(controls, 13);
        byName<QComboBox>(p, "Mail Security")->setCurrentIndex(1);
        type(p, "Mail User", "me@example.test");
        type(p, "Mail Password", "pass word");
        type(p, "Password File", "secret/pw");
        byName<QCheckBox>(p, "Desktop Notifications")->click();
        byName<QSpinBox>(p, "Pages at Once")->setValue(4);
        byName<QSpinBox>(p, "Attempts to Fail")->setValue(3);
        byName<QSpinBox>(p, "Certificate Warning")->setValue(0);
        byName<QCheckBox>(p, "Offline Guard")->click();
        byName<QCheckBox>(p, "Keep History")->click();
        byName<QSpinBox>(p, "History Days")->setValue(30);
        byName<QSpinBox>(p, "History Size")->setValue(64);
        type(p, "Metrics Address", "127.0.0.1:9100");
        click(p, "OK");
    });
    EXPECT_EQ(
        TempDir::readFile("vantrel-extra.ini"),
        "CREATOR=Vantrel 1.0\r\nMAILSECURITY=starttls\r\nMAILUSER=me@example.test\r\n"
        "MAILPASSWORDFILE=secret/pw\r\nNOTIFICATIONS=no\r\nPARALLEL=4\r\nCONFIRM=3\r\n"
        "OFFLINEGUARD=no\r\nCERTWARNDAYS=0\r\nHISTORY=no\r\nHISTORYDAYS=30\r\nHISTORYKEEPDAYS=730\r\n"
        "HISTORYMAXMB=64\r\nMETRICS=127.0.0.1:9100\r\nMETRICSTOKENFILE=\r\nREMINDEVERY=0\r\nREMINDMAX=12\r\n"
        "MAILEXPLAIN=no\r\nSNOOZEALL=\r\nQUIETHOURS=\r\nQUIETMAIL=send\r\nWINDOWGEOMETRY=\r\n\r\n");
    EXPECT_EQ(iniLine("SMTPSERVER"), "SMTPSERVER="); // vantrel.ini keeps its keys
    EXPECT_EQ(window.engine().mailPassword(), "pass word");
    for (const auto& f : fs::directory_iterator(fs::current_path())) {
        if (f.is_regular_file()) {
            EXPECT_EQ(TempDir::readFile(f.path().filename().string()).find("pass word"), std::string::npos)
                << f.path();
        }
    }
    // No keyring answers here, but a password file is named: nothing to say.
    EXPECT_TRUE(answerer.seen().empty());

    // Shown again as stored, the password as the engine holds it. Without a
    // password file the user is told the password lasts for this run only.
    withPreferences([](CPreferencesDlg& p) {
        EXPECT_EQ(byName<QComboBox>(p, "Mail Security")->currentText(), "STARTTLS");
        EXPECT_EQ(byName<QLineEdit>(p, "Mail Password")->text(), "pass word");
        EXPECT_EQ(byName<QSpinBox>(p, "History Days")->value(), 30);
        type(p, "Password File", "");
        type(p, "Mail Password", "new word");
        click(p, "OK");
    });
    EXPECT_EQ(window.engine().mailPassword(), "new word");
    // The keyring's answer comes when it comes; the dialog did not wait for it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !answerer.seen().empty(); }, 10000));
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].caption, "Mail Password");
    EXPECT_NE(answerer.seen()[0].text.find("until it ends"), std::string::npos) << answerer.seen()[0].text;
}

TEST_F(PreferencesTest, WithoutAKeyringThePasswordComesFromAPrivateFileOnly) {
    TempDir::writeFile("vantrel-extra.ini", "MAILUSER=me\r\nMAILPASSWORDFILE=pw\r\n");
    TempDir::writeFile("pw", "from the file\n");
    ::chmod("pw", 0644);
    ModalAnswerer answerer;
    start("");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.seen().empty(); }, 15000));
    EXPECT_EQ(answerer.seen()[0].caption, "Mail Password");
    EXPECT_NE(answerer.seen()[0].text.find("can be read by other users"), std::string::npos);
    EXPECT_EQ(window.engine().mailPassword(), "");
    window.loadMailPassword(); // said once a run
    QTest::qWait(200);

    ::chmod("pw", 0600);
    window.loadMailPassword();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.engine().mailPassword().empty(); }, 15000));
    EXPECT_EQ(window.engine().mailPassword(), "from the file");
    EXPECT_EQ(answerer.seen().size(), 1u);
}
