#pragma once

#include <QWidget>

#include <ctime>
#include <string>

class QChartView;
class QComboBox;
class QLabel;
class QListWidget;

namespace vantrel {

class CheckHistory;

// The history of the site marked in the list: uptime over 24 hours, 7 and
// 30 days, mean and 95th-percentile response time, the latest incidents
// (from the first failed check to the next good one) and a chart of the
// response times of the last day or week with the failed checks marked.
class HistoryPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kUnavailableText = "History unavailable";

    explicit HistoryPanel(QWidget* parent = nullptr);

    // Shows the site with this URL and title (both empty: none), as of `now`.
    void showSite(CheckHistory* history, const std::string& url, const std::string& title, std::time_t now);
    // Shows the last site again, as of `now`.
    void refresh(std::time_t now);

    // The texts as shown, for tests and assistive tools.
    QString figuresText() const;
    int incidentCount() const;
    int chartPoints() const;   // response times drawn
    int chartFailures() const; // failed checks marked

    static QString durationText(long long seconds);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutChildren();

    CheckHistory* history_ = nullptr;
    std::string url_;
    std::string title_;
    std::time_t now_ = 0;
    int points_ = 0;
    int failures_ = 0;

    QLabel* heading_ = nullptr;
    QLabel* figures_ = nullptr;
    QLabel* incidentsLabel_ = nullptr;
    QListWidget* incidents_ = nullptr;
    QComboBox* range_ = nullptr;
    QChartView* chart_ = nullptr;
};

} // namespace vantrel
