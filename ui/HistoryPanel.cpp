#include "ui/HistoryPanel.h"

#include "model/DateText.h"
#include "monitor/CheckHistory.h"
#include "ui/QtText.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>

namespace vantrel {

namespace {

constexpr std::time_t kDay = 24 * 60 * 60;

QString percent(double fraction) {
    if (fraction < 0)
        return QStringLiteral("-");
    return QString::number(fraction * 100.0, 'f', fraction >= 0.995 && fraction < 1 ? 2 : 1) +
           QStringLiteral(" %");
}

QString millis(double ms) {
    return ms < 0 ? QStringLiteral("-")
                  : QString::number(static_cast<long long>(ms + 0.5)) + QStringLiteral(" ms");
}

QString when(std::time_t t) {
    return QtText::toQt(DateText::dateTime(t));
}

} // namespace

HistoryPanel::HistoryPanel(QWidget* parent) : QWidget(parent) {
    setAccessibleName(QStringLiteral("History"));
    heading_ = new QLabel(this);
    heading_->setAccessibleName(QStringLiteral("History Of"));
    heading_->setTextFormat(Qt::PlainText);
    figures_ = new QLabel(this);
    figures_->setAccessibleName(QStringLiteral("Uptime And Response Times"));
    figures_->setTextFormat(Qt::PlainText);
    figures_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    incidentsLabel_ = new QLabel(QStringLiteral("Incidents:"), this);
    incidents_ = new QListWidget(this);
    incidents_->setAccessibleName(QStringLiteral("Incidents"));
    incidentsLabel_->setBuddy(incidents_);
    range_ = new QComboBox(this);
    range_->addItems({QStringLiteral("Last day"), QStringLiteral("Last week")});
    range_->setAccessibleName(QStringLiteral("Chart Range"));
    connect(range_, &QComboBox::currentIndexChanged, this, [this] { refresh(now_); });

    auto* chart = new QChart;
    chart->legend()->hide();

    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setBackgroundRoundness(0);
    chart_ = new QChartView(chart, this);
    chart_->setRenderHint(QPainter::Antialiasing);
    chart_->setAccessibleName(QStringLiteral("Response Time Chart"));
    showSite(nullptr, {}, {}, 0);
}

void HistoryPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutChildren();
}

void HistoryPanel::layoutChildren() {
    const int w = width(), h = height();
    const int line = fontMetrics().height();
    // Figures and incidents on the left, the chart on the right, the range
    // choice above the chart.
    const int left = std::min(180, w * 2 / 5);
    const int top = line + 8;
    heading_->setGeometry(0, 2, std::max(0, w - 116), line + 2);
    range_->setGeometry(w - 110, 0, 110, line + 6);
    figures_->setGeometry(0, top, left, 5 * line + 4);
    const int incTop = top + 5 * line + 6;
    incidentsLabel_->setGeometry(0, incTop, left, line + 2);
    incidents_->setGeometry(0, incTop + line + 2, left, std::max(0, h - incTop - line - 2));
    chart_->setGeometry(left + 4, top, std::max(0, w - left - 4), std::max(0, h - top));
}

void HistoryPanel::showSite(CheckHistory* history, const std::string& url, const std::string& title,
                            std::time_t now) {
    history_ = history;
    url_ = url;
    title_ = title;
    refresh(now);
}

