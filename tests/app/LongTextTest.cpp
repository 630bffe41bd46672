#include "app/SiteMonitorDlg.h"
#include "model/SiteListFile.h"
#include "tests/app/ByName.h"
#include "tests/app/ModalScript.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TempDir.h"
#include "ui/PreferencesDlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace vantrel;
using vantrel::test::byName;
using vantrel::test::HttpTestServer;
using vantrel::test::ModalScript;
using vantrel::test::TempDir;

namespace {

// Longer than the 32,767 characters a line edit keeps by default.
constexpr size_t kLong = 40000;

std::string longText(const std::string& start, char fill) {
    return start + std::string(kLong - start.size(), fill);
}

std::string record(const SiteEntry& e) {
    return "ST=" + e.title + "\r\nURL=" + e.url + "\r\nTESTSTRING=" + e.testString +
           "\r\nCREATE=" + e.createDate + "\r\nCHECK=\r\nURLEMAIL=" + e.errorUrl +
           "\r\nACTION=\r\nSTATUS=New\r\n";
}

} // namespace

// Two sites whose title, URL, test string and error URL are 40,000
// characters each go through a check pass of the real window, which shows
// and gathers every row through the entry boxes, and a File > Save: nothing
// is cut. The page holds the first site's whole test string but only the
// first 32,767 characters of the second's, so a cut test string would pass.
TEST(LongText, FieldsOfAnyLengthSurviveACheckPassAndASave) {
    TempDir dir;
    HttpTestServer server;
    const std::string target = longText("/long?q=", 'q');
    const std::string found = longText("found:", 'f');
    const std::string cut = longText("cut:", 'c');
    server.route(target, HttpTestServer::ok("<html>" + found + " " + cut.substr(0, 32767) + "</html>"));
    SiteEntry top, bottom;
    top.title = longText("Top ", 't');
    bottom.title = longText("Bottom ", 'b');
    top.url = bottom.url = server.url(target);
    top.testString = found;
    bottom.testString = cut;
    top.errorUrl = longText("http://127.0.0.1:1/top?", 'e');
    bottom.errorUrl = longText("http://127.0.0.1:1/bottom?", 'e');
    top.createDate = bottom.createDate = "01 Dec 2026";
    ASSERT_GT(top.url.size(), kLong);
    TempDir::writeFile("vantrel.ini", "MONITOR=yes\r\n");
    TempDir::writeFile("vantrel.dat", record(bottom) + record(top));

    CSiteMonitorDlg window;
    window.OnInitDialog();
    window.engine().runCheckPass();

    const SiteList& sites = window.engine().sites();
    ASSERT_EQ(sites.rowCount(), 2);
    EXPECT_EQ(sites.row(0).status, "OK");
    EXPECT_EQ(sites.row(1).status, "Bad - Test String text Not Found");
    for (const auto& [row, want] : {std::pair{0, top}, std::pair{1, bottom}}) {
        const SiteEntry& got = sites.row(row);
        EXPECT_TRUE(got.title == want.title) << "row " << row << " title " << got.title.size();
        EXPECT_TRUE(got.url == want.url) << "row " << row << " url " << got.url.size();
        EXPECT_TRUE(got.testString == want.testString)
            << "row " << row << " test string " << got.testString.size();
        EXPECT_TRUE(got.errorUrl == want.errorUrl) << "row " << row << " error URL " << got.errorUrl.size();
    }
    const std::vector<std::string> requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].substr(0, 4 + target.size() + 1), "GET " + target + " ");
    const std::string log = TempDir::readFile("vantrel.log");
    EXPECT_NE(log.find(server.url(target) + " OK"), std::string::npos) << log.size() << " bytes of log";

    window.OnFileSave();
    SiteEntry work;
    const std::vector<SiteEntry> saved = SiteListFile::parse(TempDir::readFile("vantrel.dat"), work);
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_TRUE(saved[1].title == top.title && saved[1].url == top.url &&
                saved[1].testString == top.testString && saved[1].errorUrl == top.errorUrl);
    EXPECT_TRUE(saved[0].title == bottom.title && saved[0].testString == bottom.testString);

    // A long text typed or pasted into a box is kept whole too.
    QLineEdit* name = byName<QLineEdit>(window, "Site Name");
    name->setText(QString::fromStdString(longText("typed ", 'y')));
    EXPECT_EQ(name->text().size(), static_cast<qsizetype>(kLong));
    QComboBox* action = byName<QComboBox>(window, "Action");
    action->setEditText(QString::fromStdString(longText("Sound ", 's')));
    EXPECT_EQ(action->currentText().size(), static_cast<qsizetype>(kLong));
}

// Every field of Preferences keeps a 40,000-character text from the file
// through the dialog, and one put into each box on the way.
TEST(LongText, PreferencesFieldsOfAnyLengthSurviveTheDialog) {
    TempDir dir;
    const std::string name = longText("Ann ", 'n');
    TempDir::writeFile("vantrel.ini", "MONITOR=no\r\nYOURNAME=" + name + "\r\n");
    CSiteMonitorDlg window;
    window.OnInitDialog();
    const char* const fields[] = {"Your Email", "Email 1",     "Email 2",  "SMTP Server",
                                  "Log File",   "Error Sound", "Interval", "Notify"};
    ModalScript<CPreferencesDlg> script([&](CPreferencesDlg& p) {
        for (const char* field : fields) {
            QLineEdit* edit = byName<QLineEdit>(p, field);
            if (!edit)
                edit = byName<QComboBox>(p, field)->lineEdit();
            edit->setText(QString::fromStdString(longText(std::string(field) + " ", 'x')));
        }
        byName<QPushButton>(p, "OK")->click();
    });
    byName<QPushButton>(window, "Preferences")->click();
    ASSERT_TRUE(script.ran());
    const Settings& s = window.engine().settings();
    EXPECT_TRUE(s.yourName == name) << s.yourName.size();
    for (const std::string* value : {&s.yourEmail, &s.email1, &s.email2, &s.smtpServer, &s.logFile,
                                     &s.errorSound, &s.interval, &s.notify})
        EXPECT_EQ(value->size(), kLong);
    EXPECT_NE(TempDir::readFile("vantrel.ini").find("\r\nYOURNAME=" + name + "\r\n"), std::string::npos);
}
