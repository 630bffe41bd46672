#include "app/PreferencesController.h"

#include "app/MailPasswordController.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteMonitor.h"
#include "ui/PreferencesDlg.h"

#include <QApplication>

#include <string>

namespace vantrel {

PreferencesController::PreferencesController(SiteMonitor& engine, EventPump& pump, Clock& clock,
                                             MailPasswordController& mailPassword, MonitorView& window,
                                             QWidget* dialogParent)
    : engine_(engine), pump_(pump), clock_(clock), mailPassword_(mailPassword), window_(window),
      dialogParent_(dialogParent) {}

void PreferencesController::open() {
    // The tray menu stays usable while the dialog is open: bring that one up
    // rather than opening a second one over it.
    if (auto* open = qobject_cast<CPreferencesDlg*>(QApplication::activeModalWidget())) {
        open->raise();
        open->activateWindow();
        return;
    }
    CPreferencesDlg dlg(pump_, clock_, dialogParent_);
    // Modal to the main window only, so the tray menu can still be opened.
    dlg.setWindowModality(Qt::WindowModal);
    dlg.copyIn(engine_.settings());
    const MailPasswordController::Before before = mailPassword_.before();
    dlg.copyIn(engine_.extraSettings(), before.password);
    window_.enableToolTips(dlg.toolTips == 1);
    // The result is not looked at: Esc and the close box keep what the last
    // gather took (a Test, Browse or Add to Startup click gathers first).
    dlg.exec();
    // Copied after the dialog closed, so what changed meanwhile (the
    // monitoring switch, a snooze, the window's place) is kept.
    Settings settings = engine_.settings();
    dlg.copyOut(settings);
    ExtraSettings extra = engine_.extraSettings();
    std::string password;
    dlg.copyOut(extra, password);
    engine_.applySettings(settings, extra);
    window_.enableToolTips(dlg.toolTips == 1);
    mailPassword_.afterPreferences(before, password);
    engine_.saveSettings();
}

} // namespace vantrel
