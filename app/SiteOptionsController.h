#pragma once

#include <functional>

class QWidget;

namespace vantrel {

class KeyringSecretStore;
class MonitorView;
class PassGate;
class SiteMonitor;

// The site logins' secrets and the "Advanced..." dialog of the current
// entry: reads the secrets of every row with a login before the first pass,
// opens the entry's check options (never inside a pass), and stores a new
// secret in the keyring, saying so when the keyring does not take it.
class SiteOptionsController {
public:
    SiteOptionsController(SiteMonitor& engine, KeyringSecretStore& secrets, MonitorView& window,
                          PassGate& gate, QWidget* dialogParent);

    // Reads the secrets of the rows that log in; `done` runs once all are read.
    void readSecretsAhead(std::function<void()> done);
    // The current entry's check options in their dialog, once no pass runs.
    void openOptions();

private:
    void showDialog();

    SiteMonitor& engine_;
    KeyringSecretStore& secrets_;
    MonitorView& window_;
    PassGate& gate_;
    QWidget* dialogParent_;
};

} // namespace vantrel
