#include "monitor/CheckLog.h"
#include "model/Settings.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace vantrel;
using vantrel::test::FakeMonitorView;
using vantrel::test::TempDir;

namespace {

TEST(CheckLog, RecordsGoToTheDefaultFileWithCrLf) {
    TempDir dir;
    FakeMonitorView view;
    CheckLog log(view);
    Settings settings;
    log.writeLogRecord(settings, "\n08 Dec 2026 01:23:45 http://a.example/ OK");
    log.writeLogRecord(settings, "\n08 Dec 2026 01:28:45 http://a.example/ 404");
    EXPECT_EQ(TempDir::readFile("vantrel.log"),
              "\r\n08 Dec 2026 01:23:45 http://a.example/ OK\r\n08 Dec 2026 01:28:45 http://a.example/ 404");
    EXPECT_TRUE(view.boxes.empty());
}

TEST(CheckLog, NamedFileKeepsItsContents) {
    TempDir dir;
    TempDir::writeFile("checks.txt", "old\r\n");
    FakeMonitorView view;
    CheckLog log(view);
    Settings settings;
    settings.logFile = "checks.txt";
    log.writeLogRecord(settings, "\nnew OK");
    EXPECT_EQ(TempDir::readFile("checks.txt"), "old\r\n\r\nnew OK");
    EXPECT_FALSE(TempDir::exists("vantrel.log"));
}

TEST(CheckLog, UnopenableFileShowsTheBoxEachTimeAndCreatesNothing) {
    TempDir dir;
    FakeMonitorView view;
    CheckLog log(view);
    Settings settings;
    settings.logFile = "missing/folder/log.txt";
    log.writeLogRecord(settings, "\none");
    log.writeLogRecord(settings, "\ntwo");
    ASSERT_EQ(view.boxes.size(), 2u);
    EXPECT_EQ(view.boxes[0].text, "Could not write to log file");
    EXPECT_EQ(view.boxes[0].caption, "Error Log");
    EXPECT_EQ(view.boxes[0].buttons, MessageButtons::Ok);
    EXPECT_FALSE(TempDir::exists("missing"));
}

// A full disk (/dev/full fails every write with ENOSPC) is said once, in
// the window and on standard error; the records are kept and written once
// the log takes them, which is said too.
TEST(CheckLog, FailedWritesAreToldOnceKeptAndWrittenWhenTheLogWorksAgain) {
    TempDir dir;
    FakeMonitorView view;
    CheckLog log(view);
    Settings settings;
    settings.logFile = "/dev/full";
    testing::internal::CaptureStderr();
    log.writeLogRecord(settings, "\none 404");
    log.writeLogRecord(settings, "\ntwo 404");
    settings.logFile = "log.txt";
    log.writeLogRecord(settings, "\nthree OK");
    log.writeLogRecord(settings, "\nfour OK");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(TempDir::readFile("log.txt"), "\r\none 404\r\ntwo 404\r\nthree OK\r\nfour OK");
    ASSERT_EQ(view.boxes.size(), 2u);
    EXPECT_EQ(view.boxes[0].text,
              "Writing the log /dev/full failed (No space left on device). Vantrel keeps "
              "checking and tries again with each check; it says so when it works again.");
    EXPECT_EQ(view.boxes[1].text, "Writing the log log.txt works again.");
    EXPECT_EQ(err, "Error Log: " + view.boxes[0].text + "\nError Log: " + view.boxes[1].text + "\n");
}

// As the super-user too, a folder without write permission bits gets no new
// log file; an existing one there is still appended to.
TEST(CheckLog, NoNewLogInAFolderWithoutWriteBits) {
    TempDir dir;
    ASSERT_EQ(::mkdir("closed", 0755), 0);
    TempDir::writeFile("closed/old.log", "old");
    ASSERT_EQ(::chmod("closed", 0555), 0);
    FakeMonitorView view;
    CheckLog log(view);
    Settings settings;
    settings.logFile = "closed/new.log";
    log.writeLogRecord(settings, "\nrecord");
    settings.logFile = "closed/old.log";
    log.writeLogRecord(settings, "\nrecord");
    ::chmod("closed", 0755);
    EXPECT_FALSE(TempDir::exists("closed/new.log"));
    EXPECT_EQ(TempDir::readFile("closed/old.log"), "old\r\nrecord");
    ASSERT_EQ(view.boxes.size(), 1u);
    EXPECT_EQ(view.boxes[0].text, "Could not write to log file");
}

} // namespace
