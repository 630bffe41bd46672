#include "ui/HistoryPanel.h"
#include "monitor/CheckHistory.h"
#include "ui/ChartScale.h"

#include <QAbstractSeries>
#include <QAccessible>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QListWidget>
#include <gtest/gtest.h>

using namespace vantrel;

namespace {

constexpr std::time_t kHour = 3600;
constexpr std::time_t kDay = 24 * kHour;
// A fixed "now", at a quarter past ten local time.
const std::time_t kNow = QDateTime(QDate(2026, 12, 9), QTime(10, 15)).toSecsSinceEpoch();

// A history in memory: the points given, whatever range is asked for within them.
class FakeHistory : public CheckHistory {
public:
    std::vector<SeriesPoint> points;
    std::vector<UnmonitoredStretch> stretches;
    void recordCheck(const CheckRecord&) override {}
    void recordAlert(const AlertRecord&) override {}
    bool available() const override { return true; }
    std::string problem() const override { return {}; }
    SiteSummary summary(const std::string&, const std::string&, std::time_t, int) override {
        SiteSummary s;
        s.uptime24h = s.uptime7d = s.uptime30d = 0.5;
        s.averageMs = 120;
        s.p95Ms = 300;
        return s;
    }
    std::vector<SeriesPoint> series(const std::string&, const std::string&, std::time_t from,
                                    std::time_t to) override {
        std::vector<SeriesPoint> out;
        for (const SeriesPoint& p : points)
            if (p.time >= from && p.time <= to)
                out.push_back(p);
        return out;
    }
    bool exportChecks(const std::string&, const std::string&,
                      const std::function<void(const CheckRecord&)>&) override {
        return true;
    }
    std::vector<UnmonitoredStretch> unmonitored(std::time_t from, std::time_t to) override {
        std::vector<UnmonitoredStretch> out;
        for (const UnmonitoredStretch& g : stretches)
            if (g.from <= to && g.to >= from)
                out.push_back(g);
        return out;
    }
    RangeFigures figures(const std::string&, const std::string&, std::time_t, std::time_t) override {
        RangeFigures f;
        f.checks = 40;
        f.failures = 4;
        f.averageMs = 150;
        f.p95Ms = 320;
        return f;
    }
};

SeriesPoint point(std::time_t t, int ms, bool failed = false) {
    SeriesPoint p;
    p.time = t;
    p.totalMs = ms;
    p.failed = failed;
    return p;
}

// Shows the site's history as the window does, read at once, and reads it
// again for each range chosen later.
void showSite(HistoryPanel& panel, CheckHistory& history, const std::string& url, const std::string& title) {
    auto show = [&panel, &history, url, title] {
        panel.showData(HistoryPanelData::read(history, panel.request(url, title, kNow)));
    };
    QObject::disconnect(&panel, &HistoryPanel::rangeChanged, nullptr, nullptr);
    QObject::connect(&panel, &HistoryPanel::rangeChanged, show);
    show();
}

std::time_t secs(const QDateTime& t) {
    return t.toSecsSinceEpoch();
}

} // namespace

TEST(HistoryPanel, BeforeASiteIsChosenItSaysWhatToDoInsteadOfAnEmptyChart) {
    FakeHistory history;
    HistoryPanel panel;
    panel.resize(600, 200);
    showSite(panel, history, {}, {});
    EXPECT_EQ(panel.hintText(), HistoryPanel::kSelectSiteText);
    EXPECT_FALSE(panel.findChild<QChartView*>()->isVisibleTo(&panel));

    showSite(panel, history, "http://a.test/", "A");
    EXPECT_TRUE(panel.hintText().isEmpty());
    EXPECT_TRUE(panel.findChild<QChartView*>()->isVisibleTo(&panel));
    // Incidents wrap rather than run out of sight.
    EXPECT_TRUE(panel.findChild<QListWidget*>()->wordWrap());
}

