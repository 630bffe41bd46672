#include "ui/HistoryPanel.h"

#include "model/DateText.h"
#include "monitor/CheckHistory.h"
#include "ui/ChartScale.h"
#include "ui/QtText.h"

#include <QAreaSeries>
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
#include <iterator>

namespace vantrel {

namespace {

constexpr std::time_t kDay = 24 * 60 * 60;
// The chart's width that is not the plot: the value axis, its title and the margins.
constexpr int kChartFrame = 80;

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
    // The labels are named by their texts, as assistive tools read them.
    heading_ = new QLabel(this);
    heading_->setTextFormat(Qt::PlainText);
    figures_ = new QLabel(this);
    figures_->setTextFormat(Qt::PlainText);
    figures_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    incidentsLabel_ = new QLabel(QStringLiteral("Incidents:"), this);
    incidents_ = new QListWidget(this);
    incidents_->setAccessibleName(QStringLiteral("Incidents"));
    // Long incidents wrap onto further lines rather than run out of sight.
    incidents_->setWordWrap(true);
    incidents_->setTextElideMode(Qt::ElideNone);
    incidents_->setResizeMode(QListView::Adjust);
    incidents_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    incidentsLabel_->setBuddy(incidents_);
    range_ = new QComboBox(this);
    range_->addItems({QStringLiteral("Last day"), QStringLiteral("Last week"), QStringLiteral("Last 30 days"),
                      QStringLiteral("Last 365 days")});
    range_->setAccessibleName(QStringLiteral("Chart Range"));
    connect(range_, &QComboBox::currentIndexChanged, this, &HistoryPanel::rangeChanged);

    auto* chart = new QChart;
    chart->legend()->hide();

    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setBackgroundRoundness(0);
    chart_ = new QChartView(chart, this);
    chart_->setRenderHint(QPainter::Antialiasing);
    chart_->setAccessibleName(QStringLiteral("Response Time Chart"));
    hint_ = new QLabel(this);
    hint_->setAlignment(Qt::AlignCenter);
    hint_->setWordWrap(true);
    showData(HistoryPanelData::unavailable(request({}, {}, 0), {}));
}

void HistoryPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutChildren();
}

// The time axis with as many labels as fit side by side in the chart's
// width, each still on a whole step of local time, so none is cut short.
void HistoryPanel::fitTimeAxis() {
    const QList<QAbstractAxis*> axes = chart_->chart()->axes(Qt::Horizontal);
    auto* x = axes.isEmpty() ? nullptr : qobject_cast<QDateTimeAxis*>(axes.front());
    if (!x)
        return;
    const QFontMetrics fm(x->labelsFont());
    const int room = std::max(0, chart_->width() - kChartFrame);
    ChartScale::Time t;
    for (int steps = ChartScale::kMaxTimeSteps; steps >= 1; --steps) {
        t = ChartScale::time(chartFrom_, now_, steps);
        const QString label =
            QDateTime::fromSecsSinceEpoch(t.to).toString(QString::fromLatin1(t.format.c_str()));
        if ((t.ticks - 1) * (fm.horizontalAdvance(label) + 2 * fm.averageCharWidth()) <= room)
            break;
    }
    x->setFormat(QString::fromLatin1(t.format.c_str()));
    x->setRange(QDateTime::fromSecsSinceEpoch(t.from), QDateTime::fromSecsSinceEpoch(t.to));
    x->setTickCount(t.ticks);
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
    fitTimeAxis();
    hint_->setGeometry(0, top, w, std::max(0, h - top));
}

void HistoryPanel::showHint(const QString& heading, const QString& hint) {
    heading_->setText(heading);
    hint_->setText(hint);
    if (!hint.isEmpty())
        figures_->clear();
    for (QWidget* w :
         {static_cast<QWidget*>(figures_), static_cast<QWidget*>(incidentsLabel_),
          static_cast<QWidget*>(incidents_), static_cast<QWidget*>(range_), static_cast<QWidget*>(chart_)})
        w->setVisible(hint.isEmpty());
    hint_->setVisible(!hint.isEmpty());
}

