#include "model/DateText.h"
#include "model/SettingsFile.h"
#include "model/SiteListFile.h"
#include "monitor/SiteMonitor.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vantrel;
using namespace vantrel::test;

namespace {

// A real three-site list whose line ends were turned into bare CRs.
std::string crOnlyList() {
    std::string text = "CREATOR=Vantrel 1.0\r";
    for (const char* site : {"Shop", "Blog", "Mail"})
        text += std::string("ST=") + site + "\rURL=http://" + site +
                ".example.org/\rTESTSTRING=Welcome\r"
                "CREATE=01 Dec 2026\rCHECK=08 Dec 2026 10:00:00\rURLEMAIL=\rACTION=Email\rSTATUS=OK\r";
    return text;
}

std::string randomBytes(size_t size) {
    std::mt19937 random(20261209);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xff);
    return bytes;
}

// The engine with the window in memory, started as the program starts.
class StartedEngine {
public:
    StartedEngine() {
        view.engine = &engine;
        engine.startUp();
    }

    FakeMonitorView view;
    RecordingEventPump pump;
    FakeClock clock;
    SiteMonitor engine{view, MonitorServices{&pump, &clock, nullptr, nullptr}};
};

std::string keptName(const char* file) {
    return std::string(file) + ".unreadable-" + DateText::fileStamp(FakeClock().now());
}

std::string notice(const char* file, const std::string& kept) {
    return std::string(file) + " could not be read and was kept as " + kept + ".";
}

std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

// A list with CR-only line ends, random bytes and one huge line without a
// line end all load as an empty list, as the reader's rules say; their bytes
// are kept beside them before the first save, the user is told once, and
// an earlier kept file is never written over.
TEST(UnreadableFile, ListsTheReaderCannotReadAreKeptAndToldOnce) {
    const std::vector<std::pair<const char*, std::string>> lists = {
        {"CR-only line ends", crOnlyList()},
        {"1 MiB of random bytes", randomBytes(1 << 20)},
        {"a 50 MB line without a line end", "ST=" + std::string(50'000'000, 'x')},
    };
    for (const auto& [what, bytes] : lists) {
        SCOPED_TRACE(what);
        TempDir dir;
        TempDir::writeFile(SettingsFile::kFileName, "MONITOR=no\r\n");
        TempDir::writeFile(SiteListFile::kFileName, bytes);
        const std::string kept = keptName(SiteListFile::kFileName);
        TempDir::writeFile(kept, "an earlier kept file");
        {
            StartedEngine run;
            EXPECT_EQ(run.engine.sites().rowCount(), 0);
            ASSERT_EQ(run.view.boxes.size(), 1u);
            EXPECT_EQ(run.view.boxes[0].text, notice(SiteListFile::kFileName, kept + "-2"));
            EXPECT_EQ(run.view.boxes[0].caption, "Unreadable File");
            EXPECT_TRUE(TempDir::readFile(kept + "-2") == bytes);
            EXPECT_TRUE(TempDir::readFile(SiteListFile::kFileName) == bytes); // untouched until it is saved
            EXPECT_TRUE(run.engine.saveSiteList());
            EXPECT_EQ(run.view.boxes.size(), 1u);
        }
        EXPECT_EQ(TempDir::readFile(SiteListFile::kFileName), "");
        EXPECT_EQ(TempDir::readFile(kept), "an earlier kept file");
        StartedEngine again;
        EXPECT_TRUE(again.view.boxes.empty());
        EXPECT_EQ(namesIn("."), (std::vector<std::string>{SiteListFile::kFileName, kept, kept + "-2",
                                                          SettingsFile::kFileName}));
    }
}