TEST(HistoryPanel, AShortHistoryFillsTheChartWhateverTheRange) {
    FakeHistory history;
    for (int i = 0; i < 12; ++i) // the last two hours, every ten minutes
        history.points.push_back(point(kNow - 2 * kHour + i * 600, 100 + 10 * i));
    HistoryPanel panel;
    showSite(panel, history, "http://a.test/", "A");
    for (int range = 0; range < 4; ++range) {
        panel.setRange(range);
        const auto [from, to] = panel.chartTimeRange();
        // Every point is on the axis, and the axis is not much wider than the data.
        EXPECT_LE(secs(from), history.points.front().time) << range;
        EXPECT_GE(secs(to), kNow) << range;
        EXPECT_LE(secs(to) - secs(from), 4 * kHour) << range;
        EXPECT_EQ(panel.chartPoints(), 12) << range;
    }
    // The value axis starts at zero and rises just above the slowest check.
    const auto [low, high] = panel.chartValueRange();
    EXPECT_LT(low, 0);
    EXPECT_GE(high, 210);
    EXPECT_LT(high, 400);
}

// At the window's first size the chart is narrow: it shows fewer time
// labels, so that none is cut short, still on whole hours and over every
// check; widened, it shows more.
TEST(HistoryPanel, TimeLabelsAsManyAsFitTheChartsWidth) {
    FakeHistory history;
    for (std::time_t t = kNow - 23 * kHour; t <= kNow; t += kHour)
        history.points.push_back(point(t, 120));
    HistoryPanel panel;
    panel.resize(420, 200);
    panel.show();
    showSite(panel, history, "http://a.test/", "A");
    const int narrow = panel.chartTimeTicks();
    const auto [from, to] = panel.chartTimeRange();
    EXPECT_EQ(from.time().minute(), 0);
    EXPECT_LE(secs(from), history.points.front().time);
    EXPECT_GE(secs(to), kNow);
    panel.resize(1000, 200);
    const int wide = panel.chartTimeTicks();
    EXPECT_GE(narrow, 2);
    EXPECT_LT(narrow, wide);
    EXPECT_LE(wide, ChartScale::kMaxTimeSteps + 1);
    panel.resize(420, 200);
    EXPECT_EQ(panel.chartTimeTicks(), narrow);
}

// A night asleep between checks: the line stops at the last check before it
// and starts again after it, with a band over the time not monitored; a
// stretch outside the range shown draws nothing.
TEST(HistoryPanel, TimeNotMonitoredIsAGapInTheLine) {
    FakeHistory history;
    for (std::time_t t = kNow - 20 * kHour; t <= kNow; t += kHour)
        if (t < kNow - 14 * kHour || t > kNow - 6 * kHour)
            history.points.push_back(point(t, 120));
    history.stretches = {{kNow - 14 * kHour, kNow - 6 * kHour, "asleep"},
                         {kNow - 40 * kDay, kNow - 39 * kDay, "offline"}};
    HistoryPanel panel;
    panel.resize(600, 200);
    showSite(panel, history, "http://a.test/", "A");
    auto count = [&](QAbstractSeries::SeriesType type) {
        int n = 0;
        for (QAbstractSeries* s : panel.findChild<QChartView*>()->chart()->series())
            n += s->type() == type;
        return n;
    };
    EXPECT_EQ(panel.chartGaps(), 1);
    EXPECT_EQ(count(QAbstractSeries::SeriesTypeLine), 2);
    EXPECT_EQ(count(QAbstractSeries::SeriesTypeArea), 1);
    EXPECT_EQ(panel.chartPoints(), static_cast<int>(history.points.size()));
    panel.setRange(3); // the year holds both
    EXPECT_EQ(panel.chartGaps(), 2);
    history.stretches.clear();
    panel.setRange(0);
    EXPECT_EQ(panel.chartGaps(), 0);
    EXPECT_EQ(count(QAbstractSeries::SeriesTypeLine), 1);
}

TEST(HistoryPanel, AnAlwaysFailingSiteGetsAReadableAxisWithEveryFailureInside) {
    FakeHistory history;
    for (int i = 0; i < 30; ++i) // unanswered checks: no time at all
        history.points.push_back(point(kNow - 5 * kHour + i * 600, -1, true));
    history.points.push_back(point(kNow - 60, 4200, true)); // an answered failure: a 503 after 4.2 s
    HistoryPanel panel;
    showSite(panel, history, "http://a.test/", "A");
    EXPECT_EQ(panel.chartFailures(), 31);
    EXPECT_EQ(panel.chartPoints(), 0);
    const auto [low, high] = panel.chartValueRange();
    // Marks at zero sit inside the plot, and the answered failure under the top.
    EXPECT_LT(low, 0);
    EXPECT_GT(high, 4200);

    history.points.resize(30);
    showSite(panel, history, "http://a.test/", "A");
    const auto [low2, high2] = panel.chartValueRange();
    EXPECT_LT(low2, 0);
    EXPECT_GE(high2, 100); // not a 0-11 ms axis
}

