#include "monitor/CheckLog.h"
#include "model/Settings.h"
#include "tests/support/FakeMonitorView.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

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

} // namespace
