#include "app/TriageWiring.h"

#include "model/Clock.h"
#include "monitor/SiteMonitor.h"
#include "monitor/SnoozeChoice.h"
#include "ui/QtText.h"
#include "ui/SiteListModel.h"
#include "ui/SiteNotifications.h"
#include "ui/TrayIcon.h"

#include <QDesktopServices>
#include <QUrl>

#include <algorithm>

namespace vantrel {

TriageWiring::TriageWiring(SiteMonitor& engine, TrayIcon& tray, SiteNotifications& notifications,
                           SiteListModel& model, Clock& clock, QObject* parent)
    : QObject(parent), engine_(engine), tray_(tray), notifications_(notifications), model_(model),
      clock_(clock) {
    openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
    refresh_.setSingleShot(true);
    connect(&refresh_, &QTimer::timeout, this, &TriageWiring::refresh);
    // A pass changes rows by the hundred a second: the tray then follows at
    // most every kPassRefresh, and once more after its last row.
    auto later = [this] {
        if (!engine_.passRunning())
            refresh_.start(0);
        else if (!refresh_.isActive())
            refresh_.start(kPassRefresh);
    };
    connect(&model_, &QAbstractItemModel::dataChanged, this, later);
    connect(&model_, &QAbstractItemModel::rowsInserted, this, later);
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, later);
    connect(&model_, &QAbstractItemModel::modelReset, this, later);
    release_.setSingleShot(true);
    connect(&release_, &QTimer::timeout, this, [this] {
        engine_.releaseHeld();
        model_.statesChanged();
        armRelease();
    });

    connect(&tray_, &TrayIcon::siteChosen, this, [this](const QString& title, const QString& url) {
        const int row = rowOf(title, url);
        if (row >= 0 && openRow)
            openRow(row);
    });
    connect(&tray_, &TrayIcon::checkAllRequested, this, [this] {
        std::vector<int> rows(static_cast<std::size_t>(engine_.sites().rowCount()));
        for (std::size_t i = 0; i < rows.size(); ++i)
            rows[i] = static_cast<int>(i);
        engine_.checkNow(rows);
    });
    connect(&tray_, &TrayIcon::snoozeAllRequested, this, [this](int choice) {
        engine_.snoozeAll(SnoozeEnd::of(static_cast<SnoozeChoice>(choice), clock_.now()));
        model_.statesChanged();
    });

    connect(&notifications_, &SiteNotifications::openSiteRequested, this, [this](const QString& url) {
        if (openUrl)
            openUrl(url);
    });
    connect(&notifications_, &SiteNotifications::checkAgainRequested, this,
            [this](const QString& title, const QString& url) {
                const int row = rowOf(title, url);
                if (row >= 0)
                    engine_.checkNow({row});
            });
    connect(&notifications_, &SiteNotifications::snoozeRequested, this,
            [this](const QString& title, const QString& url) {
                const int row = rowOf(title, url);
                if (row < 0)
                    return;
                engine_.snooze(row, SnoozeEnd::of(SnoozeChoice::OneHour, clock_.now()));
                armRelease();
            });
    // When do-not-disturb ends, what it held is given as one summary.
    connect(&notifications_, &SiteNotifications::inhibitedChanged, this,
            [this](bool on) { notifications_.asSummary([this, on] { engine_.setDoNotDisturb(on); }); });
}

int TriageWiring::rowOf(const QString& title, const QString& url) const {
    const SiteList& sites = engine_.sites();
    const std::string t = QtText::fromQt(title), u = QtText::fromQt(url);
    for (int i = 0; i < sites.rowCount(); ++i) {
        const SiteEntry& e = sites.row(i);
        // A site without a title goes by its URL in the tray.
        if (e.url == u && (e.title == t || (e.title.empty() && t == u)))
            return i;
    }
    return -1;
}

void TriageWiring::refresh() {
    digest_.update(engine_.sites(), clock_.now());
    tray_.setDigest(digest_, clock_.now());
    // A snooze set or a pass that held an alert: its release is due then.
    armRelease();
}

void TriageWiring::armRelease() {
    const std::optional<std::time_t> next = engine_.nextRelease();
    if (!next) {
        release_.stop();
        return;
    }
    // At least a second on, so a release that finds nothing to do yet
    // cannot spin; a timer's interval holds some 24 days at most.
    const std::time_t wait = std::clamp<std::time_t>(*next - clock_.now(), 1, 24 * 3600);
    release_.start(static_cast<int>(wait * 1000));
}

} // namespace vantrel
