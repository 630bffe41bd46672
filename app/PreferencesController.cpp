#include "app/PreferencesController.h"

#include "app/MailPasswordController.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteMonitor.h"
#include "ui/PreferencesDlg.h"

#include <QApplication>
#include <QTimer>

#include <string>
#include <utility>

namespace vantrel {

PreferencesController::PreferencesController(SiteMonitor& engine, MailPasswordController& mailPassword,
                                             MonitorView& window, QWidget* dialogParent,
                                             std::function<void()> tick)
    : engine_(engine), mailPassword_(mailPassword), window_(window), dialogParent_(dialogParent),
      tick_(std::move(tick)) {}

void PreferencesController::open() {
    // The tray menu stays usable while the dialog is open: bring that one up
    // rather than opening a second one over it.
    if (auto* open = qobject_cast<CPreferencesDlg*>(QApplication::activeModalWidget())) {
        open->raise();
        open->activateWindow();
        return;
    }
    Settings& settings = engine_.settings();
    CPreferencesDlg dlg(
        [this](const std::string& address, const std::string& server, const MailSubmission& submission) {
            SmtpSend send = engine_.sendTestMail(address, server, submission);
            // The tick that came during the test gets its pass now, from the
            // event loop, after the dialog has shown how the test ended.
            if (engine_.passDueAfterTest())
                QTimer::singleShot(0, dialogParent_, tick_);
            return send;
        },
        dialogParent_);
    // Modal to the main window only, so the tray menu can still be opened.
    dlg.setWindowModality(Qt::WindowModal);
    dlg.copyIn(settings);
    const MailPasswordController::Before before = mailPassword_.before();
    dlg.copyIn(engine_.extraSettings(), before.password);
    window_.enableToolTips(dlg.toolTips == 1);
    // The result is not looked at: Esc and the close box keep what the last
    // gather took (a Test, Browse or Add to Startup click gathers first).
    dlg.exec();
    dlg.copyOut(settings);
    std::string password;
    dlg.copyOut(engine_.extraSettings(), password);
    window_.enableToolTips(dlg.toolTips == 1);
    mailPassword_.afterPreferences(before, password);
    engine_.saveSettings();
}

} // namespace vantrel
