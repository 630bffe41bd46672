#pragma once

#include "app/InstanceGuard.h"

#include <QObject>

namespace vantrel {

class Clock;
class MonitorView;
class SiteMonitor;

// Runs the command line's commands in the running instance, on its own
// rows, so the window shows each change at once: list, add, remove, an
// import's new sites (each written to the site list file straight away, as
// the command line would have written it) and check-now (a pass over the
// named sites; its reply waits for the pass to end). While a check pass
// runs, a command that changes rows is answered "busy" and the command line
// asks again.
class FolderCommandServer : public QObject {
    Q_OBJECT
public:
    // Its changes show in `view`; added sites are dated by `clock`.
    FolderCommandServer(SiteMonitor& engine, MonitorView& view, const Clock& clock,
                        QObject* parent = nullptr);

    void handle(const QByteArray& line, InstanceGuard::Reply reply);

private:
    SiteMonitor& engine_;
    MonitorView& view_;
    const Clock& clock_;
};

} // namespace vantrel
