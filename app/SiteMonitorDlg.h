#pragma once

#include "app/DesktopIntegration.h"
#include "app/DesktopServices.h"
#include "app/EntryBinding.h"
#include "app/HistoryController.h"
#include "app/MailKeyring.h"
#include "app/MailPasswordController.h"
#include "app/MemoryRest.h"
#include "app/PassGate.h"
#include "app/SiteListView.h"
#include "app/SiteMonitorApp.h"
#include "app/SiteOptionsController.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteEditor.h"
#include "monitor/SiteMonitor.h"
#include "ui/HelpLinks.h"
#include "ui/MainWindowForm.h"
#include "ui/TrayIcon.h"

#include <QCoreApplication>
#include <QDialog>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QMessageBox;
class QMenuBar;
class QTableView;
class QWidget;

namespace vantrel {

class HistoryPanel;
class SiteListModel;
class SiteNotifications;
class SqliteCheckHistory;
class TrayIcon;
class TriageWiring;
class WidgetWindow;
class WindowGeometry;

// The main window, a shell: the menu bar, the form of entry boxes, list,
// buttons and counters, and the engine's MonitorView. It forwards what the
// user asks for to the engine and the controllers and shows what it is told.
// It owns the engine (SiteMonitor) for its lifetime.
class CSiteMonitorDlg : public QDialog, public MonitorView {
    Q_OBJECT
public:
    explicit CSiteMonitorDlg(QWidget* parent = nullptr);
    ~CSiteMonitorDlg() override;

    // The start-up steps after the window exists: tray icon and its
    // animation, settings, columns, site list, tool tips, monitoring state.
    void OnInitDialog();
    // The normal end: the site list is saved and the tray icon removed.
    void OnDestroy();
    // Whether the save at the end failed (the old file was kept), so the
    // process can end with a status that says so.
    bool exitSaveFailed() const { return exitSaveFailed_.value_or(false); }

    // Headless runs: no one can answer a message box, so each box is written
    // to standard error and answered with its default button at once.
    void setUnattended(bool on) {
        unattended_ = on;
        desktop_.setUnattended(on);
    }

    SiteMonitor& engine() { return engine_; }
    TrayIcon& tray() { return desktop_.tray(); }
    DesktopIntegration& desktop() { return desktop_; }
    HelpLinks& helpLinks() { return help_; }
    QTableView* listView() const { return form_->list; }
    HistoryPanel* historyPanel() const { return form_->historyPanel; }
    KeyringSecretStore& secrets() { return services_.secrets; }
    // Where File > Export History writes: the full path, or empty when the
    // user cancelled. Tests replace it; by default it is a file dialog.
    std::function<QString()> chooseExportFile;
    // A line in place of the footer's text (the metrics address served).
    void showFooterLine(const QString& line);

    // The height the history panel takes below the list when the window has room.
    static constexpr int kHistoryPanelHeight = MainWindowForm::kHistoryPanelHeight;

    // MonitorView
    void gather() override { entry_->gather(); }
    void show() override { entry_->show(); }
    MessageAnswer messageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                             MessageIcon icon) override;
    void setMonitorButtonCaption(const std::string& caption) override;
    void setWindowCaption(const std::string& caption) override;
    void setCheckTimer(std::chrono::milliseconds period) override {
        checkTimer_.start(static_cast<int>(period.count()));
    }
    void minimizeWindow() override;
    void enableToolTips(bool on) override { form_->enableToolTips(on); }
    void autoSizeColumns() override;
    int markedRow() const override;
    void showTrayOn() override { desktop_.tray().showOn(); }
    void showTrayOff() override { desktop_.tray().showOff(); }
    void showTrayAlert() override { desktop_.tray().showAlert(); }
    void showTraySlow() override { desktop_.tray().showSlow(); }
    // While offline the caption ends in " - Offline" and the tray tip says so.
    void setOffline(bool offline) override;
    void connectionVerdict(const std::string& statusText, const std::string& notification) override;
    // A Check Now ends off the timer: its end comes back through the event
    // loop. What a long pass freed goes back while the program rests after it.
    void checksEnded() override {
        memoryRest_.passEnded(engine_.sites().rowCount());
        QTimer::singleShot(0, this, &CSiteMonitorDlg::afterChecks);
    }

