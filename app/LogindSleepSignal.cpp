#include "app/LogindSleepSignal.h"

#include "monitor/SiteMonitor.h"

#include <QTimer>

namespace vantrel {

LogindSleepSignal::LogindSleepSignal(SiteMonitor& engine, QDBusConnection bus, QObject* parent)
    : QObject(parent), engine_(engine) {
    listening_ = bus.isConnected() && bus.connect("org.freedesktop.login1", "/org/freedesktop/login1",
                                                  "org.freedesktop.login1.Manager", "PrepareForSleep", this,
                                                  SLOT(prepareForSleep(bool)));
}

void LogindSleepSignal::prepareForSleep(bool start) {
    if (start)
        engine_.beforeSleep();
    else
        QTimer::singleShot(0, this, [this] { engine_.resumed(); });
}

} // namespace vantrel
