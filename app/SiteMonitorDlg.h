#pragma once

#include "app/DesktopIntegration.h"
#include "app/KeyringSecretStore.h"
#include "app/MailKeyring.h"
#include "app/MailPasswordController.h"
#include "app/QtEventPump.h"
#include "app/SiteMonitorApp.h"
#include "model/SystemClock.h"
#include "monitor/MonitorView.h"
#include "monitor/SiteEditor.h"
#include "monitor/SiteMonitor.h"
#include "platform/CanberraSoundPlayer.h"
#include "platform/CurlHttpClient.h"
#include "ui/BoundText.h"
#include "ui/HelpLinks.h"
#include "ui/WholeTextTip.h"

#include <QCoreApplication>
#include <QDialog>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QMenuBar;
class QPushButton;
class QTableView;
class QWidget;

namespace vantrel {

class EntryBoxes;
class HistoryPanel;
class MetricsServer;
class SiteListModel;
class SqliteCheckHistory;
class TrayIcon;
class WidgetWindow;
class WindowGeometry;

// The main window: entry boxes for the current entry, the list of sites,
// the buttons and counters, the menu bar. It owns the engine (SiteMonitor)
// and is the engine's MonitorView.
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
    bool exitSaveFailed() const { return exitSaveFailed_; }

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
    QTableView* listView() const { return list_; }
    HistoryPanel* historyPanel() const { return historyPanel_; }
    MetricsServer* metricsServer() const { return metrics_.get(); }
    KeyringSecretStore& secrets() { return secrets_; }
    // Where File > Export History writes: the full path, or empty when the
    // user cancelled. Tests replace it; by default it is a file dialog.
    std::function<QString()> chooseExportFile;

    // The height the history panel takes below the list when the window has room.
    static constexpr int kHistoryPanelHeight = 200;

