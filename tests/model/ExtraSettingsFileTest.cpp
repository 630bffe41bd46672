#include "model/ExtraSettingsFile.h"
#include "model/SettingsFile.h"
#include "monitor/SiteMonitor.h"
#include "tests/support/EngineSetup.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <regex>

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
    s.historyKeepDays = 400;
    s.historyMaxMb = 64;
    s.metricsAddress = "127.0.0.1:9464";
    s.metricsTokenFile = "/etc/vantrel/token";
    s.historyPane = 0; // folded away
    const std::string bytes = ExtraSettingsFile::serialize(s);
    EXPECT_EQ(bytes.rfind("CREATOR=Vantrel 1.0\r\nMAILSECURITY=starttls\r\nMAILUSER=jo@example.org\r\n", 0),
              0u);
    EXPECT_EQ(bytes.substr(bytes.size() - 4), "\r\n\r\n");
    ExtraSettings back;
    ExtraSettingsFile::parse(bytes, back);
    EXPECT_EQ(back, s);
}

// The file as any editor may leave it reads the same: CR, LF or CR LF line
// ends, a UTF-8 byte order mark, blanks around "=", no end on the last line.
TEST(ExtraSettingsFile, ReadsWhatAnyEditorLeaves) {
    ExtraSettings expected;
    expected.mailSecurity = MailSecurity::Tls;
    expected.mailUser = "jo@example.org";
    expected.history = false;
    expected.parallelFetches = 3;
    for (const char* end : {"\r\n", "\n", "\r"}) {
        for (const std::string start : {"", "\xEF\xBB\xBF"}) {
            const std::string e = end;
            ExtraSettings s;
            const auto reading = ExtraSettingsFile::parse(
                start + "CREATOR=Vantrel 1.0" + e + "MAILSECURITY = tls" + e + "\tMAILUSER=jo@example.org " +
                    e + e + "HISTORY=no" + e + "PARALLEL=3",
                s);
            EXPECT_EQ(s, expected) << "line end " << int(end[0]) << ", BOM " << !start.empty();
            EXPECT_EQ(reading.lines, 5);
            EXPECT_TRUE(reading.problems.empty());
        }
    }
}

// A bad value keeps the key's default, is named once, and stays in the file
// as it was until the key gets another value; numbers are brought into
// range; keys of another version are kept.
TEST(ExtraSettingsFile, BadValuesKeepDefaultsAndTheFileKeepsThem) {
    ExtraSettings s;
    s.parallelFetches = 5;
    const auto reading =
        ExtraSettingsFile::parse("MAILSECURITY=ssl\nNOTIFICATIONS=maybe\nPARALLEL=lots\nCONFIRM=500\n"
                                 "CERTWARNDAYS=-3\nHISTORYMAXMB=0\nFUTUREKEY=x y\nPARALLEL=many\n"
                                 "OFFLINEGUARD=no",
                                 s);
    EXPECT_EQ(s.mailSecurity, MailSecurity::None);
    EXPECT_TRUE(s.notifications);
    EXPECT_EQ(s.parallelFetches, 8);
    EXPECT_EQ(s.confirmAttempts, ExtraSettingsFile::kMaxConfirmAttempts);
    EXPECT_EQ(s.certWarnDays, 0);
    EXPECT_EQ(s.historyMaxMb, ExtraSettingsFile::kMinHistoryMb);
    EXPECT_FALSE(s.offlineGuard);
    ASSERT_EQ(reading.problems.size(), 6u);
    EXPECT_EQ(reading.problems[0],
              "vantrel-extra.ini: MAILSECURITY=ssl is not none, starttls or tls; none is used "
              "for now.");
    EXPECT_EQ(reading.problems[2],
              "vantrel-extra.ini: PARALLEL=lots is not a whole number; 8 is used for now.");
    EXPECT_EQ(reading.problems[3], "vantrel-extra.ini: CONFIRM=500 is outside 1 to 10; 10 is used.");

    std::string bytes = ExtraSettingsFile::serialize(s);
    EXPECT_NE(bytes.find("\r\nMAILSECURITY=ssl\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\nPARALLEL=many\r\nCONFIRM=10\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\nQUIETMAIL=send\r\nWINDOWGEOMETRY=\r\nFUTUREKEY=x y\r\n\r\n"),
              std::string::npos);
    s.parallelFetches = 4;
    bytes = ExtraSettingsFile::serialize(s);
    EXPECT_NE(bytes.find("\r\nPARALLEL=4\r\n"), std::string::npos);
    EXPECT_EQ(bytes.find("many"), std::string::npos);
}