// A CR-only settings file gives no known key: it is kept before start-up
// rewrites it. A list whose every record lacks its URL gave no row either,
// so its titles are kept too.
TEST(UnreadableFile, SettingsWithoutAKnownKeyAreKeptBeforeStartUpRewritesThem) {
    TempDir dir;
    const std::string settings = "CREATOR=Vantrel 1.0\rYOURNAME=Ann\rMONITOR=no\r\r";
    const std::string list = "ST=Only a title\r\nURL=\r\n";
    TempDir::writeFile(SettingsFile::kFileName, settings);
    TempDir::writeFile(SiteListFile::kFileName, list);
    StartedEngine run;
    ASSERT_EQ(run.view.boxes.size(), 2u);
    EXPECT_EQ(run.view.boxes[0].text, notice(SettingsFile::kFileName, keptName(SettingsFile::kFileName)));
    EXPECT_EQ(run.view.boxes[1].text, notice(SiteListFile::kFileName, keptName(SiteListFile::kFileName)));
    EXPECT_EQ(TempDir::readFile(keptName(SettingsFile::kFileName)), settings);
    EXPECT_EQ(TempDir::readFile(keptName(SiteListFile::kFileName)), list);
    EXPECT_NE(TempDir::readFile(SettingsFile::kFileName).find("\r\nMONITOR=yes\r\n"), std::string::npos);
}

// Where no copy can be made (the folder takes no new files), the unreadable
// file is never written: each save of it is refused with the save message.
TEST(UnreadableFile, AFileThatCannotBeKeptIsNeverWritten) {
    TempDir dir;
    ::mkdir("ro", 0700);
    ASSERT_EQ(::chdir("ro"), 0);
    TempDir::writeFile(SettingsFile::kFileName, "MONITOR=no\r\n");
    TempDir::writeFile(SiteListFile::kFileName, crOnlyList());
    ::chmod(".", 0555);
    {
        StartedEngine run;
        ASSERT_EQ(run.view.boxes.size(), 0u);
        EXPECT_FALSE(run.engine.saveSiteList());
        ASSERT_EQ(run.view.boxes.size(), 1u);
        EXPECT_EQ(run.view.boxes[0].text, "Save to File");
        EXPECT_EQ(run.view.boxes[0].caption, "Error Writing File");
        // The readable settings file is written in place.
        EXPECT_NE(TempDir::readFile(SettingsFile::kFileName).find("TOOLTIPS=yes"), std::string::npos);
    }
    EXPECT_EQ(TempDir::readFile(SiteListFile::kFileName), crOnlyList());
    EXPECT_EQ(namesIn("."), (std::vector<std::string>{SiteListFile::kFileName, SettingsFile::kFileName}));
    ::chmod(".", 0700);
    ASSERT_EQ(::chdir(".."), 0);
}

// A list that holds bytes but may not be read (write permission only) loads
// as an empty list and is never written over with it. The super-user, who
// may read anything, runs the engine as an ordinary user in a child.
TEST(UnreadableFile, AListNoOneMayReadIsNeverWritten) {
    TempDir dir;
    TempDir::writeFile(SettingsFile::kFileName, "MONITOR=no\r\n");
    TempDir::writeFile(SiteListFile::kFileName, crOnlyList() + "\n");
    ::chmod(SiteListFile::kFileName, 0200);
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0) {
        for (const std::string& name :
             {dir.path(), std::string(SettingsFile::kFileName), std::string(SiteListFile::kFileName)})
            ASSERT_EQ(::chown(name.c_str(), kNobody, kNobody), 0);
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(10);
        StartedEngine run;
        const bool refused = !run.engine.saveSiteList() && run.view.boxes.size() == 1 &&
                             run.view.boxes[0].text == "Save to File";
        ::_exit(run.engine.sites().rowCount() == 0 && refused ? 0 : 11);
    }
    int status = -1;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    EXPECT_EQ(TempDir::readFile(SiteListFile::kFileName), crOnlyList() + "\n");
}