    // MonitorView
    void gather() override;
    void show() override;
    MessageAnswer messageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                             MessageIcon icon) override;
    void setMonitorButtonCaption(const std::string& caption) override;
    void setWindowCaption(const std::string& caption) override;
    void setCheckTimer(std::chrono::milliseconds period) override;
    void minimizeWindow() override;
    void enableToolTips(bool on) override;
    void autoSizeColumns() override;
    int markedRow() const override;
    void showTrayOn() override;
    void showTrayOff() override;
    void showTrayAlert() override;
    void showTraySlow() override;

    // The last report mail's failure as the window and the tray tip show it;
    // empty once a later mail went out.
    QString mailFailure() const { return desktop_.alerts().failure(); }
    DesktopNotifier& notifier() { return desktop_.notifier(); }
    MailKeyring& keyring() { return mailPassword_.keyring(); }
    // Reads the mail password for the login in the settings: from the
    // keyring, and where none answers or it holds none, from the password
    // file. Asynchronous; the engine gets the password when it is found.
    void loadMailPassword() { mailPassword_.load(); }
    // While offline the caption ends in " - Offline" and the tray tip says so.
    void setOffline(bool offline) override;
    void connectionVerdict(const std::string& statusText, const std::string& notification) override;

    // Commands of the buttons, menus and tray.
    void OnTimer();
    void ToggleMonitor();
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
    void OnMoreInfo();
    void OnSupport();
    void OnUninstall();
    void OnTrayRestore();
    void OnExportHistory(bool allSites);
    void refreshHistory();

    QTimer& checkTimer() { return checkTimer_; }
    EventPump& pump() { return pump_; }
    Clock& clock() { return clock_; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void done(int result) override;

private:
    // Runs `command` now, or when the pass under way has ended.
    void whenNoPass(std::function<void()> command);
    void markShownRow();
    void readSecretsAhead();
    void openSiteOptions();
    void sortByColumn(int column);
    void showWhole(QLineEdit* field);
    void createControls();
    void createMenu();
    void layoutControls(int cx, int cy);
    void doAutoSizeColumns();
    void showMailFailure();
    void openHistory();
    void startMetrics();
    QString chooseExportFileWithDialog();

    QtEventPump pump_;
    SystemClock clock_;
    CurlHttpClient http_;
    CanberraSoundPlayer sound_;
    KeyringSecretStore secrets_; // site logins, read ahead before the first pass
    // The tray, the notifications and the engine's alert sink: before the engine.
    DesktopIntegration desktop_{*this, [this] { return engine_.extraSettings().notifications; }};
    SiteMonitor engine_;
    SiteEditor editor_{engine_, clock_, CSiteMonitorApp::kExecutableName};
    std::unique_ptr<SiteListModel> model_;
    QTimer checkTimer_;
    QTimer autoSizeTimer_;
    WholeTextTip wholeTip_;
    QTimer historyTimer_;
    std::unique_ptr<SqliteCheckHistory> history_;
    std::unique_ptr<MetricsServer> metrics_;
    bool unattended_ = false;
    bool offline_ = false;
    QString caption_;                    // the caption the engine set, without the offline mark
    WidgetWindow* window_ = nullptr;     // show, hide, minimise to the tray, restore
    WindowGeometry* geometry_ = nullptr; // its place and size across runs
    bool destroyed_ = false;
    // The result of an end asked for while a pass ran, until the pass stops.
    std::optional<int> closeResult_;
    // The box a pass waits in, closed when the program is to end.
    QMessageBox* openBox_ = nullptr;
    bool exitSaveFailed_ = false;
    HelpLinks help_;
    MailPasswordController mailPassword_{engine_,
                                         [this](std::function<void()> step) { whenNoPass(std::move(step)); }};

    QMenuBar* menuBar_ = nullptr;
    QWidget* client_ = nullptr;
    QLineEdit* siteName_ = nullptr;      // 1002
    QLineEdit* url_ = nullptr;           // 1001
    QLineEdit* testString_ = nullptr;    // 1003
    QComboBox* action_ = nullptr;        // 1029
    QLineEdit* errorUrl_ = nullptr;      // 1030
    QLineEdit* createDate_ = nullptr;    // 1012
    QLineEdit* entryStatus_ = nullptr;   // 1015
    QLineEdit* checkDate_ = nullptr;     // 1013
    QTableView* list_ = nullptr;         // 1000
    QPushButton* quit_ = nullptr;        // 1
    QPushButton* monitor_ = nullptr;     // 1009
    QPushButton* add_ = nullptr;         // 1005
    QPushButton* update_ = nullptr;      // 1006
    QPushButton* remove_ = nullptr;      // 1007
    QPushButton* clear_ = nullptr;       // 1008
    QLabel* totalLabel_ = nullptr;       // 1037
    QLineEdit* total_ = nullptr;         // 1016
    QLabel* checksLabel_ = nullptr;      // 1038
    QLineEdit* checks_ = nullptr;        // 1017
    QLabel* statusLabel_ = nullptr;      // 1039
    QLineEdit* status_ = nullptr;        // 1011
    QPushButton* preferences_ = nullptr; // 1028
    QPushButton* advanced_ = nullptr;    // the current entry's check options
    QLabel* footer_ = nullptr;           // 1036
    QLabel* mailFailureLabel_ = nullptr; // over the footer while a mail failure stands
    HistoryPanel* historyPanel_ = nullptr;
    QLabel* checkDateLabel_ = nullptr;

    // The entry boxes, the entry they last showed, and whether a pass left
    // them holding the user's edits; the Status field.
    std::unique_ptr<EntryBoxes> entryBoxes_;
    SiteEntry shownEntry_;
    bool entryHeld_ = false;
    bool passDue_ = false; // a tick came before the site secrets were read
    BoundText statusBinding_;
    // Edits of the list and boxes asked for while a pass ran, done when it ends.
    std::vector<std::function<void()>> afterPass_;
};

} // namespace vantrel
