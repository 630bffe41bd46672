#include "app/DesktopAlerts.h"

#include "app/DesktopIntegration.h"
#include "monitor/MonitorView.h"
#include "ui/DesktopNotifier.h"
#include "ui/QtText.h"
#include "ui/TrayIcon.h"

#include <cstdio>

namespace vantrel {

DesktopAlerts::DesktopAlerts(DesktopIntegration& desktop, MonitorView& window,
                             std::function<bool()> notificationsOn, QObject* parent)
    : QObject(parent), desktop_(desktop), window_(window), notificationsOn_(std::move(notificationsOn)) {}

bool DesktopAlerts::notifying() const {
    // Without a display no one would see it.
    return !unattended_ && notificationsOn_ && notificationsOn_();
}

void DesktopAlerts::siteChanges(const std::vector<SiteChange>& changes) {
    if (changes.empty() || !notifying())
        return;
    desktop_.showSiteChanges(changes);
}

void DesktopAlerts::certificateEnding(const std::string& title, const std::string& url, int daysLeft) {
    if (!notifying())
        return;
    const QString days = daysLeft == 1 ? QStringLiteral("1 day") : QStringLiteral("%1 days").arg(daysLeft);
    desktop_.showNotification(QStringLiteral("Vantrel Certificate Warning"),
                              QStringLiteral("%1 (%2): the certificate ends in %3.")
                                  .arg(QtText::toQt(title), QtText::toQt(url), days),
                              false);
}

void DesktopAlerts::mailResult(bool ok, const std::string& when, const std::string& errorText) {
    // The Status field and the log keep their texts; the failure shows in its
    // own line and in the tray's tip until a mail goes out again.
    const QString failure =
        ok ? QString()
           : QStringLiteral("Mail failed %1: %2").arg(QtText::toQt(when), QtText::oneLine(errorText));
    // Without a display the failure would otherwise be seen nowhere.
    if (!ok && unattended_)
        std::fprintf(stderr, "%s\n", failure.toLocal8Bit().constData());
    setFailure(failure);
}

void DesktopAlerts::alertResult(bool ok, const std::string& when, const std::string& errorText) {
    // A channel's failure shows where a mail's does; its success clears
    // only a channel's failure, never a mail's.
    if (ok && !failure_.startsWith(QStringLiteral("Alert failed")))
        return;
    setFailure(
        ok ? QString()
           : QStringLiteral("Alert failed %1: %2").arg(QtText::toQt(when), QtText::oneLine(errorText)));
}

void DesktopAlerts::saveFailed(const std::string& text, const std::string& caption) {
    window_.messageBox(text, caption);
}

void DesktopAlerts::setFailure(const QString& failure) {
    failure_ = failure;
    desktop_.tray().setNotice(failure_);
    emit failureChanged(statusLine());
}

void DesktopAlerts::connectionVerdict(const QString& statusText, const QString& notification) {
    if (!notification.isEmpty()) {
        // Without a display the one notice of the spell goes to standard error.
        if (unattended_)
            std::fprintf(stderr, "%s\n", notification.toLocal8Bit().constData());
        else if (notifying())
            desktop_.showNotification(QStringLiteral("Vantrel"), notification, false);
    }
    if (statusText == verdict_)
        return;
    verdict_ = statusText;
    emit failureChanged(statusLine());
}

} // namespace vantrel