// FIFOs in place of both files neither hold the start (no writer ever comes)
// nor give a message; the list is empty and each save is refused.
TEST(UnreadableFile, FifosInPlaceOfTheFilesAreRefusedAtOnce) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(SettingsFile::kFileName, 0600), 0);
    ASSERT_EQ(::mkfifo(SiteListFile::kFileName, 0600), 0);
    auto started = std::async(std::launch::async, [] {
        StartedEngine run;
        std::vector<std::string> texts;
        for (const auto& box : run.view.boxes)
            texts.push_back(box.caption + ": " + box.text);
        run.engine.saveSiteList();
        for (size_t i = texts.size(); i < run.view.boxes.size(); ++i)
            texts.push_back(run.view.boxes[i].caption + ": " + run.view.boxes[i].text);
        return std::make_pair(run.engine.sites().rowCount(), texts);
    });
    if (started.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "start-up waits on a FIFO";
        for (const char* name : {SettingsFile::kFileName, SiteListFile::kFileName})
            ::close(::open(name, O_WRONLY | O_NONBLOCK)); // a writer lets a waiting reader go
    }
    const auto [rows, texts] = started.get();
    EXPECT_EQ(rows, 0);
    // Start-up's settings save and the list save.
    EXPECT_EQ(texts, (std::vector<std::string>{"Error Writing File: Save to File",
                                               "Error Writing File: Save to File"}));
}

// vantrel-extra.ini as it was found damaged: CR-only line ends are read as
// they are; UTF-16 with a byte order mark and random bytes are kept aside
// before start-up rewrites the file, and the user is told which settings are
// at their defaults now. A bad value is named on standard error, once.
TEST(UnreadableFile, ExtraSettingsAreReadLenientlyOrKeptAside) {
    const std::string settings =
        "CREATOR=Vantrel 1.0\nMAILSECURITY=tls\nMAILUSER=jo@example.org\nHISTORY=no\n"
        "PARALLEL=3\nMETRICS=127.0.0.1:9464\n";
    std::string crOnly = settings;
    std::replace(crOnly.begin(), crOnly.end(), '\n', '\r');
    std::string utf16 = "\xFF\xFE";
    for (char c : settings)
        utf16 += std::string{c, '\0'};
    const char* extra = "vantrel-extra.ini";
    {
        TempDir dir;
        TempDir::writeFile(SettingsFile::kFileName, "MONITOR=no\r\n");
        TempDir::writeFile(extra, crOnly + "PARALLEL=lots\rCONFIRM=lots");
        testing::internal::CaptureStderr();
        StartedEngine run;
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(run.view.boxes.empty());
        const ExtraSettings& x = run.engine.extraSettings();
        EXPECT_EQ(x.mailSecurity, MailSecurity::Tls);
        EXPECT_EQ(x.mailUser, "jo@example.org");
        EXPECT_FALSE(x.history);
        EXPECT_EQ(x.parallelFetches, 8);
        EXPECT_EQ(x.metricsAddress, "127.0.0.1:9464");
        EXPECT_EQ(log, "vantrel-extra.ini: PARALLEL=lots is not a whole number; 8 is used for now.\n"
                       "vantrel-extra.ini: CONFIRM=lots is not a whole number; 1 is used for now.\n");
        EXPECT_NE(TempDir::readFile(extra).find("\r\nMAILSECURITY=tls\r\nMAILUSER=jo@example.org\r\n"),
                  std::string::npos);
    }
    for (const auto& [what, bytes, lost] :
         {std::tuple<const char*, std::string, std::string>{
              "UTF-16", utf16,
              "These settings are at their defaults until you set them again: MAILSECURITY, "
              "MAILUSER, PARALLEL, HISTORY, METRICS."},
          {"random bytes", randomBytes(4096),
           "Every setting of this file is at its default until you set it again."}}) {
        SCOPED_TRACE(what);
        TempDir dir;
        TempDir::writeFile(SettingsFile::kFileName, "MONITOR=no\r\n");
        TempDir::writeFile(extra, bytes);
        StartedEngine run;
        EXPECT_EQ(run.engine.extraSettings(), ExtraSettings{});
        ASSERT_EQ(run.view.boxes.size(), 1u);
        EXPECT_EQ(run.view.boxes[0].text, notice(extra, keptName(extra)) + " " + lost);
        EXPECT_TRUE(TempDir::readFile(keptName(extra)) == bytes);
    }
}