TEST(HistoryPanel, AMonthOfChecksEveryMinuteIsDrawnAsAtMostAPointPerStretchKeepingItsFailures) {
    FakeHistory history;
    for (std::time_t t = kNow - 30 * kDay + 60; t <= kNow; t += 60)
        history.points.push_back(point(t, 100));
    history.points[1000] = point(history.points[1000].time, -1, true); // one lost among 43,200
    HistoryPanel panel;
    panel.setRange(2);
    showSite(panel, history, "http://a.test/", "A");
    EXPECT_GT(panel.chartPoints(), static_cast<int>(HistoryPanel::kMaxChartPoints) / 2);
    EXPECT_LE(panel.chartPoints(), static_cast<int>(HistoryPanel::kMaxChartPoints));
    EXPECT_EQ(panel.chartFailures(), 1);
    const auto [low, high] = panel.chartValueRange();
    EXPECT_LT(low, 0);
    EXPECT_GE(high, 100);
    EXPECT_LT(high, 200); // the mean of each stretch, not a sum
}

TEST(HistoryPanel, TheChartDescribesItselfInWordsForScreenReaders) {
    FakeHistory history;
    history.points.push_back(point(kNow - kHour, 100));
    HistoryPanel panel;
    showSite(panel, history, "http://a.test/", "A");
    panel.setRange(2);
    QChartView* chart = panel.findChild<QChartView*>();
    const QString description = chart->accessibleDescription();
    EXPECT_TRUE(description.contains("Uptime 24 hours: 50.0 %")) << description.toStdString();
    EXPECT_TRUE(
        description.contains("Last 30 days: 40 checks, 4 failed, uptime 90.0 %, average response 150 ms"))
        << description.toStdString();
    // The labels are named by what they show.
    for (QLabel* label : panel.findChildren<QLabel*>())
        if (label->isVisibleTo(&panel) && !label->text().isEmpty()) {
            EXPECT_EQ(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name), label->text());
        }
    QStringList ranges;
    auto* range = panel.findChild<QComboBox*>();
    for (int i = 0; i < range->count(); ++i)
        ranges << range->itemText(i);
    EXPECT_EQ(ranges, QStringList({"Last day", "Last week", "Last 30 days", "Last 365 days"}));
}

TEST(ChartScale, TimeTicksFallOnEvenLocalHoursAndDays) {
    struct Case {
        std::time_t from, to;
    };
    for (const Case c :
         {Case{kNow - 2 * kHour, kNow}, Case{kNow - 20 * kHour, kNow}, Case{kNow - 3 * kDay, kNow},
          Case{kNow - 30 * kDay, kNow}, Case{kNow - 365 * kDay, kNow}, Case{kNow, kNow}}) {
        const ChartScale::Time t = ChartScale::time(c.from, c.to);
        ASSERT_GE(t.ticks, 2);
        EXPECT_LE(t.ticks, ChartScale::kMaxTimeSteps + 1);
        EXPECT_LE(t.from, c.from);
        EXPECT_GE(t.to, c.to);
        const std::time_t step = (t.to - t.from) / (t.ticks - 1);
        EXPECT_EQ((t.to - t.from) % (t.ticks - 1), 0);
        // No more than one step of room on either side.
        EXPECT_LT(c.from - t.from, step + ChartScale::kMinSpan);
        EXPECT_LT(t.to - c.to, step + ChartScale::kMinSpan);
        const QDateTime first = QDateTime::fromSecsSinceEpoch(t.from);
        if (step >= kDay) {
            EXPECT_EQ(first.time(), QTime(0, 0)) << first.toString().toStdString();
            EXPECT_EQ(t.format, "dd MMM");
        } else {
            EXPECT_EQ(first.time().second(), 0);
            EXPECT_EQ(first.time().minute() * 60 % std::min<std::time_t>(step, kHour), 0);
        }
    }
}