// A numbered family (CHANNEL1, CHANNEL1TOKENFILE, CHANNEL2, ...) in a table
// of its own: members are read by number and written grouped by number.
TEST(ExtraSettingsFile, NumberedFamiliesReadAndWriteByNumber) {
    SettingKey::Numbered channels, tokens;
    const std::vector<SettingKey> keys = {
        SettingKey::number("PARALLEL", &ExtraSettings::parallelFetches, 1, 64, "pages at once"),
        SettingKey::family(
            "CHANNEL", "", [&](ExtraSettings&) -> SettingKey::Numbered& { return channels; }, "a channel"),
        SettingKey::family(
            "CHANNEL", "TOKENFILE", [&](ExtraSettings&) -> SettingKey::Numbered& { return tokens; },
            "its token's file", SettingKey::Type::Path),
    };
    EXPECT_EQ(keys[2].pattern(), "CHANNELnTOKENFILE");
    ExtraSettings s;
    ExtraSettingsFile::parse(
        "CHANNEL2=ntfy http://b\nCHANNEL1TOKENFILE=/t\nCHANNEL1=ntfy http://a\nCHANNEL0=x\n"
        "CHANNEL01=y\nCHANNEL100=z\nCHANNELTOKENFILE=w\n",
        s, keys);
    EXPECT_EQ(channels, (SettingKey::Numbered{{1, "ntfy http://a"}, {2, "ntfy http://b"}}));
    EXPECT_EQ(tokens, (SettingKey::Numbered{{1, "/t"}}));
    EXPECT_EQ(
        ExtraSettingsFile::serialize(s, keys),
        "CREATOR=Vantrel 1.0\r\nPARALLEL=8\r\nCHANNEL1=ntfy http://a\r\nCHANNEL1TOKENFILE=/t\r\n"
        "CHANNEL2=ntfy http://b\r\nCHANNEL0=x\r\nCHANNEL01=y\r\nCHANNEL100=z\r\nCHANNELTOKENFILE=w\r\n\r\n");
}

