#include "model/ExtraSettingsFile.h"
#include "model/SettingsFile.h"
#include "monitor/SiteMonitor.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using namespace vantrel;
using vantrel::test::TempDir;

TEST(ExtraSettingsFile, RoundTripsEverySettingWithCrLf) {
    ExtraSettings s;
    s.mailSecurity = MailSecurity::StartTls;
    s.mailUser = "jo@example.org";
    s.mailPasswordFile = "/home/jo/.vantrel-password";
    s.notifications = false;
    s.parallelFetches = 3;
    s.confirmAttempts = 2;
    s.offlineGuard = false;
    s.certWarnDays = 0;
    s.history = false;
    s.historyDays = 30;
    s.historyMaxMb = 64;
    s.metricsAddress = "127.0.0.1:9464";
    const std::string bytes = ExtraSettingsFile::serialize(s);
    EXPECT_EQ(bytes.rfind("CREATOR=Vantrel 1.0\r\nMAILSECURITY=starttls\r\nMAILUSER=jo@example.org\r\n", 0),
              0u);
    EXPECT_EQ(bytes.substr(bytes.size() - 4), "\r\n\r\n");
    ExtraSettings back;
    ExtraSettingsFile::parse(bytes, back);
    EXPECT_EQ(back, s);
}

TEST(ExtraSettingsFile, BadValuesAndUnknownKeysLeaveSettingsAsTheyWere) {
    ExtraSettings s;
    ExtraSettingsFile::parse("MAILSECURITY=ssl\nNOTIFICATIONS=maybe\nPARALLEL=lots\nCONFIRM=500\n"
                             "CERTWARNDAYS=-3\nHISTORYMAXMB=0\nYOURNAME=x\nOFFLINEGUARD=no",
                             s);
    EXPECT_EQ(s.mailSecurity, MailSecurity::None);
    EXPECT_TRUE(s.notifications);
    EXPECT_EQ(s.parallelFetches, 8);
    EXPECT_EQ(s.confirmAttempts, ExtraSettingsFile::kMaxConfirmAttempts);
    EXPECT_EQ(s.certWarnDays, 0);
    EXPECT_EQ(s.historyMaxMb, ExtraSettingsFile::kMinHistoryMb);
    EXPECT_TRUE(s.offlineGuard); // last line has no line end
}

// The extra file appears only once a setting in it leaves its default, and
// vantrel.ini stays exactly as it was without it.
TEST(ExtraSettingsFile, WrittenOnlyOnceAChangeNeedsIt) {
    TempDir dir;
    test::FakeMonitorView view;
    SiteMonitor monitor(view);
    monitor.loadSettings();
    ASSERT_TRUE(monitor.saveSettings());
    EXPECT_FALSE(TempDir::exists(ExtraSettingsFile::kFileName));
    const std::string ini = TempDir::readFile(SettingsFile::kFileName);

    monitor.extraSettings().confirmAttempts = 3;
    ASSERT_TRUE(monitor.saveSettings());
    EXPECT_EQ(TempDir::readFile(SettingsFile::kFileName), ini);
    EXPECT_NE(TempDir::readFile(ExtraSettingsFile::kFileName).find("\r\nCONFIRM=3\r\n"), std::string::npos);

    // Back to the default, the file is kept up to date rather than left stale.
    monitor.extraSettings().confirmAttempts = 1;
    ASSERT_TRUE(monitor.saveSettings());
    EXPECT_NE(TempDir::readFile(ExtraSettingsFile::kFileName).find("\r\nCONFIRM=1\r\n"), std::string::npos);

    SiteMonitor again(view);
    TempDir::writeFile(ExtraSettingsFile::kFileName, "PARALLEL=2\r\n");
    again.loadSettings();
    EXPECT_EQ(again.extraSettings().parallelFetches, 2);
}