void HistoryPanel::refresh(std::time_t now) {
    now_ = now;
    incidents_->clear();
    QChart* chart = chart_->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis); // hands the axis back to its caller
        delete axis;
    }
    points_ = failures_ = 0;

    if (!history_ || !history_->available()) {
        heading_->setText(QString::fromLatin1(kUnavailableText));
        figures_->setText(history_ ? QtText::toQt(history_->problem()) : QString());
        return;
    }
    if (url_.empty() && title_.empty()) {
        heading_->setText(QStringLiteral("History: click a site in the list"));
        figures_->clear();
        return;
    }
    heading_->setText(QStringLiteral("History of ") + QtText::toQt(title_));
    const SiteSummary s = history_->summary(url_, title_, now);
    if (!history_->available()) { // the query itself found the database broken
        heading_->setText(QString::fromLatin1(kUnavailableText));
        figures_->setText(QtText::toQt(history_->problem()));
        return;
    }
    figures_->setText(QStringLiteral("Uptime 24 hours: %1\nUptime 7 days: %2\nUptime 30 days: %3\n"
                                     "Average response: %4\n95th percentile: %5")
                          .arg(percent(s.uptime24h), percent(s.uptime7d), percent(s.uptime30d),
                               millis(s.averageMs), millis(s.p95Ms)));
    for (const Incident& i : s.incidents) {
        const QDateTime start = QDateTime::fromSecsSinceEpoch(i.start);
        QString end = QStringLiteral("now");
        if (i.end) {
            const QDateTime e = QDateTime::fromSecsSinceEpoch(i.end);
            end = e.toString(e.date() == start.date() ? QStringLiteral("HH:mm")
                                                      : QStringLiteral("dd MMM HH:mm"));
        }
        auto* item =
            new QListWidgetItem(QStringLiteral("%1-%2 %3 %4")
                                    .arg(start.toString(QStringLiteral("dd MMM HH:mm")), end,
                                         durationText(i.durationSeconds(now)), QtText::toQt(i.status)));
        item->setToolTip(QStringLiteral("%1 to %2, %3: %4")
                             .arg(when(i.start), i.end ? when(i.end) : QStringLiteral("not recovered yet"),
                                  durationText(i.durationSeconds(now)), QtText::toQt(i.status)));
        incidents_->addItem(item);
    }
    if (s.incidents.empty())
        incidents_->addItem(QStringLiteral("No incident in 30 days"));

    const std::time_t span = range_->currentIndex() == 1 ? 7 * kDay : kDay;
    const std::vector<SeriesPoint> points = history_->series(url_, title_, now - span, now);
    auto* times = new QLineSeries;
    times->setName(QStringLiteral("Response time"));
    auto* failed = new QScatterSeries;
    failed->setName(QStringLiteral("Failed checks"));
    failed->setColor(QColor(0xd0, 0x20, 0x20));
    failed->setBorderColor(QColor(0xd0, 0x20, 0x20));
    failed->setMarkerSize(7);
    int top = 10;
    for (const SeriesPoint& p : points) {
        const qreal x = static_cast<qreal>(p.time) * 1000.0;
        if (p.failed) {
            failed->append(x, 0);
            ++failures_;
        } else if (p.totalMs >= 0) {
            times->append(x, p.totalMs);
            top = std::max(top, p.totalMs);
            ++points_;
        }
    }
    chart->addSeries(times);
    chart->addSeries(failed);
    auto* xAxis = new QDateTimeAxis;
    xAxis->setFormat(span > kDay ? QStringLiteral("dd MMM") : QStringLiteral("HH:mm"));
    xAxis->setRange(QDateTime::fromSecsSinceEpoch(now - span), QDateTime::fromSecsSinceEpoch(now));
    xAxis->setTickCount(span > kDay ? 4 : 5);
    auto* yAxis = new QValueAxis;
    yAxis->setRange(0, top * 1.1);
    yAxis->setLabelFormat(QStringLiteral("%d"));
    yAxis->setTitleText(QStringLiteral("ms"));
    yAxis->setTickCount(4);
    QFont small = font();
    // The dialog font may be sized in pixels or in points.
    if (small.pixelSize() > 0)
        small.setPixelSize(std::max(8, small.pixelSize() * 85 / 100));
    else if (small.pointSizeF() > 0)
        small.setPointSizeF(small.pointSizeF() * 0.85);
    for (QAbstractAxis* axis : {static_cast<QAbstractAxis*>(xAxis), static_cast<QAbstractAxis*>(yAxis)}) {
        axis->setLabelsFont(small);
        axis->setTitleFont(small);
    }
    chart->addAxis(xAxis, Qt::AlignBottom);
    chart->addAxis(yAxis, Qt::AlignLeft);
    for (QAbstractSeries* series :
         {static_cast<QAbstractSeries*>(times), static_cast<QAbstractSeries*>(failed)}) {
        series->attachAxis(xAxis);
        series->attachAxis(yAxis);
    }
}

QString HistoryPanel::figuresText() const {
    return heading_->text() + QLatin1Char('\n') + figures_->text();
}

int HistoryPanel::incidentCount() const {
    return incidents_->count() == 1 && incidents_->item(0)->text().startsWith(QStringLiteral("No incident"))
               ? 0
               : incidents_->count();
}

int HistoryPanel::chartPoints() const {
    return points_;
}
int HistoryPanel::chartFailures() const {
    return failures_;
}

QString HistoryPanel::durationText(long long seconds) {
    if (seconds < 60)
        return QString::number(seconds) + QStringLiteral(" s");
    if (seconds < 3600)
        return QString::number(seconds / 60) + QStringLiteral(" min");
    if (seconds < 86400)
        return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds % 3600 / 60);
    return QStringLiteral("%1 d %2 h").arg(seconds / 86400).arg(seconds % 86400 / 3600);
}

} // namespace vantrel