// The manual's table of vantrel-extra.ini lists exactly the table's keys, in
// its order, with their defaults, and every number's range.
TEST(ExtraSettingsFile, ManualListsTheTable) {
    const std::string manual = TempDir::readFile(VANTREL_SOURCE_DIR "/docs/manual.html");
    const size_t section = manual.find("<h3 id=\"file-extra\">");
    ASSERT_NE(section, std::string::npos);
    const std::string table = manual.substr(section, manual.find("</table>", section) - section);
    auto plain = [](std::string html) { return std::regex_replace(html, std::regex("<[^>]*>"), ""); };
    std::vector<std::string> rows;
    const std::regex row("<tr><td>(.*?)</td><td>(.*?)</td><td>(.*?)</td></tr>");
    size_t i = 0;
    for (std::sregex_iterator it(table.begin(), table.end(), row), end; it != end; ++it, ++i) {
        ASSERT_LT(i, extraSettingKeys().size()) << "the manual lists more keys: " << (*it)[1];
        const SettingKey& key = extraSettingKeys()[i];
        EXPECT_EQ(plain((*it)[1]), key.pattern());
        const std::string def = key.defaultValue();
        EXPECT_EQ(plain((*it)[3]), def.empty() ? "empty" : def) << key.name();
        if (key.type() == SettingKey::Type::Number) {
            EXPECT_NE(plain((*it)[2]).find(key.rangeText()), std::string::npos) << key.name();
        }
        for (const std::string& choice : key.choices())
            EXPECT_NE(std::string((*it)[2]).find("<code>" + choice + "</code>"), std::string::npos)
                << key.name();
    }
    EXPECT_EQ(i, extraSettingKeys().size());
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

    test::editExtra(monitor, [&](ExtraSettings& x) { x.confirmAttempts = 3; });
    ASSERT_TRUE(monitor.saveSettings());
    EXPECT_EQ(TempDir::readFile(SettingsFile::kFileName), ini);
    EXPECT_NE(TempDir::readFile(ExtraSettingsFile::kFileName).find("\r\nCONFIRM=3\r\n"), std::string::npos);

    // Back to the default, the file is kept up to date rather than left stale.
    test::editExtra(monitor, [&](ExtraSettings& x) { x.confirmAttempts = 1; });
    ASSERT_TRUE(monitor.saveSettings());
    EXPECT_NE(TempDir::readFile(ExtraSettingsFile::kFileName).find("\r\nCONFIRM=1\r\n"), std::string::npos);

    SiteMonitor again(view);
    TempDir::writeFile(ExtraSettingsFile::kFileName, "PARALLEL=2\r\n");
    again.loadSettings();
    EXPECT_EQ(again.extraSettings().parallelFetches, 2);
}

// The window's place, kept at the end, changes that one key of the file as it
// is on disk: a hand edit made during the run stays, vantrel.ini is not
// written, and a file no one can read is not written over.
TEST(ExtraSettingsFile, TheWindowsPlaceChangesOnlyItsKey) {
    TempDir dir;
    test::FakeMonitorView view;
    SiteMonitor monitor(view);
    TempDir::writeFile(SettingsFile::kFileName, "MONITOR=no\n");
    monitor.loadSettings();
    ASSERT_TRUE(monitor.saveWindowPlacement("10,20,700,500"));
    EXPECT_EQ(TempDir::readFile(SettingsFile::kFileName), "MONITOR=no\n");
    EXPECT_NE(TempDir::readFile(ExtraSettingsFile::kFileName).find("\r\nWINDOWGEOMETRY=10,20,700,500\r\n"),
              std::string::npos);

    TempDir::writeFile(ExtraSettingsFile::kFileName, "PARALLEL=2\nMYKEY=kept\n"); // edited while it ran
    ASSERT_TRUE(monitor.saveWindowPlacement("30,40,800,600"));
    const std::string bytes = TempDir::readFile(ExtraSettingsFile::kFileName);
    EXPECT_NE(bytes.find("\r\nPARALLEL=2\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\nWINDOWGEOMETRY=30,40,800,600\r\nMYKEY=kept\r\n"), std::string::npos);
    EXPECT_EQ(monitor.extraSettings().parallelFetches, 8); // the run's own settings are not reread
    // The history pane's height the same way; at its default the key is left out.
    EXPECT_EQ(ExtraSettingsFile::serialize(ExtraSettings{}).find("HISTORYPANE"), std::string::npos);
    ASSERT_TRUE(monitor.saveHistoryPane(0));
    EXPECT_NE(TempDir::readFile(ExtraSettingsFile::kFileName).find("\r\nHISTORYPANE=0\r\n"),
              std::string::npos);
    EXPECT_NE(TempDir::readFile(ExtraSettingsFile::kFileName).find("\r\nWINDOWGEOMETRY=30,40,800,600\r\n"),
              std::string::npos);

    const std::string foreign("\xff\xfe\x01\x02 no lines here", 19);
    TempDir::writeFile(ExtraSettingsFile::kFileName, foreign);
    EXPECT_FALSE(monitor.saveWindowPlacement("1,2,700,500"));
    EXPECT_EQ(TempDir::readFile(ExtraSettingsFile::kFileName), foreign);
}