    // The last report mail's failure as the window and the tray tip show it;
    // empty once a later mail went out.
    QString mailFailure() const { return desktop_.alerts().failure(); }
    DesktopNotifier& notifier() { return desktop_.notifier(); }
    // The notifications of site changes, one a site, and their actions.
    SiteNotifications& siteNotifications() { return desktop_.siteNotifications(); }
    TriageWiring& triageWiring() { return *triage_; }
    MailKeyring& keyring() { return mailPassword_.keyring(); }
    // Reads the mail password for the login in the settings: from the
    // keyring, and where none answers or it holds none, from the password
    // file. Asynchronous; the engine gets the password when it is found.
    void loadMailPassword() { mailPassword_.load(); }

    // Commands of the buttons, menus and tray.
    void OnTimer();
    void ToggleMonitor() { engine_.toggleMonitor(); }
    void OnAdd();
    void OnUpdate();
    void OnRemove();
    void OnClear();
    void OnClearAll();
    void OnListClick();
    void OnColumnClick(int column);
    void OnPreferences();
    // "Advanced...": the current entry's check options in their dialog.
    void OnAdvanced();
    void OnFileSave();
    void OnFileQuit();
    void OnAbout();
    void OnManual();
    void OnMoreInfo() { help_.openMoreInfo(); }
    void OnSupport() { help_.openSupport(); }
    void OnUninstall();
    void OnTrayRestore();
    void OnExportHistory(bool allSites) { history_->exportHistory(allSites); }
    void refreshHistory() { history_->refresh(); }
    SqliteCheckHistory* checkHistory() const { return history_->history(); }

    QTimer& checkTimer() { return checkTimer_; }
    EventPump& pump() { return services_.pump; }
    Clock& clock() { return services_.clock; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void done(int result) override;

private:
    void whenNoPass(std::function<void()> command) { gate_.whenNoPass(std::move(command)); }
    void afterChecks();
    void connectControls();
    void showMailFailure();

    DesktopServices services_;
    // The tray, the notifications and the engine's alert sink: before the engine.
    DesktopIntegration desktop_{*this, [this] { return engine_.extraSettings().notifications; }};
    SiteMonitor engine_;
    SiteEditor editor_{engine_, services_.clock, CSiteMonitorApp::kExecutableName};
    SiteListView siteList_{engine_, editor_};
    QMenuBar* menuBar_ = nullptr;
    std::unique_ptr<MainWindowForm> form_;
    std::unique_ptr<EntryBinding> entry_;
    std::unique_ptr<HistoryController> history_;
    WidgetWindow* window_ = nullptr; // show, hide, minimise to the tray, restore
    QTimer checkTimer_;
    PassGate gate_{engine_};
    SiteOptionsController siteOptions_{engine_, services_.secrets, *this, gate_, this};
    MailPasswordController mailPassword_{engine_, *this,
                                         [this](std::function<void()> step) { whenNoPass(std::move(step)); }};
    HelpLinks help_;
    // What a long pass freed goes back while the program rests.
    MemoryRest memoryRest_{[this] { return engine_.passRunning(); }};
    bool unattended_ = false;
    bool offline_ = false;
    QString caption_;                    // the caption the engine set, without the offline mark
    WindowGeometry* geometry_ = nullptr; // its place and size across runs
    bool passDue_ = false;               // a tick came before the site secrets were read
    // Set once the window has ended: whether the save at the end failed.
    std::optional<bool> exitSaveFailed_;
    // The tray's triage (badge, menu, notification actions) over the rows.
    TriageWiring* triage_ = nullptr;
    // The result of an end asked for while a pass ran, until the pass stops.
    std::optional<int> closeResult_;
    // The box a pass waits in, closed when the program is to end.
    QMessageBox* openBox_ = nullptr;
};

} // namespace vantrel
