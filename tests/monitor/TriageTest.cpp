#include "tests/monitor/TriageFixture.h"

#include "model/DateText.h"
#include "monitor/SnoozePolicy.h"

#include <gtest/gtest.h>

using namespace vantrel;
using namespace vantrel::test;

// Snoozed sites are checked, logged and kept, and alert nothing; when the
// snooze ends, a site still down mails its error, one that came back
// meanwhile sends nothing, and one reported down before that came back
// mails its recovery.
TEST_F(TriageTest, SnoozeHoldsAlertsUntilItEndsAndSendsOnlyWhatStillHolds) {
    down("a");
    down("b");
    up("c");
    setSites({site("a", "OK"), site("b", "OK"), site("c", "Bad - Test String Welcome Not Found")});
    const std::time_t until = clock.now() + 3600;
    for (int row = 0; row < 3; ++row)
        engine.triage().snooze(row, until);
    const std::string untilText = DateText::dateTime(until);
    EXPECT_NE(TempDir::readFile("vantrel.dat").find("STATUS=OK\r\nSNOOZE=" + untilText + "\r\n\r\n"),
              std::string::npos);

    engine.runCheckPass();
    EXPECT_EQ(loggedUrls().size(), 3u);
    EXPECT_EQ(history.checks.size(), 3u);
    EXPECT_EQ(engine.sites().row(0).status.rfind("Bad", 0), 0u);
    EXPECT_EQ(engine.sites().row(2).status, "OK");
    EXPECT_EQ(smtp.connections(), 0);
    EXPECT_TRUE(sound.played.empty());
    EXPECT_EQ(hookCalls(), 0);
    EXPECT_TRUE(view.siteChangeSummaries.empty());
    ASSERT_TRUE(engine.triage().nextRelease().has_value());
    EXPECT_EQ(*engine.triage().nextRelease(), until);

    // B comes back before the end; then the snooze ends.
    up("b");
    clock.advance(3601);
    smtp.addSession(SmtpTestPeer::acceptingSession());
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.triage().release();
    ASSERT_EQ(smtp.connections(), 2);
    EXPECT_NE(smtp.received(0).find("Subject: Vantrel Error Report\r\n"), std::string::npos);
    EXPECT_NE(smtp.received(0).find(web.url("/a") + " String Not Found"), std::string::npos);
    EXPECT_NE(smtp.received(1).find("Subject: Vantrel Recovery Report\r\n"), std::string::npos);
    EXPECT_NE(smtp.received(1).find(web.url("/c") + " Service Restored."), std::string::npos);
    EXPECT_EQ(sound.played.size(), 1u);
    ASSERT_EQ(view.siteChangeSummaries.size(), 1u);
    EXPECT_EQ(view.siteChangeSummaries[0].size(), 2u);
    EXPECT_FALSE(engine.triage().nextRelease().has_value());
    // An ended snooze leaves the record; nothing is held any longer.
    EXPECT_TRUE(engine.sites().row(0).options.snooze.empty());
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 2);
}

// A snooze's end is in the files, so it outlasts a restart; a snooze for
// all is cleared from the extra file as it was set.
TEST_F(TriageTest, SnoozesSurviveARestartAndClearBackToTheDefaultFiles) {
    setSites({site("a", "OK")});
    engine.saveSiteList();
    const std::string before = TempDir::readFile("vantrel.dat");
    const std::time_t until = clock.now() + 600;
    engine.triage().snooze(0, until);
    engine.triage().snoozeAll(until);
    EXPECT_NE(
        TempDir::readFile(ExtraSettingsFile::kFileName)
            .find("\r\nSNOOZEALL=" + DateText::dateTime(until) + "\r\nQUIETHOURS=\r\nQUIETMAIL=send\r\n"),
        std::string::npos);
    {
        FakeMonitorView otherView;
        SiteMonitor restarted(otherView,
                              MonitorServices{&pump, &clock, &http, &sound, &network, nullptr, &otherView});
        otherView.data = &restarted.data();
        restarted.loadSettings();
        restarted.loadSiteList();
        ASSERT_EQ(restarted.sites().rowCount(), 1);
        EXPECT_EQ(restarted.sites().row(0).options.snooze, DateText::dateTime(until));
        EXPECT_EQ(restarted.extraSettings().snoozeAll, DateText::dateTime(until));
        SiteEntry unsnoozed = restarted.sites().row(0);
        unsnoozed.options.snooze.clear();
        EXPECT_TRUE(SnoozePolicy::snoozed(unsnoozed, restarted.extraSettings(), clock.now()));
        EXPECT_FALSE(SnoozePolicy::snoozed(unsnoozed, restarted.extraSettings(), until));
    }
    engine.triage().clearSnooze(0);
    engine.triage().clearSnoozeAll();
    EXPECT_EQ(TempDir::readFile("vantrel.dat"), before);
    EXPECT_EQ(engine.extraSettings(), ExtraSettings{});
}

