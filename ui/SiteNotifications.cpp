#include "ui/SiteNotifications.h"

#include "ui/DesktopNotifier.h"
#include "ui/NotificationImage.h"
#include "ui/QtText.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QStringList>

#include <algorithm>

namespace vantrel {

namespace {

const QString kService = QString::fromLatin1(DesktopNotifier::kService);
const QString kPath = QString::fromLatin1(DesktopNotifier::kPath);
const QString kInterface = QString::fromLatin1(DesktopNotifier::kInterface);
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

std::string keyOf(const std::string& title, const std::string& url) {
    return title + "\n" + url;
}

} // namespace

SiteNotifications::SiteNotifications(DesktopNotifier& notifier, QObject* parent)
    : QObject(parent), notifier_(notifier) {}

void SiteNotifications::start() {
    if (started_ || !bus().isConnected())
        return;
    started_ = true;
    QDBusConnection b = bus();
    b.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
              SLOT(onActionInvoked(uint, QString)));
    b.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
              SLOT(onClosed(uint, uint)));
    b.connect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
              SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
    // A service without the property answers with an error: never inhibited.
    QDBusMessage get = QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
    get << kInterface << QStringLiteral("Inhibited");
    auto* watcher = new QDBusPendingCallWatcher(b.asyncCall(get, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<QDBusVariant> reply = *w;
        if (!reply.isError())
            setInhibited(reply.value().variant().toBool());
        w->deleteLater();
    });
}

void SiteNotifications::setInhibited(bool on) {
    if (on == inhibited_)
        return;
    inhibited_ = on;
    emit inhibitedChanged(on);
}

void SiteNotifications::onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                            const QStringList& invalidated) {
    (void)invalidated;
    if (interface == kInterface && changed.contains(QStringLiteral("Inhibited")))
        setInhibited(changed.value(QStringLiteral("Inhibited")).toBool());
}

void SiteNotifications::asSummary(const std::function<void()>& step) {
    summary_ = true;
    step();
    summary_ = false;
}

bool SiteNotifications::notify(const std::vector<SiteChange>& changes, bool asOne) {
    if (changes.empty() || !bus().isConnected())
        return false;
    if (asOne || summary_ || changes.size() > kMaxSeparate)
        return send(
            0, DesktopNotifier::summaryFor(changes), DesktopNotifier::bodyFor(changes).toHtmlEscaped(), {},
            std::any_of(changes.begin(), changes.end(), [](const SiteChange& c) { return !c.recovered; }),
            {});
    bool sent = true;
    for (const SiteChange& c : changes)
        sent = notifyOne(c) && sent;
    return sent;
}

bool SiteNotifications::notifyOne(const SiteChange& c) {
    const std::string key = keyOf(c.title, c.url);
    auto shown = ids_.find(key);
    const uint replaces = shown != ids_.end() ? shown->second : 0;
    const QString name = QtText::toQt(c.title.empty() ? c.url : c.title);
    const QString what =
        c.recovered ? QStringLiteral("OK again") : QtText::toQt(c.reason.empty() ? c.status : c.reason);
    // Notification servers may read the body as simple markup: escaped.
    const QString body = QStringLiteral("%1 (%2)").arg(what, QtText::toQt(c.url)).toHtmlEscaped();
    QStringList actions{QString::fromLatin1(kOpenAction), QStringLiteral("Open site")};
    if (!c.recovered)
        actions << QString::fromLatin1(kCheckAction) << QStringLiteral("Check again")
                << QString::fromLatin1(kSnoozeAction) << QStringLiteral("Snooze 1 h");
    const Shown site{c.title, c.url};
    return send(replaces, DesktopNotifier::summaryFor({c}), body, actions, !c.recovered,
                [this, key, site](uint id) {
                    auto old = ids_.find(key);
                    if (old != ids_.end() && old->second != id)
                        sites_.erase(old->second);
                    ids_[key] = id;
                    sites_[id] = site;
                });
}

bool SiteNotifications::send(uint replaces, const QString& summary, const QString& body,
                             const QStringList& actions, bool critical, std::function<void(uint)> shown) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(critical ? 2 : 1))); // critical, normal
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("org.vantrel.vantrel"));
    const NotificationImage& icon = DesktopNotifier::appIcon();
    if (icon.width > 0)
        hints.insert(QStringLiteral("image-data"), QVariant::fromValue(icon));
    call << QStringLiteral("Vantrel") << replaces << QStringLiteral("vantrel") << summary << body << actions
         << hints << int(-1);
    call.setAutoStartService(true);
    if (!shown)
        return bus().send(call);
    auto* watcher = new QDBusPendingCallWatcher(bus().asyncCall(call, 10000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [shown = std::move(shown)](QDBusPendingCallWatcher* w) {
                const QDBusPendingReply<uint> reply = *w;
                if (!reply.isError())
                    shown(reply.value());
                w->deleteLater();
            });
    return bus().isConnected();
}

void SiteNotifications::onActionInvoked(uint id, const QString& action) {
    auto site = sites_.find(id);
    if (site == sites_.end())
        return; // another program's notification, or one of ours since replaced
    const QString title = QtText::toQt(site->second.title), url = QtText::toQt(site->second.url);
    if (action == QLatin1String(kOpenAction))
        emit openSiteRequested(url);
    else if (action == QLatin1String(kCheckAction))
        emit checkAgainRequested(title, url);
    else if (action == QLatin1String(kSnoozeAction))
        emit snoozeRequested(title, url);
}

void SiteNotifications::onClosed(uint id, uint reason) {
    (void)reason;
    auto site = sites_.find(id);
    if (site == sites_.end())
        return;
    ids_.erase(keyOf(site->second.title, site->second.url));
    sites_.erase(site);
}

std::optional<uint> SiteNotifications::shownFor(const std::string& title, const std::string& url) const {
    auto shown = ids_.find(keyOf(title, url));
    return shown == ids_.end() ? std::nullopt : std::optional<uint>(shown->second);
}

} // namespace vantrel
