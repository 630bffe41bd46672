#include "ui/DesktopNotifier.h"

#include "ui/NotificationImage.h"
#include "ui/QtText.h"
#include "ui/TrayIcon.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace vantrel {

namespace {

QString siteName(const SiteChange& c) {
    return QtText::toQt(c.title.empty() ? c.url : c.title);
}

} // namespace

QString DesktopNotifier::summaryFor(const std::vector<SiteChange>& changes) {
    int failed = 0;
    for (const SiteChange& c : changes)
        failed += c.recovered ? 0 : 1;
    const int recovered = static_cast<int>(changes.size()) - failed;
    if (changes.size() == 1)
        return QStringLiteral("Vantrel: %1 %2").arg(siteName(changes[0]), failed ? "failed" : "is back");
    QStringList parts;
    if (failed)
        parts << QStringLiteral("%1 %2 failed").arg(failed).arg(failed == 1 ? "site" : "sites");
    if (recovered)
        parts << QStringLiteral("%1 %2 back").arg(recovered).arg(recovered == 1 ? "site is" : "sites are");
    return QStringLiteral("Vantrel: ") + parts.join(QStringLiteral(", "));
}

QString DesktopNotifier::bodyFor(const std::vector<SiteChange>& changes) {
    QStringList lines;
    for (const SiteChange& c : changes) {
        const QString what = c.recovered ? QStringLiteral("OK again") : QtText::toQt(c.status);
        lines << QStringLiteral("%1: %2 (%3)").arg(siteName(c), what, QtText::toQt(c.url));
    }
    return lines.join(QLatin1Char('\n'));
}

bool DesktopNotifier::notify(const std::vector<SiteChange>& changes) {
    if (changes.empty())
        return false;
    bool anyFailed = false;
    for (const SiteChange& c : changes)
        anyFailed = anyFailed || !c.recovered;
    return notify(summaryFor(changes), bodyFor(changes), anyFailed);
}

bool DesktopNotifier::notify(const QString& summary, const QString& body, bool urgent) {
    if (!bus_)
        bus_ = QDBusConnection::sessionBus();
    if (!bus_->isConnected())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kInterface), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"),
                 QVariant::fromValue(uchar(urgent ? 2 : 1))); // critical, normal
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("org.vantrel.vantrel"));
    // The icon goes along as pixels: services that cannot find the installed
    // name in their icon path show it all the same.
    static const NotificationImage icon = [] {
        NotificationImage::registerType();
        return NotificationImage::from(
            TrayIcon::icon(TrayIcon::kAppIcon)
                .pixmap(kIconSize, kIconSize)
                .toImage()
                .scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }();
    if (icon.width > 0)
        hints.insert(QStringLiteral("image-data"), QVariant::fromValue(icon));
    call << QStringLiteral("Vantrel") // app_name
         << uint(0)                   // replaces_id: a new notification
         << QStringLiteral("vantrel") // app_icon: the installed icon's name
         // Notification servers may read the body as simple markup: escaped.
         << summary << body.toHtmlEscaped() << QStringList() // no actions
         << hints << int(-1);                                // the server's own timeout
    // Sent without waiting: the answer (the notification's id) is not needed.
    call.setAutoStartService(true);
    return bus_->send(call);
}

} // namespace vantrel
