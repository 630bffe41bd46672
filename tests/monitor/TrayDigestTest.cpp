#include "monitor/TrayDigest.h"
#include "model/DateText.h"
#include "model/ExtraSettings.h"
#include "model/SiteList.h"
#include "monitor/SiteState.h"
#include "monitor/SnoozeChoice.h"

#include <gtest/gtest.h>

using namespace vantrel;

namespace {

std::time_t at(const char* text) {
    return *DateText::parseDateTime(text);
}

SiteEntry site(std::string title, std::string status, std::string reason = {},
               std::string checked = "10 Dec 2026 09:00:00") {
    SiteEntry e{std::move(title),   "http://127.0.0.1:1/", "", "", "", "",
                std::move(checked), std::move(status)};
    e.reason = std::move(reason);
    return e;
}

void fill(SiteList& list, const std::vector<SiteEntry>& rows) {
    list.clear();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        list.insertAtTop(*it);
}

} // namespace

// Down before slow, each with its reason (or status) and the time it began
// to fail: the check date when first seen, kept while it keeps failing,
// forgotten once it recovers; bounded, with the rest counted.
TEST(TrayDigest, ListsDownThenSlowWithReasonAndSinceBoundedByAndMore) {
    const std::time_t now = at("10 Dec 2026 12:00:00");
    SiteList list;
    fill(list, {site("Fast", "OK"), site("Lag", "Slow", "slow: 4.2 s (limit 2 s)"),
                site("Shop", "404", "DNS: no such host", "09 Dec 2026 23:10:00"), site("New", "New"),
                site("", "Bad - Test String text Not Found")});
    TrayDigest digest;
    digest.update(list, now);
    EXPECT_EQ(digest.downCount(), 2);
    EXPECT_EQ(digest.slowCount(), 1);
    EXPECT_EQ(digest.toolTip(now), "Shop: DNS: no such host, since 09 Dec 2026 23:10\n"
                                   "http://127.0.0.1:1/: Bad - Test String text Not Found, since 09:00\n"
                                   "Lag: slow: 4.2 s (limit 2 s), since 09:00");
    ASSERT_EQ(digest.failing().size(), 3u);
    EXPECT_EQ(digest.failing()[0].row, 2);

    // A later failing check does not move "since"; a recovery forgets it.
    SiteEntry shop = list.row(2);
    shop.checkDate = "10 Dec 2026 11:55:00";
    list.setRow(2, shop);
    digest.update(list, now);
    EXPECT_EQ(digest.failing()[0].since, at("09 Dec 2026 23:10:00"));
    shop.status = "OK";
    list.setRow(2, shop);
    digest.update(list, now);
    shop.status = "404";
    list.setRow(2, shop);
    digest.update(list, now);
    EXPECT_EQ(digest.failing()[0].since, at("10 Dec 2026 11:55:00"));

    std::vector<SiteEntry> many;
    for (int i = 0; i < 8; ++i)
        many.push_back(site("S" + std::to_string(i), "404"));
    fill(list, many);
    digest.update(list, now);
    const std::string tip = digest.toolTip(now);
    EXPECT_NE(tip.find("S4: 404, since 09:00\nand 3 more"), std::string::npos) << tip;
    EXPECT_EQ(tip.find("S5"), std::string::npos);

    fill(list, {site("Fast", "OK")});
    digest.update(list, now);
    EXPECT_EQ(digest.toolTip(now), "");
    EXPECT_EQ(digest.downCount() + digest.slowCount(), 0);
}

TEST(SiteState, SnoozeOutranksTheStatusAndShowsItsLaterEnd) {
    const std::time_t now = at("10 Dec 2026 12:00:00");
    ExtraSettings settings;
    SiteEntry e = site("Shop", "404", "HTTP 503 (expected 200-299)");
    EXPECT_EQ(SiteState::of(e, settings, now), SiteStateKind::Down);
    EXPECT_EQ(SiteState::describe(e, settings, now), "Down: HTTP 503 (expected 200-299)");
    EXPECT_EQ(SiteState::ofStatus("New"), SiteStateKind::NotChecked);
    EXPECT_EQ(SiteState::ofStatus(""), SiteStateKind::NotChecked);
    EXPECT_EQ(SiteState::ofStatus("Slow"), SiteStateKind::Slow);

    e.options.snooze = "10 Dec 2026 18:00:00";
    settings.snoozeAll = "11 Dec 2026 08:00:00";
    EXPECT_EQ(SiteState::of(e, settings, now), SiteStateKind::Snoozed);
    EXPECT_EQ(SiteState::describe(e, settings, now),
              "Snoozed until 11 Dec 2026 08:00:00\nDown: HTTP 503 (expected 200-299)");
    // Ended snoozes and texts that name no time snooze nothing.
    settings.snoozeAll = "garbage";
    e.options.snooze = "10 Dec 2026 11:00:00";
    EXPECT_EQ(SiteState::of(e, settings, now), SiteStateKind::Down);
}

TEST(SnoozeEnd, HoursAndTomorrowMorningAcrossTheMonthAndYearEnd) {
    const std::time_t now = at("31 Dec 2026 23:30:00");
    EXPECT_EQ(SnoozeEnd::of(SnoozeChoice::OneHour, now), at("01 Jan 2027 00:30:00"));
    EXPECT_EQ(SnoozeEnd::of(SnoozeChoice::FourHours, now), at("01 Jan 2027 03:30:00"));
    EXPECT_EQ(SnoozeEnd::of(SnoozeChoice::TomorrowMorning, now), at("01 Jan 2027 08:00:00"));
    // Just after midnight "tomorrow" is still the next day, as the menu says.
    EXPECT_EQ(SnoozeEnd::of(SnoozeChoice::TomorrowMorning, at("11 Dec 2026 00:10:00")),
              at("12 Dec 2026 08:00:00"));
}