// Quiet hours silence sound and notifications; mail goes out, or waits for
// their end with QUIETMAIL=hold.
TEST_F(TriageTest, QuietHoursSilenceSoundAndNotificationsAndMailWaitsOnlyWhenHeld) {
    engine.extraSettings().quietHours = quietAroundNow();
    down("a");
    setSites({site("a", "OK")});
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 1);
    EXPECT_EQ(hookCalls(), 2); // the error URL is no notification: called as ever
    EXPECT_TRUE(sound.played.empty());
    EXPECT_TRUE(view.siteChangeSummaries.empty());

    engine.extraSettings().quietMail = QuietMail::Hold;
    up("a");
    engine.runCheckPass(); // the recovery mail waits
    EXPECT_EQ(smtp.connections(), 1);
    const std::optional<std::time_t> end = engine.triage().nextRelease();
    ASSERT_TRUE(end.has_value());
    EXPECT_GT(*end, clock.now());
    EXPECT_LE(*end - clock.now(), 3600);
    engine.triage().release(); // still quiet: nothing
    EXPECT_EQ(smtp.connections(), 1);

    clock.set(*end);
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.triage().release();
    ASSERT_EQ(smtp.connections(), 2);
    EXPECT_NE(smtp.received(1).find("Subject: Vantrel Recovery Report\r\n"), std::string::npos);
    EXPECT_FALSE(engine.triage().nextRelease().has_value());
}

// Do-not-disturb holds notifications and the sound, never mail or the
// error URL, and gives one summary when it ends.
TEST_F(TriageTest, DoNotDisturbHoldsNotificationsAndSoundForOneSummary) {
    engine.triage().setDoNotDisturb(true);
    down("a");
    down("b");
    setSites({site("a", "OK"), site("b", "OK", "Sound")});
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.runCheckPass();
    up("b");
    engine.runCheckPass();
    EXPECT_EQ(smtp.connections(), 1);
    EXPECT_EQ(hookCalls(), 2 * 2); // site a, both passes: called twice a failed check
    EXPECT_TRUE(sound.played.empty());
    EXPECT_TRUE(view.siteChangeSummaries.empty());

    engine.triage().setDoNotDisturb(false);
    ASSERT_EQ(view.siteChangeSummaries.size(), 1u);
    ASSERT_EQ(view.siteChangeSummaries[0].size(), 2u); // b's latest change only: it is back
    EXPECT_EQ(view.siteChangeSummaries[0][0].url, web.url("/a"));
    EXPECT_TRUE(view.siteChangeSummaries[0][1].recovered);
    EXPECT_EQ(sound.played.size(), 1u);
    engine.triage().setDoNotDisturb(false); // no second summary
    EXPECT_EQ(view.siteChangeSummaries.size(), 1u);
}

// Check now runs the chosen rows through the one-site check, at once and
// without the opening wait or a new timer; asked for during a pass, it
// waits for the pass's end.
TEST_F(TriageTest, CheckNowRunsAtOnceLeavesTheTimerAndQueuesDuringAPass) {
    up("a");
    up("b");
    down("c");
    setSites({site("a", "OK"), site("b", "OK"), site("c", "OK")});
    const size_t timers = view.timerPeriods.size();
    smtp.addSession(SmtpTestPeer::acceptingSession());
    engine.triage().checkNow({2, 7});
    EXPECT_EQ(loggedUrls(), std::vector<std::string>{web.url("/c")});
    EXPECT_EQ(smtp.connections(), 1); // the same alerts as a pass
    EXPECT_EQ(hookCalls(), 2);
    EXPECT_EQ(view.timerPeriods.size(), timers);
    // No opening wait (the mail dialogue has pauses of its own).
    EXPECT_EQ(std::count(pump.pauses.begin(), pump.pauses.end(), std::chrono::milliseconds(2000)), 0);

    // The hook cannot be reached during the pass: its message box is where
    // the user asks.
    for (int row = 0; row < 3; ++row) {
        SiteEntry e = engine.sites().row(row);
        e.errorUrl = "http://127.0.0.1:1/hook";
        engine.sites().setRow(row, e);
    }
    size_t loggedAtBox = 0;
    view.onBox = [&](const FakeMonitorView::Box&) {
        if (loggedAtBox)
            return;
        engine.triage().checkNow({0});
        loggedAtBox = loggedUrls().size();
        EXPECT_TRUE(engine.passRunning());
    };
    engine.runCheckPass();
    EXPECT_EQ(loggedAtBox, 1u + 1u); // the box came at the first row's call
    // Nothing of the queued check ran inside the pass: row a once, then again.
    const std::vector<std::string> urls = loggedUrls();
    ASSERT_EQ(urls.size(), 1u + 3u + 1u);
    EXPECT_EQ(urls.back(), web.url("/a"));
    EXPECT_EQ(view.timerPeriods.size(), timers + 1); // the pass's own
}
