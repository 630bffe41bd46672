#pragma once

class QWidget;

namespace vantrel {

class Clock;
class EventPump;
class MailPasswordController;
class MonitorView;
class SiteMonitor;

// Preferences: fills the dialog from the settings, copies it back when it
// closes, hands the mail password to the keyring and saves the settings.
// Only one dialog is open at a time.
class PreferencesController {
public:
    PreferencesController(SiteMonitor& engine, EventPump& pump, Clock& clock,
                          MailPasswordController& mailPassword, MonitorView& window, QWidget* dialogParent);

    void open();

private:
    SiteMonitor& engine_;
    EventPump& pump_;
    Clock& clock_;
    MailPasswordController& mailPassword_;
    MonitorView& window_;
    QWidget* dialogParent_;
};

} // namespace vantrel
