#include "model/DataFile.h"
#include "model/SettingsFile.h"
#include "model/SiteListFile.h"
#include "monitor/SiteMonitor.h"
#include "tests/support/EngineSetup.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/RecordingEventPump.h"
#include "tests/support/SampleSites.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <poll.h>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utime.h>

using namespace vantrel;
using namespace vantrel::test;

namespace {

constexpr int kSites = 10000;

// The engine with the window in memory, holding `sites` rows whose status
// and check date carry `generation`.
class SavingEngine {
public:
    explicit SavingEngine(int sites, const std::string& generation) {
        view.engine = &engine;
        std::vector<SiteEntry> rows = sampleSites(sites, generation);
        addSites(engine, rows);
    }

    std::string bytes() const { return SiteListFile::serialize(engine.sites()); }

    FakeMonitorView view;
    RecordingEventPump pump;
    FakeClock clock;
    SiteMonitor engine{view, MonitorServices{&pump, &clock, nullptr, nullptr}};
};

// The temporary files saves killed before their end left behind.
std::vector<std::string> leftovers() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(".")) {
        const std::string name = e.path().filename().string();
        if (name.starts_with("." + std::string(SiteListFile::kFileName) + "."))
            names.push_back(name);
    }
    return names;
}

// Runs `check` in a forked child and returns what it reports ("" when all
// was well). The child writes its report into a pipe and ends at once.
template <typename Check> std::string inChild(Check check) {
    int fds[2];
    if (::pipe(fds) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const std::string report = check();
        [[maybe_unused]] ssize_t n = ::write(fds[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string report;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        report.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        report += " child ended abnormally (status " + std::to_string(status) + ")";
    return report;
}

TEST(CrashSafeSave, KilledAtRandomMomentsTheFileIsAlwaysTheOldOrTheNewOne) {
    TempDir dir;
    SavingEngine oldList(kSites, "old");
    SavingEngine newList(kSites, "new");
    const std::string oldBytes = oldList.bytes();
    const std::string newBytes = newList.bytes();
    ASSERT_NE(oldBytes, newBytes);

    // The child tells of the start of its first save and of the end of each
    // one through a pipe. Each kill comes after 0, 1 or 2 finished saves, at
    // a random point of the save that follows, so it falls into a save of
    // the new file or of the old one, anywhere from its start to its end.
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> finished(0, 2);
    std::uniform_real_distribution<double> within(0.0, 1.0);
    std::chrono::duration<double, std::micro> oneSave(50000); // until the first is measured
    int sawOld = 0, sawNew = 0;
    for (int kill = 1; kill <= 100; ++kill) {
        int news[2];
        ASSERT_EQ(::pipe(news), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int i = 0;; ++i) {
                [[maybe_unused]] ssize_t n = ::write(news[1], "s", 1);
                (i % 2 == 0 ? newList : oldList).engine.saveSiteList();
            }
        }
        ::close(news[1]);
        auto heard = [&] {
            pollfd p{news[0], POLLIN, 0};
            char c;
            return ::poll(&p, 1, 10000) == 1 && ::read(news[0], &c, 1) == 1;
        };
        bool told = heard();
        for (int saves = finished(random); saves > 0 && told; --saves) {
            const auto begin = std::chrono::steady_clock::now();
            told = heard();
            oneSave = std::chrono::steady_clock::now() - begin;
        }
        if (told)
            std::this_thread::sleep_for(oneSave * within(random));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(news[0]);
        ASSERT_TRUE(told) << "the saving child did not report";

        const std::string now = TempDir::readFile(SiteListFile::kFileName);
        ASSERT_TRUE(now == oldBytes || now == newBytes)
            << "kill " << kill << ": vantrel.dat holds " << now.size() << " bytes, neither file";
        (now == oldBytes ? sawOld : sawNew)++;
        // The old and the new file are never both kept on disk for long:
        // at most one temporary file per kill stays behind.
        ASSERT_LE(leftovers().size(), static_cast<std::size_t>(kill));
    }
    std::cout << "[ report   ] 100 kills, one save " << static_cast<long>(oneSave.count()) << " us: old file "
              << sawOld << " times, new file " << sawNew << " times, " << leftovers().size()
              << " temporary files left behind\n";
    EXPECT_GT(sawOld, 0);
    EXPECT_GT(sawNew, 0);

    // The next save removes what killed saves left behind once it is a
    // minute old, and leaves what may belong to a save still running, and
    // files of the user's own.
    std::vector<std::string> stale = leftovers();
    ASSERT_FALSE(stale.empty());
    const std::string fresh = stale.back();
    stale.pop_back();
    const std::time_t twoMinutesAgo = std::time(nullptr) - 120;
    const utimbuf old{twoMinutesAgo, twoMinutesAgo};
    for (const std::string& name : stale)
        ::utime(name.c_str(), &old);
    TempDir::writeFile("vantrel.dat.backup", "mine");
    ::utime("vantrel.dat.backup", &old);

    ASSERT_TRUE(newList.engine.saveSiteList());
    EXPECT_EQ(TempDir::readFile(SiteListFile::kFileName), newBytes);
    EXPECT_EQ(leftovers(), std::vector<std::string>{fresh});
    EXPECT_EQ(TempDir::readFile("vantrel.dat.backup"), "mine");
}

TEST(CrashSafeSave, FileSizeLimitFailsTheSaveWithItsMessageAndKeepsTheOldFiles) {
    TempDir dir;
    SavingEngine small(3, "old");
    ASSERT_TRUE(small.engine.saveSiteList());
    ASSERT_TRUE(small.engine.saveSettings());
    const std::string oldList = TempDir::readFile(SiteListFile::kFileName);
    const std::string oldSettings = TempDir::readFile(SettingsFile::kFileName);
    TempDir::writeFile("checks.log", std::string(4000, 'l'));

    SavingEngine large(kSites, "new");
    const std::string report = inChild([&] {
        std::string problems;
        ::signal(SIGXFSZ, SIG_IGN); // writes past the limit fail with EFBIG instead
        const rlimit limit{8192, 8192};
        ::setrlimit(RLIMIT_FSIZE, &limit);

        editSettings(large.engine, [](Settings& s, ExtraSettings&) {
            s.yourName = std::string(10000, 'n');
            s.logFile = "checks.log";
        });
        const Settings& settings = large.engine.settings();
        if (large.engine.saveSiteList())
            problems += " the site list save did not fail;";
        if (large.engine.saveSettings())
            problems += " the settings save did not fail;";
        // The log already stands at 4000 bytes: this record would cross the
        // limit, so it is taken back whole and the user is told, once; the
        // one after it cannot be written either.
        CheckLog log(large.view);
        log.writeLogRecord(settings, "\n" + std::string(6000, 'r'));
        log.writeLogRecord(settings, "\nnext record");

        const auto& boxes = large.view.boxes;
        if (boxes.size() != 3)
            problems += " " + std::to_string(boxes.size()) + " message boxes instead of 3;";
        for (size_t i = 0; i < boxes.size(); ++i) {
            const auto& box = boxes[i];
            const bool expected = i < 2 ? box.text == "Save to File" && box.caption == "Error Writing File"
                                        : box.text.starts_with("Writing the log checks.log failed (File too "
                                                               "large).") &&
                                              box.caption == "Error Log";
            if (!expected)
                problems += " box \"" + box.text + "\" / \"" + box.caption + "\";";
        }
        return problems;
    });
    EXPECT_EQ(report, "");
    EXPECT_EQ(TempDir::readFile(SiteListFile::kFileName), oldList);
    EXPECT_EQ(TempDir::readFile(SettingsFile::kFileName), oldSettings);
    EXPECT_TRUE(leftovers().empty());
    EXPECT_EQ(std::filesystem::file_size("checks.log"), 4000u); // no record half written
}

} // namespace