std::time_t HistoryPanel::rangeSeconds() const {
    static constexpr std::time_t kDays[] = {1, 7, 30, 365};
    const int i = std::clamp(range_->currentIndex(), 0, static_cast<int>(std::size(kDays)) - 1);
    return kDays[i] * kDay;
}

HistoryPanelRequest HistoryPanel::request(const std::string& url, const std::string& title,
                                          std::time_t now) const {
    return {url, title, now, rangeSeconds()};
}

void HistoryPanel::showData(const HistoryPanelData& data) {
    now_ = data.request.now;
    url_ = data.request.url;
    title_ = data.request.title;
    incidents_->clear();
    QChart* chart = chart_->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis); // hands the axis back to its caller
        delete axis;
    }
    points_ = failures_ = gaps_ = 0;
    chart_->setAccessibleDescription(QString());

    if (!data.available) {
        const QString problem = QtText::toQt(data.problem);
        showHint(QString::fromLatin1(kUnavailableText),
                 problem.isEmpty() ? QString::fromLatin1(kUnavailableText) : problem);
    } else if (url_.empty() && title_.empty()) {
        showHint(QStringLiteral("History"), QString::fromLatin1(kSelectSiteText));
    } else {
        showFigures(data);
    }
    emit dataShown();
}

void HistoryPanel::showFigures(const HistoryPanelData& data) {
    const std::time_t now = data.request.now;
    const SiteSummary& s = data.summary;
    showHint(QStringLiteral("History of ") + QtText::toQt(title_), QString());
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
    drawChart(data);
}

