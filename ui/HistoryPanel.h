#pragma once

#include "history/HistoryPanelData.h"

#include <QDateTime>
#include <QPair>
#include <QWidget>

#include <cstddef>
#include <ctime>
#include <string>

class QChartView;
class QComboBox;
class QLabel;
class QListWidget;

namespace vantrel {

// The history of the site marked in the list: uptime over 24 hours, 7 and
// 30 days, mean and 95th-percentile response time, the latest incidents
// (from the first failed check to the next good one) and a chart of the
// response times of the last day, week, 30 or 365 days with the failed
// checks marked and the time not monitored as gaps; before a site is chosen, a line saying what to do.
class HistoryPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kUnavailableText = "History unavailable";
    static constexpr const char* kSelectSiteText = "Select a site in the list to see its history.";
    // The most points the chart draws; more are merged into stretches of time.
    static constexpr size_t kMaxChartPoints = HistoryPanelData::kMaxChartPoints;

    explicit HistoryPanel(QWidget* parent = nullptr);

    // What to read for the site with this URL and title (both empty: none)
    // over the range chosen, as of `now`.
    HistoryPanelRequest request(const std::string& url, const std::string& title, std::time_t now) const;
    // Shows what was read for a request; the panel reads nothing itself.
    void showData(const HistoryPanelData& data);

    // The texts as shown, for tests and assistive tools.
    QString figuresText() const;
    int incidentCount() const;
    int chartPoints() const;   // response times drawn
    int chartFailures() const; // failed checks marked
    int chartGaps() const;     // stretches not monitored, drawn as gaps
    // The chart's axes as drawn (empty without a chart).
    QPair<QDateTime, QDateTime> chartTimeRange() const;
    int chartTimeTicks() const;
    QPair<double, double> chartValueRange() const;
    // The chart's range choice, for tests: 0 last day, 1 week, 2 30 days, 3 365 days.
    void setRange(int index);
    // The line shown instead of the chart (before a site is chosen), or empty.
    QString hintText() const;

    static QString durationText(long long seconds);

signals:
    // The user chose another range: the data is to be read again.
    void rangeChanged();
    // New data is shown.
    void dataShown();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutChildren();
    void showHint(const QString& heading, const QString& hint);
    void showFigures(const HistoryPanelData& data);
    void drawChart(const HistoryPanelData& data);
    void fitTimeAxis();
    std::time_t rangeSeconds() const;

    std::string url_;
    std::string title_;
    std::time_t now_ = 0;
    std::time_t chartFrom_ = 0; // where the time axis starts, before rounding
    int points_ = 0;
    int failures_ = 0;
    int gaps_ = 0;

    QLabel* heading_ = nullptr;
    QLabel* figures_ = nullptr;
    QLabel* incidentsLabel_ = nullptr;
    QListWidget* incidents_ = nullptr;
    QComboBox* range_ = nullptr;
    QChartView* chart_ = nullptr;
    QLabel* hint_ = nullptr;
};

} // namespace vantrel
