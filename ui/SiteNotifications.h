#pragma once

#include "monitor/SiteChange.h"
#include "ui/DesktopNotifier.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {

// Desktop notifications a site at a time, that can be acted on: each site
// has one notification, replaced in place as its state changes (down is
// critical, back up is normal), offering "Open site", "Check again" and
// "Snooze 1 h". A pass where many sites change gives one summary instead.
// Also follows the service's do-not-disturb (its Inhibited property, where
// it has one). Calls go out without waiting for their answers.
class SiteNotifications : public QObject {
    Q_OBJECT
public:
    // More changes than this in one pass are announced as one summary.
    static constexpr std::size_t kMaxSeparate = 5;
    static constexpr const char* kOpenAction = "open";
    static constexpr const char* kCheckAction = "check";
    static constexpr const char* kSnoozeAction = "snooze";

    // Sends on the bus of `notifier`, whose summaries it also uses.
    explicit SiteNotifications(DesktopNotifier& notifier, QObject* parent = nullptr);

    // Listens for the actions and do-not-disturb, and reads whether it is on.
    void start();
    // False when there is no bus to send to. As one summary when asked, or
    // inside asSummary().
    bool notify(const std::vector<SiteChange>& changes, bool asOne = false);
    // Runs `step`, during which notifications go out as one summary (the
    // release of what do-not-disturb held).
    void asSummary(const std::function<void()>& step);
    bool summarizing() const { return summary_; }
    bool inhibited() const { return inhibited_; }

    // The notification shown for a site now, if any (its id).
    std::optional<uint> shownFor(const std::string& title, const std::string& url) const;

signals:
    void openSiteRequested(const QString& url);
    void checkAgainRequested(const QString& title, const QString& url);
    void snoozeRequested(const QString& title, const QString& url);
    void inhibitedChanged(bool on);

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onClosed(uint id, uint reason);
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated);

private:
    QDBusConnection bus() { return notifier_.bus(); }
    bool notifyOne(const SiteChange& change);
    bool send(uint replaces, const QString& summary, const QString& body, const QStringList& actions,
              bool critical, std::function<void(uint)> shown);
    void setInhibited(bool on);

    DesktopNotifier& notifier_;
    bool started_ = false;
    bool summary_ = false;
    bool inhibited_ = false;
    struct Shown {
        std::string title;
        std::string url;
    };
    std::map<std::string, uint> ids_; // by title and URL
    std::map<uint, Shown> sites_;     // by notification id
};

} // namespace vantrel
