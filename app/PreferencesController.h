#pragma once

#include <functional>

class QWidget;

namespace vantrel {

class MailPasswordController;
class MonitorView;
class SiteMonitor;

// Preferences: fills the dialog from the settings, copies it back when it
// closes, hands the mail password to the keyring and saves the settings.
// The dialog's Test buttons send through the engine's one mailer; a check
// pass that came due during a test runs through `tick` once the test has
// ended. Only one dialog is open at a time.
class PreferencesController {
public:
    PreferencesController(SiteMonitor& engine, MailPasswordController& mailPassword, MonitorView& window,
                          QWidget* dialogParent, std::function<void()> tick);

    void open();

private:
    SiteMonitor& engine_;
    MailPasswordController& mailPassword_;
    MonitorView& window_;
    QWidget* dialogParent_;
    std::function<void()> tick_;
};

} // namespace vantrel
