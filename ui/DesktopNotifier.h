#pragma once

#include "monitor/SiteChange.h"

#include <QDBusConnection>
#include <QString>

#include <optional>
#include <vector>

namespace vantrel {

// Desktop notifications through the freedesktop notification service
// (org.freedesktop.Notifications on the session bus), which every Linux
// desktop runs; it needs no tray. One call announces all the sites that
// changed in a check pass. The call is sent without waiting for its answer,
// so a service that hangs holds nothing up; without a session bus or a
// service nothing is shown.
class DesktopNotifier {
public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";
    static constexpr const char* kInterface = "org.freedesktop.Notifications";
    // The side of the icon sent with each notification, in pixels.
    static constexpr int kIconSize = 48;

    // Without a bus given, the session bus is looked up at the first
    // notification, so a run that never notifies (headless) never connects.
    DesktopNotifier() = default;
    explicit DesktopNotifier(QDBusConnection bus) : bus_(std::move(bus)) {}

    // False when there is no bus to send to.
    bool notify(const std::vector<SiteChange>& changes);
    // One notification of plain text; urgent ones are marked critical.
    bool notify(const QString& summary, const QString& body, bool urgent);
    // The bus notifications go to (the session bus unless one was given).
    QDBusConnection bus() {
        if (!bus_)
            bus_ = QDBusConnection::sessionBus();
        return *bus_;
    }

    // The notification's title and plain text for these changes.
    static QString summaryFor(const std::vector<SiteChange>& changes);
    static QString bodyFor(const std::vector<SiteChange>& changes);

private:
    std::optional<QDBusConnection> bus_;
};

} // namespace vantrel
