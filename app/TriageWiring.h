#pragma once

#include "monitor/TrayDigest.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class QAbstractItemModel;

namespace vantrel {

class Clock;
class SiteListModel;
class SiteMonitor;
class SiteNotifications;
class TrayIcon;

// Joins the tray, the desktop notifications and the list's state column to
// the engine's triage commands: the failing sites on the tray (badge, tip,
// menu) follow the rows; the tray's "Check all now" and "Snooze alerts", a
// notification's "Check again" and "Snooze 1 h" reach the engine; the
// desktop's do-not-disturb holds what the engine holds; and the alerts a
// snooze or the quiet hours held are released when their time comes.
class TriageWiring : public QObject {
    Q_OBJECT
public:
    TriageWiring(SiteMonitor& engine, TrayIcon& tray, SiteNotifications& notifications, SiteListModel& model,
                 Clock& clock, QObject* parent = nullptr);

    // The window's part: show the window with this row chosen in the list.
    std::function<void(int row)> openRow;
    // Opens a site's page in the browser (by default the desktop's).
    std::function<void(const QString& url)> openUrl;

    // The row of a site by title and URL (as the tray and the notifications
    // name it), or -1 once it is gone.
    int rowOf(const QString& title, const QString& url) const;
    const TrayDigest& digest() const { return digest_; }

private:
    void refresh();
    void armRelease();

    SiteMonitor& engine_;
    TrayIcon& tray_;
    SiteNotifications& notifications_;
    SiteListModel& model_;
    Clock& clock_;
    TrayDigest digest_;
    static constexpr int kPassRefresh = 100; // ms
    QTimer refresh_;                         // coalesces the row changes of a pass
    QTimer release_;
};

} // namespace vantrel
