#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <ctime>
#include <vector>

namespace vantrel {

class TrayDigest;

// The notification-area icon: shows the monitoring state (start, the "on"
// animation, off, alert) and leads back to the main window. Driven from the
// user-interface thread only; a newer state replaces an animation that is
// still running, so the last state asked for is the one that stays. Without
// a system tray the same states are still tracked and announced through
// stateChanged, so the window can show them.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    // Icon ids of the states, as the resources number them.
    static constexpr int kAppIcon = 128;
    static constexpr int kAlertIcon = 138;
    static constexpr int kOnFrame1 = 139;
    static constexpr int kOnFrame2 = 140;
    static constexpr int kOnIcon = 141;
    static constexpr int kOffIcon = 142;
    static constexpr int kSlowIcon = 143;
    static constexpr int kFrameMs = 1000;
    // The sizes, besides 32, at which the tray states are drawn.
    static constexpr int kTraySizes[] = {16, 22, 24, 48};

    explicit TrayIcon(QObject* parent = nullptr);

    static QIcon icon(int id);
    static bool trayAvailable();
    // Whether the desktop's tray is a D-Bus StatusNotifierItem host rather
    // than an XEmbed tray: Qt takes the first when a StatusNotifierWatcher
    // with a host is registered on the session bus, and so does this test
    // (looked at once, as Qt does).
    static bool statusNotifierTray();

    void add();    // the start state: application icon, tip "Vantrel"
    void remove(); // hides the icon; stops any animation
    void showOn(); // frames 139, 140, 139 one second apart, ending on 141
    void showOff();
    void showAlert();
    // No site down, but one or more slow: a clock, tip "Vantrel: Slow".
    void showSlow();
    // While offline every state but "off" has the tip "Vantrel: Offline".
    void setOffline(bool offline);
    // A desktop notification from the icon, where the tray can show one.
    void notify(const QString& title, const QString& text);

    // A line under the state's tip, such as the last failed mail; empty: none.
    void setNotice(const QString& notice);
    // The failing sites: their count on the icon, each with its reason and
    // since when in the tip, and each in the menu, where choosing one asks
    // for its row.
    void setDigest(const TrayDigest& digest, std::time_t now);
    int badgeCount() const { return down_ > 0 ? down_ : slow_; }
    QIcon shownIcon() const { return shownIcon_; }

    int iconId() const { return iconId_; }
    QString tip() const { return tip_; } // the state's own tip
    QString toolTip() const;             // the tip as shown, with the notice
    bool animating() const { return animation_.isActive(); }
    bool visible() const { return tray_.isVisible(); }
    QMenu* menu() { return &menu_; }

    QAction* helpAction() const { return help_; }
    QAction* quitAction() const { return quit_; }
    QAction* preferencesAction() const { return preferences_; }
    QAction* checkAllAction() const { return checkAll_; }
    QMenu* snoozeMenu() { return &snooze_; }
    // The failing sites' entries at the top of the menu, in the digest's order.
    const std::vector<QAction*>& siteActions() const { return siteActions_; }

signals:
    void restoreRequested();
    void helpRequested();
    void quitRequested();
    void preferencesRequested();
    void stateChanged(int iconId, const QString& tip);
    void siteChosen(const QString& title, const QString& url);
    void checkAllRequested();
    // 0: one hour, 1: four hours, 2: until tomorrow 08:00 (SnoozeChoice).
    void snoozeAllRequested(int choice);

private:
    static QIcon loadIcon(int id);
    void setState(int iconId, const QString& tip);
    QString shownTip(int iconId, const QString& tip) const;
    void nextFrame();
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void showIcon();

    QSystemTrayIcon tray_;
    QMenu menu_;
    QAction* help_ = nullptr;
    QAction* quit_ = nullptr;
    QAction* preferences_ = nullptr;
    QAction* checkAll_ = nullptr;
    QAction* more_ = nullptr;     // "and N more", under the failing sites listed
    QAction* sitesEnd_ = nullptr; // the separator under the failing sites
    QMenu snooze_;
    std::vector<QAction*> siteActions_;
    QStringList siteKeys_; // what the site entries show, to rebuild them only on a change
    QString digestTip_;
    int down_ = 0;
    int slow_ = 0;
    QIcon shownIcon_;
    int shownKey_ = -1; // the state and counts shownIcon_ was drawn for
    QTimer animation_;
    int frame_ = 0;
    int iconId_ = 0;
    QString tip_;
    QString notice_;
    QString stateTip_; // the state's own tip, before the offline mark
    bool offline_ = false;
    bool added_ = false;
    // What the last state was shown with: a state set again alike is no change.
    bool stated_ = false;
    bool statedAdded_ = false;
    bool statedAvailable_ = false;
};

} // namespace vantrel
