#pragma once

#include "notify/ChannelDelivery.h"
#include "notify/ChannelHub.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <map>
#include <string>

namespace vantrel {

class CSiteMonitorDlg;

// Connects the alert channels of the settings to the engine: reads each
// channel's secret (its token file, the keyring, or on a headless run the
// secrets file), starts its sender, and brings every send's failure to
// where mail failures show, and to standard error on a headless run. The
// settings are looked at every few seconds, so channels that Preferences
// changed are taken up without a call from it; a changed secret is
// announced through secretsChanged().
class ChannelsWiring : public QObject, private DeliveryListener {
    Q_OBJECT
public:
    explicit ChannelsWiring(CSiteMonitorDlg& dialog, bool headless, QObject* parent = nullptr);
    ~ChannelsWiring() override;

    // Reads the outbox of the last run and starts the channels.
    void start();
    ChannelHub& hub() { return hub_; }

    // A channel's secret changed in the keyring: read the secrets again.
    static void secretsChanged() { ++secretsGeneration_; }

private:
    void delivered(const DeliveryReport& report) override;
    void show(const DeliveryReport& report);
    void applyIfChanged();
    void apply();
    void tell(const std::string& line);

    CSiteMonitorDlg& dialog_;
    bool headless_;
    ChannelHub hub_;
    QTimer poll_;
    std::map<int, std::string> applied_[3];
    int appliedGeneration_ = -1;
    int pending_ = 0; // keyring reads not yet answered
    static std::atomic<int> secretsGeneration_;
};

} // namespace vantrel
