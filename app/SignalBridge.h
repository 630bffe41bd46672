#pragma once

#include <QObject>

class QSocketNotifier;

namespace vantrel {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the user-interface
// thread through a self-pipe: the handler only writes one byte, the work is
// done by whoever connects to terminationRequested.
class SignalBridge : public QObject {
    Q_OBJECT
public:
    explicit SignalBridge(QObject* parent = nullptr);
    ~SignalBridge() override;

signals:
    void terminationRequested(int signal);

private:
    void readSignal();
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace vantrel