void HistoryPanel::drawChart(const HistoryPanelData& data) {
    QChart* chart = chart_->chart();
    const std::time_t now = data.request.now;
    const std::time_t span = data.request.span;
    const std::vector<SeriesPoint>& points = data.points;
    // The time not monitored is a gap: the line breaks there and a grey band
    // covers it.
    const std::vector<UnmonitoredStretch>& stretches = data.stretches;
    auto gapBetween = [&stretches](std::time_t a, std::time_t b) {
        return std::any_of(stretches.begin(), stretches.end(),
                           [&](const UnmonitoredStretch& g) { return g.from < b && g.to > a; });
    };
    std::vector<QLineSeries*> lines;
    auto* times = new QLineSeries;
    times->setName(QStringLiteral("Response time"));
    lines.push_back(times);
    std::time_t lastTimed = 0;
    auto* failed = new QScatterSeries;
    failed->setName(QStringLiteral("Failed checks"));
    failed->setColor(QColor(0xd0, 0x20, 0x20));
    failed->setBorderColor(QColor(0xd0, 0x20, 0x20));
    failed->setMarkerSize(7);
    double highest = -1;
    for (const SeriesPoint& p : points) {
        const qreal x = static_cast<qreal>(p.time) * 1000.0;
        if (p.failed) {
            // A failed check that was answered shows at its time, one that was not at zero.
            failed->append(x, std::max(p.totalMs, 0));
            highest = std::max(highest, static_cast<double>(p.totalMs));
            ++failures_;
        } else if (p.totalMs >= 0) {
            if (lastTimed && gapBetween(lastTimed, p.time)) {
                times = new QLineSeries;
                lines.push_back(times);
            }
            lastTimed = p.time;
            times->append(x, p.totalMs);
            highest = std::max(highest, static_cast<double>(p.totalMs));
            ++points_;
        }
    }
    const ChartScale::Value v = ChartScale::value(highest);
    // The line and the marks first, so that they keep the colours they have
    // without gaps; the band, translucent, lies over the break in the line.
    std::vector<QAbstractSeries*> drawn(lines.begin(), lines.end());
    drawn.push_back(failed);
    for (const UnmonitoredStretch& g : stretches) {
        auto* top = new QLineSeries;
        auto* bottom = new QLineSeries;
        for (const std::time_t t : {std::max(g.from, now - span), std::min(g.to, now)}) {
            top->append(static_cast<qreal>(t) * 1000.0, v.max);
            bottom->append(static_cast<qreal>(t) * 1000.0, v.min);
        }
        auto* band = new QAreaSeries(top, bottom);
        band->setName(QStringLiteral("Not monitored"));
        band->setColor(QColor(0x80, 0x80, 0x80, 0x50));
        band->setBorderColor(QColor(0x80, 0x80, 0x80, 0x50));
        drawn.push_back(band);
    }
    gaps_ = static_cast<int>(stretches.size());
    for (QAbstractSeries* series : drawn)
        chart->addSeries(series);
    // A check alone between two gaps would draw no line: it shows as a point.
    for (QLineSeries* line : lines) {
        line->setColor(lines.front()->color());
        line->setPointsVisible(line->count() == 1);
    }
    // A history shorter than the range fills the chart rather than a sliver at its right edge.
    chartFrom_ = points.empty() ? now - span : points.front().time;
    auto* xAxis = new QDateTimeAxis;
    auto* yAxis = new QValueAxis;
    yAxis->setRange(v.min, v.max);
    yAxis->setTickType(QValueAxis::TicksDynamic);
    yAxis->setTickAnchor(0);
    yAxis->setTickInterval(v.step);
    yAxis->setLabelFormat(QStringLiteral("%d"));
    yAxis->setTitleText(QStringLiteral("ms"));
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
    for (QAbstractSeries* series : drawn) {
        series->attachAxis(xAxis);
        series->attachAxis(yAxis);
    }
    fitTimeAxis();
    // The chart's text alternative: the summary and the figures of the range shown.
    const RangeFigures& f = data.figures;
    chart_->setAccessibleDescription(
        figures_->text().replace(QLatin1Char('\n'), QStringLiteral("; ")) +
        QStringLiteral(". %1: %2 checks, %3 failed, uptime %4, average response %5, 95th percentile %6.")
            .arg(range_->currentText())
            .arg(f.checks)
            .arg(f.failures)
            .arg(percent(f.uptime()), millis(f.averageMs), millis(f.p95Ms)));
}

QPair<QDateTime, QDateTime> HistoryPanel::chartTimeRange() const {
    for (QAbstractAxis* axis : chart_->chart()->axes(Qt::Horizontal))
        if (auto* t = qobject_cast<QDateTimeAxis*>(axis))
            return {t->min(), t->max()};
    return {};
}

int HistoryPanel::chartTimeTicks() const {
    for (QAbstractAxis* axis : chart_->chart()->axes(Qt::Horizontal))
        if (auto* t = qobject_cast<QDateTimeAxis*>(axis))
            return t->tickCount();
    return 0;
}

QPair<double, double> HistoryPanel::chartValueRange() const {
    for (QAbstractAxis* axis : chart_->chart()->axes(Qt::Vertical))
        if (auto* v = qobject_cast<QValueAxis*>(axis))
            return {v->min(), v->max()};
    return {};
}

QString HistoryPanel::figuresText() const {
    return heading_->text() + QLatin1Char('\n') + figures_->text();
}

int HistoryPanel::incidentCount() const {
    return incidents_->count() == 1 && incidents_->item(0)->text().startsWith(QStringLiteral("No incident"))
               ? 0
               : incidents_->count();
}

void HistoryPanel::setRange(int index) {
    range_->setCurrentIndex(index);
}

QString HistoryPanel::hintText() const {
    return hint_->isVisibleTo(this) ? hint_->text() : QString();
}

int HistoryPanel::chartPoints() const {
    return points_;
}
int HistoryPanel::chartFailures() const {
    return failures_;
}
int HistoryPanel::chartGaps() const {
    return gaps_;
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
